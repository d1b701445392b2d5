// The list editor's command handlers: each takes the selection and hands the work to
// ListCommands, then shows the rows anew.
#include "listedit/Config.h"

#include "guikit/RenvoApp.h"
#include "listedit/AddSearchFolder.h"
#include "listedit/ListModel.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "platform/Path.h"
#include "settings/Settings.h"

namespace renvo {

namespace {

constexpr char kFileOpenTitle[] = "リストに追加するファイルの選択";
constexpr char kFileOpenFilter[] = "全てのファイル (*)";

std::vector<std::string> toPaths(const QStringList& files)
{
    std::vector<std::string> out;
    out.reserve(size_t(files.size()));
    for (const QString& f : files)
        out.push_back(f.toStdString());
    return out;
}

}  // namespace

void TfrmConfig::actOpenFolderExecute()
{
    TfrmAddSearchFolder dialog(app_.prompt(), [this](unsigned c, unsigned d) { app_.showHelp(c, d); }, this);
    dialog.setupAddFolder();
    if (dialog.exec() != QDialog::Accepted)
        return;
    ListContext ctx = context();
    addFolderItem(ctx, dialog.folderName(), dialog.subFolders(), dialog.fileMask());
}

void TfrmConfig::actOpenFilesExecute()
{
    TfrmAddSearchFolder dialog(app_.prompt(), [this](unsigned c, unsigned d) { app_.showHelp(c, d); }, this);
    dialog.setupBulkAdd();
    if (dialog.exec() != QDialog::Accepted)
        return;
    ListContext ctx = context();
    bulkAdd(ctx, dialog.folderName(), dialog.subFolders(), dialog.fileMask());
}

void TfrmConfig::actOpenFileExecute()
{
    const auto files = app_.prompt().chooseFiles({kFileOpenTitle, {}, kFileOpenFilter, this});
    if (files) {
        ListContext ctx = context();
        addChosenFiles(ctx, *files);
    }
    context().busy.end();
}

void TfrmConfig::fldAddListFileDrop(TFileDrop& /*sender*/, int /*num*/, const QStringList& files, int, int)
{
    ListContext ctx = context();
    dropPaths(ctx, toPaths(files));
}

void TfrmConfig::actDeleteExecute()
{
    const std::vector<size_t> rows = selection();
    if (!rows.empty()) {
        ListContext ctx = context();
        deleteRows(ctx, mirrorSettings(), rows);
    }
}

void TfrmConfig::actEditExecute(bool restore)
{
    const std::vector<size_t> rows = selection();
    if (rows.empty())
        return;
    restoreRequested_ = restore;
    app_.editItem(list_, rows.front(), restore, this);
    lsvFileListSelectItem();
}

void TfrmConfig::actUnenabledExecute(int tag)
{
    const std::vector<size_t> rows = selection();
    if (rows.empty()) {
        restoreMarks();  // the click moved the group's check: nothing changed
        return;
    }
    setRunCondition(list_, rows, RunCondition(tag));
    markRunCondition(rows.front());
}

void TfrmConfig::actItemChange(int tag)
{
    const std::vector<size_t> rows = selection();
    if (rows.empty()) {
        restoreMarks();
        return;
    }
    setFolderOption(list_, rows, tag);
    markFolderOption(rows.front());
}

void TfrmConfig::mnuCheckAllClick(int tag)
{
    setAllRunConditions(list_, RunCondition(tag));
}

void TfrmConfig::mnuListClearClick()
{
    ListContext ctx = context();
    clearList(ctx);
}

void TfrmConfig::actCheckExecute()
{
    if (!fileExists(listPath()))
        return;
    // A run rewrites the same list file: the check waits for its end.
    if (refusedDuringRun(app_, this))
        return;
    const PromptAnswer answer = app_.prompt().ask({kConfirmationDialogCaption, kAddressCheckQuestion,
                                                  PromptIcon::Question, PromptButtons::YesNo, PromptAnswer::Yes,
                                                  this});
    if (answer != PromptAnswer::Yes)
        return;
    if (!actSaveExecute())
        return;
    ListContext ctx = context();
    checkAddresses(ctx, app_.programFolder());
    loadList();
    context().busy.end();
}

void TfrmConfig::mnuOpenAddressClick()
{
    const std::vector<size_t> rows = selection();
    if (rows.empty())
        return;
    openPath(list_.at(rows.front()).address);
}

void TfrmConfig::mnuOpenMiredClick()
{
    const std::vector<size_t> rows = selection();
    if (rows.empty())
        return;
    ListContext ctx = context();
    const std::string path = mirroredCopyToOpen(ctx, app_.settings().MirTopFolder, list_.at(rows.front()));
    if (!path.empty())
        openPath(path);
}

void TfrmConfig::mnuDelAddressClick()
{
    const std::vector<size_t> rows = selection();
    if (rows.empty())
        return;
    ListContext ctx = context();
    deleteAddress(ctx, mirrorSettings(), rows);
}

void TfrmConfig::mnuEraseMiredFilesClick()
{
    const std::vector<size_t> rows = selection();
    if (rows.empty())
        return;
    ListContext ctx = context();
    eraseMirroredCopy(ctx, app_.settings().MirTopFolder, rows.front());
}

void TfrmConfig::mnuEraseMiredClick()
{
    ListContext ctx = context();
    eraseWholeMirror(ctx, app_.settings().MirTopFolder, app_.programFolder());
}

void TfrmConfig::startRun(bool complete)
{
    if (refusedDuringRun(app_, this))
        return;
    // The run reads what the view shows.
    if (!actSaveExecute())
        return;
    app_.runCommand(complete, this);
}

void TfrmConfig::actExecuteExecute()
{
    startRun(false);
}

void TfrmConfig::actExecuteAllExecute()
{
    startRun(true);
}

}  // namespace renvo
