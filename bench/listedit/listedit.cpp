// listedit: the list editor's commands on a list of many rows, as the user waits for them.
//
//   listedit WORK [--items N] [--runs R] [--warm MIB]
//
// WORK holds a program folder with a generated list of N rows (default 10,000) and a folder
// tree of N empty files for the bulk add; the tree is made once and kept for the next call.
// Each case runs R times (default 7) in the editor window on the offscreen platform; the
// median is printed in milliseconds:
//   load   the list file into the rows, the model reset and the view painted (loadList)
//   save   the save command: the list file and the window layout (actSaveExecute)
//   sort   a click on the address column: keys, order, rows moved, view painted
//   bulk   the bulk add of every file of the tree into an empty list, view painted
// The window's first showing (fonts, icons) is untimed. A box asked during a timed case
// fails the benchmark: it would have waited for a user.

#include "../common/Machine.h"
#include "engine/ListFile.h"
#include "listedit/Config.h"
#include "listedit/ListCommands.h"
#include "listedit/ListModel.h"
#include "platform/FileNames.h"
#include "platform/Path.h"
#include "settings/Settings.h"
#include "shell/Clock.h"
#include "shell/Main.h"

#include <QApplication>
#include <QSet>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace renvo;
using renvo::bench::loadAverage;
using renvo::bench::median;
using renvo::bench::warmMemory;

namespace {

class CountingPrompt : public Prompt {
public:
    PromptAnswer ask(const PromptMessage& m) override
    {
        captions.push_back(m.caption + ": " + m.text);
        return defaultAnswer(m);
    }
    std::vector<std::string> captions;
};

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "listedit: %s\n", what.c_str());
    std::exit(1);
}

// Words of the generated addresses, Japanese among them: the sort compares them by locale.
const char* const kWords[] = {"Documents", "写真", "projects", "Music", "経理", "backup", "メール", "src",
                              "Photos", "資料", "archive", "デスクトップ", "notes", "work", "ダウンロード", "Data"};

// Rows in no particular order: half folder rows, half file rows, addresses unique.
std::vector<MirrorItem> generatedRows(size_t count)
{
    std::vector<MirrorItem> rows;
    rows.reserve(count);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (size_t i = 0; i < count; ++i) {
        const uint32_t r = next() >> 8;
        MirrorItem item;
        item.kind = i % 2 ? 1 : 0;
        const std::string parent = std::string("/home/user/") + kWords[r % 16] + "/" + kWords[(r >> 4) % 16];
        char leaf[32];
        std::snprintf(leaf, sizeof leaf, item.isFile() ? "file%05u.txt" : "folder%05u", unsigned(r % 100000));
        item.address = parent + "/" + leaf + "-" + std::to_string(i);
        item.subfolders = item.isFile() ? 0 : 1;
        item.masks = item.isFile() ? "-" : "*.*";
        item.folderOption = item.isFile() ? 0 : uint8_t(r % 3);
        item.dest = std::string(kWords[(r >> 4) % 16]);
        item.runFlag = r % 5 ? 1 : 0;
        rows.push_back(std::move(item));
    }
    return rows;
}

// count empty files in folders of 100, two levels deep; kept when it is already there.
std::string fileTree(const std::string& work, size_t count)
{
    const std::string root = joinPath(work, "tree-" + std::to_string(count));
    const std::string done = joinPath(work, "tree-" + std::to_string(count) + ".done");
    if (std::filesystem::exists(done))
        return root;
    for (size_t i = 0; i < count; ++i) {
        char rel[64];
        std::snprintf(rel, sizeof rel, "g%02zu/d%03zu/f%05zu.dat", i / 1000, i / 100, i);
        const std::filesystem::path p = std::filesystem::path(root) / rel;
        if (i % 100 == 0)
            std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary);
    }
    std::ofstream(done, std::ios::binary) << "ok\n";
    return root;
}

double millisOf(const std::function<void()>& work)
{
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// What a user sees after a command: the pending layout done and the rows painted.
void painted(TfrmConfig& editor)
{
    QCoreApplication::processEvents();
    editor.lsvFileList->viewport()->repaint();
}

void onceEach(QtMsgType, const QMessageLogContext&, const QString& message)
{
    static QSet<QString> seen;
    if (seen.contains(message))
        return;
    seen.insert(message);
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

int usage()
{
    std::fprintf(stderr, "usage: listedit WORK [--items N] [--runs R] [--warm MIB]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(onceEach);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> paths;
    long items = 10000, runs = 7, warmMib = 512;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--items" || a == "--runs" || a == "--warm") && i + 1 < argc)
            (a == "--items" ? items : a == "--runs" ? runs : warmMib) = std::atol(argv[++i]);
        else if (!a.empty() && a[0] == '-')
            return usage();
        else
            paths.push_back(a);
    }
    if (paths.size() != 1 || items < 1 || runs < 1 || warmMib < 0)
        return usage();
    const std::string work = std::filesystem::absolute(paths[0]).lexically_normal().string();
    const std::string prog = includeTrailingDelimiter(joinPath(work, "prog"));
    std::filesystem::create_directories(prog);
    const std::string listPath = prog + kListFileName;
    const std::vector<MirrorItem> generated = generatedRows(size_t(items));
    if (const int err = writeListFile(listPath, generated))
        fail("cannot write " + listPath + ": " + std::strerror(err));
    const std::string tree = fileTree(work, size_t(items));

    const std::string loadBefore = loadAverage();
    warmMemory(warmMib);

    CountingPrompt prompt;
    SystemClock clock;
    ShellEnvironment env;
    env.prompt = &prompt;
    env.clock = &clock;
    env.programFolder = prog;
    env.hivePath = joinPath(work, "user.reg");
    TfrmMain hub(env);
    hub.settings() = defaultSettings(prog);
    hub.settings().MirTopFolder = joinPath(work, "top");

    // The first showing loads the list once, untimed, with the fonts and icons.
    TfrmConfig editor(hub);
    editor.show();
    painted(editor);
    if (editor.rows().size() != size_t(items))
        fail("the editor shows " + std::to_string(editor.rows().size()) + " rows, not " + std::to_string(items));

    std::vector<double> load, save, sort, bulk;
    for (long r = 0; r < runs; ++r) {
        load.push_back(millisOf([&] {
            if (!editor.loadList())
                fail("the list did not load");
            painted(editor);
        }));
        if (editor.rows().size() != size_t(items))
            fail("a load gave " + std::to_string(editor.rows().size()) + " rows");

        save.push_back(millisOf([&] {
            if (!editor.actSaveExecute())
                fail("the save failed");
        }));
        if (std::filesystem::file_size(listPath) != uintmax_t(items) * kItemRecordSize)
            fail("the saved list has the wrong size");

        // From the file's order each time, alternating the direction of the click.
        editor.loadList();
        painted(editor);
        sort.push_back(millisOf([&] {
            editor.lsvFileListColumnClick(2);
            painted(editor);
        }));
        const ItemList& rows = editor.rows();
        if (rows.at(0).address == generated.at(0).address && rows.at(1).address == generated.at(1).address)
            fail("the click did not sort the rows");

        editor.rows().clear();
        painted(editor);
        NoBusyState quiet;
        ListContext ctx{editor.rows(), prompt, &editor, quiet, hub.fileOperation()};
        size_t added = 0;
        bulk.push_back(millisOf([&] {
            added = bulkAdd(ctx, tree, true, "*.*");
            painted(editor);
        }));
        if (added != size_t(items) || editor.rows().size() != size_t(items))
            fail("the bulk add gave " + std::to_string(added) + " rows");
        if (!prompt.captions.empty())
            fail("a box was asked: " + prompt.captions.front());
    }
    editor.hide();

    std::printf("list editor, %ld rows, median of %ld runs (load average before: %s)\n", items, runs,
                loadBefore.c_str());
    std::printf("%-8s %10s %10s %10s\n", "case", "median ms", "min ms", "max ms");
    const auto line = [](const char* name, const std::vector<double>& v) {
        std::printf("%-8s %10.1f %10.1f %10.1f\n", name, median(v), *std::min_element(v.begin(), v.end()),
                    *std::max_element(v.begin(), v.end()));
    };
    line("load", load);
    line("save", save);
    line("sort", sort);
    line("bulk", bulk);
    return 0;
}
