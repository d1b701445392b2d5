// The list editor's commands on real files in a temporary folder: the default destinations,
// adding with its duplicate rule and refusals, deleting rows with their mirrored copies, the
// address check's rewrite of the list file and the commands on the mirrored copies.
#include "listedit/ListCommands.h"

#include "common/ListItems.h"
#include "common/Privileges.h"
#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "engine/TopFolder.h"
#include "platform/FileSys.h"
#include "platform/RunLock.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace renvo {
namespace {

using test::addresses;
using test::fileItem;
using test::folderItem;

namespace fs = std::filesystem;
using test::readFile;
using test::ScriptedPrompt;
using test::TempDir;
using test::treeOf;
using test::writeFile;

// Every call the commands make, in order.
class RecordingBusy : public BusyState {
public:
    void begin(const std::string& text, bool hourglass) override
    {
        calls.push_back("begin " + text + (hourglass ? " [wait]" : ""));
    }
    void showProgress(int maximum) override
    {
        calls.push_back("progress " + std::to_string(maximum));
        positions.clear();
    }
    void setPosition(int position) override { positions.push_back(position); }
    void note(const std::string& text) override { notes.push_back(text); }
    void end() override { calls.push_back("end"); }

    std::vector<std::string> calls;
    std::vector<int> positions;
    std::vector<std::string> notes;
};

std::vector<int> upTo(int first, int last)
{
    std::vector<int> out;
    for (int i = first; i <= last; ++i)
        out.push_back(i);
    return out;
}

class ListCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Whatever the machine's home is, the home rule is tested on a folder of the test's own.
        if (const char* h = std::getenv("HOME"))
            savedHome_ = h;
        fs::create_directories(home);
        ::setenv("HOME", home.c_str(), 1);
    }
    void TearDown() override
    {
        if (savedHome_)
            ::setenv("HOME", savedHome_->c_str(), 1);
        else
            ::unsetenv("HOME");
        prompt.expectAllAnswered();
    }

    const PromptMessage& lastBox() const { return prompt.asked.back(); }

    TempDir tmp;
    const std::string home = tmp / "home";
    const std::string top = tmp / "Mirror";
    ItemList list;
    ScriptedPrompt prompt;
    RecordingBusy busy;
    TFileOperation op;
    const int window = 0;
    ListContext ctx{list, prompt, &window, busy, op};

private:
    std::optional<std::string> savedHome_;
};

// ---- destinations ----

TEST(ListCommandsDest, RelativePathRuleOnBothPlatforms)
{
    EXPECT_EQ(folderRowDest("/home/u/Data/Work"), "Data/Work");
    EXPECT_EQ(folderRowDest("/home/u/Data"), "u/Data");
    EXPECT_EQ(folderRowDest("/Data"), "Data");
    EXPECT_EQ(singleFileDest("/x/Docs/a.txt"), "Docs");
    EXPECT_EQ(singleFileDest("/a.txt"), "");
    EXPECT_EQ(bulkFileDest("/d/Data", "/d/Data/a.txt"), "Data");
    EXPECT_EQ(bulkFileDest("/d/Data", "/d/Data/Sub/b.txt"), "Data/Sub");

    const PathRules& w = windowsCp932Rules();
    EXPECT_EQ(folderRowDest("C:\\Data\\Work", w), "Data\\Work");
    EXPECT_EQ(folderRowDest("C:\\Data", w), "Data");
    EXPECT_EQ(singleFileDest("C:\\Docs\\a.txt", w), "Docs");
    EXPECT_EQ(singleFileDest("C:\\a.txt", w), "");
    EXPECT_EQ(bulkFileDest("C:\\Data", "C:\\Data\\a.txt", w), "Data");
    EXPECT_EQ(bulkFileDest("C:\\Data", "C:\\Data\\Sub\\b.txt", w), "Data\\Sub");
}

// ---- adding ----

TEST_F(ListCommandsTest, AddKeepsOneRowPerAddressByteForByte)
{
    EXPECT_EQ(addFolderItem(ctx, "/d/Data", true, "*.txt"), 1u);
    EXPECT_EQ(addFolderItem(ctx, "/d/Data", false, "*.*"), 0u);
    EXPECT_EQ(addFolderItem(ctx, "/d/data", false, "*.*"), 1u) << "letter case counts";
    ASSERT_EQ(list.size(), 2u);
    const ItemRow row = list.rowAt(0);
    EXPECT_EQ(row.texts, (ItemTexts{"Folder", "いつもする", "/d/Data", "する", "*.txt", "準拠", "d/Data"}));

    ItemAdder adder(list);
    EXPECT_EQ(adder.addFile("/x/Docs/a.txt", "Docs"), ItemAdder::Result::Added);
    EXPECT_EQ(adder.addFile("/x/Docs/a.txt", "Docs"), ItemAdder::Result::Duplicate);
    EXPECT_EQ(adder.addFile("/d/Data", ""), ItemAdder::Result::Duplicate) << "folder rows count too";
    EXPECT_EQ(list.rowAt(2).texts, (ItemTexts{"File", "いつもする", "/x/Docs/a.txt", "-", "-", "準拠", "Docs"}));
    EXPECT_TRUE(list.rowAt(2).isFile);
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(ListCommandsTest, RefusedAddressesAreNamedInOneBoxAtTheEnd)
{
    const std::string longName(kMaxAddressBytes, 'x');
    std::vector<std::string> files{tmp / "ok.txt"};
    for (int i = 0; i < 6; ++i)
        files.push_back("/" + std::to_string(i) + longName);
    files.push_back("relative/name.txt");
    files.push_back(tmp / "ok2.txt");
    writeFile(files.front(), "x");
    writeFile(files.back(), "x");
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_EQ(dropPaths(ctx, files), 2u);
    EXPECT_EQ(addresses(list), (std::vector<std::string>{tmp / "ok.txt", tmp / "ok2.txt"}));

    ASSERT_EQ(prompt.asked.size(), 1u);
    const PromptMessage& box = lastBox();
    EXPECT_EQ(box.icon, PromptIcon::Error);
    EXPECT_EQ(box.buttons, PromptButtons::Ok);
    EXPECT_EQ(box.owner, &window);
    EXPECT_NE(box.text.find("7 件"), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("次のアドレスは長すぎるため追加できません（255 バイトまで）\r\n" + files[1]),
              std::string::npos);
    EXPECT_NE(box.text.find(files[5]), std::string::npos) << "the first five are named";
    EXPECT_EQ(box.text.find(files[6]), std::string::npos);
    EXPECT_NE(box.text.find("ほか 2 件"), std::string::npos);

    // A destination that would be cut by the next save is refused as well.
    ItemAdder adder(list);
    EXPECT_EQ(adder.addFile("/y/a.txt", std::string(kMaxAddressBytes + 1, 'd')), ItemAdder::Result::Refused);
    EXPECT_EQ(adder.addFile("/y/b.txt", "../up"), ItemAdder::Result::Refused);
    EXPECT_EQ(adder.addFile("/y/c.txt", std::string(kMaxAddressBytes, 'd')), ItemAdder::Result::Added);
}

TEST_F(ListCommandsTest, BulkAddWalksFoldersAndMasksInOrderAndAddsEachFileOnce)
{
    const std::string data = tmp / "Data";
    writeFile(data + "/a.txt", "");
    writeFile(data + "/c.doc", "");
    writeFile(data + "/skip.bin", "");
    writeFile(data + "/Sub/b.txt", "");
    writeFile(data + "/Sub/Deep/d.doc", "");
    list.add(fileItem(data + "/c.doc", "kept"));

    // b.txt is found by two masks, c.doc is in the list already.
    EXPECT_EQ(bulkAdd(ctx, data, true, "*.txt *.doc b*"), 3u);
    EXPECT_EQ(addresses(list), (std::vector<std::string>{data + "/c.doc", data + "/a.txt", data + "/Sub/b.txt",
                                                         data + "/Sub/Deep/d.doc"}));
    EXPECT_EQ(list.at(1).dest, "Data");
    EXPECT_EQ(list.at(2).dest, "Data/Sub");
    EXPECT_EQ(list.at(3).dest, "Data/Sub/Deep");
    EXPECT_EQ(list.at(0).dest, "kept");
    EXPECT_EQ(busy.calls, (std::vector<std::string>{"begin ファイルを検索してリストに追加しています... [wait]",
                                                    "progress 0", "progress 4", "end"}));
    EXPECT_EQ(busy.positions, upTo(0, 4)) << "a.txt, c.doc, b.txt twice, d.doc";
    EXPECT_TRUE(busy.notes.empty());

    // Without subfolders, and from the folder typed with a trailing delimiter.
    ItemList other;
    ListContext otherCtx{other, prompt, &window, busy, op};
    EXPECT_EQ(bulkAdd(otherCtx, data + "/", false, "*.*"), 3u);
    EXPECT_EQ(other.at(0).dest, "Data");

    const size_t before = list.size();
    EXPECT_EQ(bulkAdd(ctx, data, true, "*.none"), 0u);
    EXPECT_EQ(list.size(), before);
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(ListCommandsTest, BulkAddSkipsAnUnreadableFolderWithANote)
{
    const std::string data = tmp / "Data";
    writeFile(data + "/a.txt", "");
    writeFile(data + "/Locked/hidden.txt", "");
    writeFile(data + "/Open/b.txt", "");
    ::chmod((data + "/Locked").c_str(), 0);
    {
        test::WithoutDacOverride guard;
        if (!guard.effective()) {
            ::chmod((data + "/Locked").c_str(), 0755);
            GTEST_SKIP() << "permissions do not bind here";
        }
        EXPECT_EQ(bulkAdd(ctx, data, true, "*.txt"), 2u);
    }
    ::chmod((data + "/Locked").c_str(), 0755);
    EXPECT_EQ(addresses(list), (std::vector<std::string>{data + "/a.txt", data + "/Open/b.txt"}));
    ASSERT_EQ(busy.notes.size(), 1u);
    EXPECT_NE(busy.notes[0].find(data + "/Locked"), std::string::npos) << busy.notes[0];
}

TEST_F(ListCommandsTest, ChosenFilesInTheirOrderAndDrops)
{
    const std::string b = writeFile(tmp / "Docs/b.txt", "");
    const std::string a = writeFile(tmp / "Docs/a.txt", "");
    const std::string gone = tmp / "Docs/gone.txt";
    EXPECT_EQ(addChosenFiles(ctx, {b, gone, a}), 2u);
    EXPECT_EQ(addresses(list), (std::vector<std::string>{b, a}));
    EXPECT_EQ(list.at(1).dest, "Docs");
    EXPECT_EQ(busy.calls, (std::vector<std::string>{"begin ファイルを検索してリストに追加しています... [wait]",
                                                    "progress 2", "end"}));
    EXPECT_EQ(busy.positions, upTo(0, 2));
    ASSERT_EQ(busy.notes.size(), 1u);
    EXPECT_NE(busy.notes[0].find(gone), std::string::npos);

    // A drop: three files of Docs and one folder, which is not expanded.
    list.clear();
    busy.calls.clear();
    const std::string c = writeFile(tmp / "Docs/c.txt", "");
    const std::string work = tmp / "Data/Work";
    writeFile(work + "/inside.txt", "");
    EXPECT_EQ(dropPaths(ctx, {a, b, work, c}), 4u);
    ASSERT_EQ(list.size(), 4u);
    for (size_t i : {0u, 1u, 3u}) {
        EXPECT_EQ(list.rowAt(i).texts[colDest], "Docs");
        EXPECT_EQ(list.rowAt(i).texts[colRun], "いつもする");
        EXPECT_EQ(list.rowAt(i).texts[colOption], "準拠");
    }
    EXPECT_EQ(list.rowAt(2).texts, (ItemTexts{"Folder", "いつもする", work, "しない", "*.*", "準拠", "Data/Work"}));
    EXPECT_EQ(busy.calls, (std::vector<std::string>{"begin ファイルを検索してリストに追加しています... [wait]", "end"}))
        << "no progress bar";
}

// ---- deleting rows ----

class DeleteRowsTest : public ListCommandsTest {
protected:
    void SetUp() override
    {
        ListCommandsTest::SetUp();
        for (const char* n : {"a", "b", "c", "d"}) {
            list.add(fileItem(writeFile(tmp / "src/" + std::string(n) + ".txt", n), "src"));
            writeFile(copyOf(n), n);
        }
    }
    std::string copyOf(const std::string& n) const { return top + "/Latest/src/" + n + ".txt"; }

    MirrorSettingsView settings{top, true, true};
};

TEST_F(DeleteRowsTest, AllAtTheFirstQuestionDeletesEveryCopy)
{
    prompt.expect(kConfirmationDialogCaption, PromptAnswer::All);
    EXPECT_EQ(deleteRows(ctx, settings, {2, 0, 1}), 3u);
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_EQ(lastBox().text, "ミラーリング先の該当ファイルも消去しますか？\r\n(オリジナルのファイルは消えません)");
    EXPECT_EQ(lastBox().buttons, PromptButtons::YesNoAll);
    EXPECT_EQ(lastBox().icon, PromptIcon::Question);
    for (const char* n : {"a", "b", "c"})
        EXPECT_FALSE(pathExists(copyOf(n))) << n;
    EXPECT_TRUE(pathExists(copyOf("d")));
    EXPECT_TRUE(fileExists(tmp / "src/a.txt")) << "the sources stay";
    EXPECT_EQ(addresses(list), (std::vector<std::string>{tmp / "src/d.txt"}));
    EXPECT_EQ(busy.calls.front(), "begin ミラーリング先の該当ファイルを削除しています... [wait]");
}

TEST_F(DeleteRowsTest, EachQuestionCountsTheRowsStillSelected)
{
    prompt.expect(PromptAnswer::Yes).expect(PromptAnswer::No).expect(PromptAnswer::Yes);
    EXPECT_EQ(deleteRows(ctx, settings, {0, 1, 2}), 3u);
    ASSERT_EQ(prompt.asked.size(), 3u);
    EXPECT_EQ(prompt.asked[0].buttons, PromptButtons::YesNoAll);
    EXPECT_EQ(prompt.asked[1].buttons, PromptButtons::YesNoAll);
    EXPECT_EQ(prompt.asked[2].buttons, PromptButtons::YesNo);
    EXPECT_FALSE(pathExists(copyOf("a")));
    EXPECT_TRUE(pathExists(copyOf("b"))) << "No keeps the copy, the row goes all the same";
    EXPECT_FALSE(pathExists(copyOf("c")));
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(DeleteRowsTest, SettingsDecideWithoutAsking)
{
    settings.delFilesOnDelItem = false;
    EXPECT_EQ(deleteRows(ctx, settings, {1, 3}), 2u);
    EXPECT_TRUE(pathExists(copyOf("b")));
    EXPECT_TRUE(pathExists(copyOf("d")));
    EXPECT_TRUE(busy.calls.empty());
    EXPECT_EQ(addresses(list), (std::vector<std::string>{tmp / "src/a.txt", tmp / "src/c.txt"}));

    settings = {top, true, false};
    EXPECT_EQ(deleteRows(ctx, settings, {0}), 1u);
    EXPECT_FALSE(pathExists(copyOf("a")));
    EXPECT_TRUE(prompt.asked.empty());
    EXPECT_EQ(deleteRows(ctx, settings, {}), 0u);
}

// ---- switches ----

TEST_F(ListCommandsTest, SwitchesChangeTheSelectionAndClearAsksFirst)
{
    list.add(fileItem("/s/a.txt", "s"));
    list.add(folderItem("/s/Data", "s/Data", 0, "*.*", false));
    list.add(folderItem("/s/Other", "s/Other", 0, "*.*", false));
    setFolderOption(list, {0, 1}, 1);
    EXPECT_EQ(list.rowAt(0).texts[colOption], "準拠") << "file rows keep their option";
    EXPECT_EQ(list.rowAt(1).texts[colOption], "同期");
    EXPECT_EQ(list.rowAt(2).texts[colOption], "準拠");

    setRunCondition(list, {0, 2}, RunCondition::CompleteOnly);
    EXPECT_EQ(list.rowAt(0).texts[colRun], "完全時のみ");
    EXPECT_EQ(list.rowAt(1).texts[colRun], "いつもする");
    setAllRunConditions(list, RunCondition::Never);
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list.rowAt(i).texts[colRun], "しない");

    prompt.expect(kConfirmationDialogCaption, PromptAnswer::No).expect(kConfirmationDialogCaption, PromptAnswer::Yes);
    EXPECT_FALSE(clearList(ctx));
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(lastBox().text, "リストをクリアします。この操作はやり直しできません\r\nそれでもクリアしますか？");
    EXPECT_EQ(lastBox().buttons, PromptButtons::YesNo);
    EXPECT_TRUE(clearList(ctx));
    EXPECT_TRUE(list.empty());
}

// ---- the address check ----

class AddressCheckTest : public ListCommandsTest {
protected:
    std::string listPath() const { return tmp / kListFileName; }
    // The records as stored, each with a byte in its reserved part that a rewrite must keep.
    std::string records(const std::vector<MirrorItem>& items, char reserved)
    {
        std::string raw(items.size() * kItemRecordSize, '\0');
        for (size_t i = 0; i < items.size(); ++i) {
            encodeItem(items[i], reinterpret_cast<uint8_t*>(raw.data() + i * kItemRecordSize));
            raw[i * kItemRecordSize + 772] = reserved;
        }
        return raw;
    }
};

TEST_F(AddressCheckTest, KeepsWhatExistsByteForByteAndDropsTheRest)
{
    const std::string file = writeFile(tmp / "src/a.txt", "a");
    const std::string folder = tmp / "src";
    const std::string link = tmp / "src/dangling";
    ASSERT_EQ(::symlink((tmp / "nowhere").c_str(), link.c_str()), 0);
    const std::vector<MirrorItem> kept{fileItem(file, "src"), folderItem(folder, "src", 0, "*.*", false), fileItem(link, "src")};
    writeFile(listPath(), records({kept[0], fileItem(tmp / "src/gone.txt", "src"), kept[1], fileItem("", ""),
                                   kept[2], fileItem("relative.txt", "")},
                                  '\x5a'));

    EXPECT_TRUE(checkAddresses(ctx, tmp.path()));
    EXPECT_EQ(readFile(listPath()), records(kept, '\x5a')) << "a link counts by itself, dangling or not";
    EXPECT_FALSE(pathExists(tmp / "_rvbak"));
    EXPECT_EQ(busy.calls, (std::vector<std::string>{"begin アドレスチェックをしています...", "progress 6", "end"}))
        << "the cursor stays normal";
    EXPECT_EQ(busy.positions, upTo(1, 6));

    // Nothing to drop: the list stays as it is.
    const std::string before = readFile(listPath());
    EXPECT_TRUE(checkAddresses(ctx, tmp.path()));
    EXPECT_EQ(readFile(listPath()), before);
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(AddressCheckTest, ARunOrAFailureLeavesTheListWhole)
{
    const std::string raw = records({fileItem(tmp / "gone.txt", ""), folderItem(tmp.path(), "t", 0, "*.*", false)}, 0);
    writeFile(listPath(), raw);
    {
        RunLock run = RunLock::tryAcquire(tmp.path());
        ASSERT_TRUE(run.held());
        prompt.expect("ミラーリング中", PromptAnswer::Ok);
        EXPECT_FALSE(checkAddresses(ctx, tmp.path()));
        EXPECT_EQ(lastBox().text, "現在ミラーリング中です\r\n現在の操作は，作業が完了するまで受け付けられません");
        EXPECT_EQ(lastBox().icon, PromptIcon::Warning);
        EXPECT_TRUE(busy.calls.empty());
    }
    EXPECT_EQ(readFile(listPath()), raw);

    // A program folder that takes no new file: the lock file is there already, _rvbak is not.
    ::chmod(tmp.path().c_str(), 0555);
    {
        test::WithoutDacOverride guard;
        if (guard.effective()) {
            prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
            EXPECT_FALSE(checkAddresses(ctx, tmp.path()));
            EXPECT_NE(lastBox().text.find(listPath()), std::string::npos) << lastBox().text;
            EXPECT_NE(lastBox().text.find(errorText(EACCES)), std::string::npos);
        }
    }
    ::chmod(tmp.path().c_str(), 0755);
    EXPECT_EQ(readFile(listPath()), raw);
    EXPECT_FALSE(pathExists(tmp / "_rvbak"));

    // No list at all: nothing to check, nothing made.
    fs::remove(listPath());
    EXPECT_TRUE(checkAddresses(ctx, tmp.path()));
    EXPECT_FALSE(pathExists(listPath()));
}

// ---- mirrored copies ----

TEST_F(ListCommandsTest, MirroredCopyPathsAndOpen)
{
    EXPECT_EQ(mirroredCopyPath("/m", fileItem("/x/Docs/a.txt", "Docs")), "/m/Latest/Docs/a.txt");
    EXPECT_EQ(mirroredCopyPath("/m", fileItem("/a.txt", "")), "/m/Latest/a.txt");
    EXPECT_EQ(mirroredCopyPath("/m", folderItem("/x/Data/Work", "Data/Work", 0, "*.*", false)), "/m/Latest/Data/Work");
    EXPECT_EQ(mirroredCopyPath("/m", folderItem("/x/Data", "", 0, "*.*", false)), "/m/Latest");

    const MirrorItem row = fileItem(tmp / "Docs/a.txt", "Docs");
    const std::string copy = writeFile(top + "/Latest/Docs/a.txt", "copy");
    EXPECT_EQ(mirroredCopyToOpen(ctx, top, row), copy);
    fs::remove(copy);
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_EQ(mirroredCopyToOpen(ctx, top, row), "");
    EXPECT_EQ(lastBox().text, "ミラーリングされたファイルが見つかりません");
}

TEST_F(ListCommandsTest, NoRowMakesACommandDeleteLatestOrLeaveIt)
{
    writeFile(top + "/Latest/a.txt", "a");
    writeFile(top + "/Latest/b.txt", "b");
    writeFile(top + "/Latest/Data/c.txt", "c");
    list.add(folderItem(tmp / "src/Data", "", 0, "*.*", false));
    list.add(fileItem(tmp / "src/a.txt", ""));

    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(eraseMirroredCopy(ctx, top, 0)) << "refused before the question";
    EXPECT_NE(lastBox().text.find("Latest"), std::string::npos);
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(deleteMirroredCopy(ctx, top, list.at(0)));
    EXPECT_TRUE(fileExists(top + "/Latest/Data/c.txt"));

    // A file row without destination deletes its own copy only.
    prompt.expect(kConfirmationDialogCaption, PromptAnswer::Yes);
    EXPECT_TRUE(eraseMirroredCopy(ctx, top, 1));
    EXPECT_EQ(lastBox().text, "ミラーリング先の該当ファイルを削除します\r\n(オリジナルのファイルは消えません)\r\nよろしいですか？");
    EXPECT_FALSE(pathExists(top + "/Latest/a.txt"));
    EXPECT_TRUE(fileExists(top + "/Latest/b.txt"));
    EXPECT_EQ(list.size(), 2u) << "the row stays";

    // Deleting the folder row with its copy removes the row and says why the copy stays.
    prompt.expect(kConfirmationDialogCaption, PromptAnswer::Yes).expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_EQ(deleteRows(ctx, {top, true, true}, {0}), 1u);
    EXPECT_TRUE(fileExists(top + "/Latest/Data/c.txt"));
    EXPECT_TRUE(fileExists(top + "/Latest/b.txt"));
}

TEST_F(ListCommandsTest, TopFoldersThatMustNotLoseAnything)
{
    list.add(folderItem(tmp / "Mirror/src", "src", 0, "*.*", false));
    EXPECT_NE(mirrorDeletionRefusal(top, list), "") << "a source inside the top folder";
    list.clear();
    list.add(folderItem(tmp.path(), "t", 0, "*.*", false));
    EXPECT_NE(mirrorDeletionRefusal(top, list), "") << "the top folder inside a source";
    list.clear();
    list.add(fileItem(tmp / "elsewhere/a.txt", "x"));
    EXPECT_EQ(mirrorDeletionRefusal(top, list), "");
    EXPECT_EQ(mirrorDeletionRefusal(top + "/./", list), "");

    EXPECT_NE(mirrorDeletionRefusal("", list), "");
    EXPECT_NE(mirrorDeletionRefusal("/", list), "");
    EXPECT_NE(mirrorDeletionRefusal("Mirror", list), "");
    EXPECT_NE(mirrorDeletionRefusal(home, list), "");
    EXPECT_NE(mirrorDeletionRefusal(home + "/../home/", list), "") << "compared in canonical form";
    EXPECT_NE(mirrorDeletionRefusal(tmp.path(), list), "") << "a folder holding the home folder";
    EXPECT_EQ(mirrorDeletionRefusal(home + "/Mirror", list), "");

    // The source inside the top folder survives the erase of the whole mirror.
    list.add(folderItem(top + "/src", "src", 0, "*.*", false));
    writeFile(top + "/src/keep.txt", "k");
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(eraseWholeMirror(ctx, top, tmp / "prog"));
    EXPECT_TRUE(fileExists(top + "/src/keep.txt"));
}

TEST_F(ListCommandsTest, LinksAreRemovedNeverFollowed)
{
    const std::string outside = writeFile(tmp / "outside/precious.txt", "p");
    writeFile(top + "/Latest/Data/Work/w.txt", "w");
    ASSERT_EQ(::symlink((tmp / "outside").c_str(), (top + "/Latest/Data/Work/link").c_str()), 0);
    list.add(folderItem(tmp / "src/Data/Work", "Data/Work", 0, "*.*", false));
    prompt.expect(kConfirmationDialogCaption, PromptAnswer::Yes);
    EXPECT_TRUE(eraseMirroredCopy(ctx, top, 0));
    EXPECT_FALSE(pathExists(top + "/Latest/Data/Work"));
    EXPECT_EQ(readFile(outside), "p");

    // A destination that leads out of Latest through a link is refused.
    ASSERT_EQ(::symlink((tmp / "outside").c_str(), (top + "/Latest/Out").c_str()), 0);
    list.add(fileItem(tmp / "src/precious.txt", "Out"));
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(deleteMirroredCopy(ctx, top, list.at(1)));
    EXPECT_EQ(readFile(outside), "p");
    // Named as the copy itself, the link goes and its target stays.
    list.add(folderItem(tmp / "src/Out", "Out", 0, "*.*", false));
    EXPECT_TRUE(deleteMirroredCopy(ctx, top, list.at(2)));
    EXPECT_FALSE(pathExists(top + "/Latest/Out"));
    EXPECT_EQ(readFile(outside), "p");

    // A Latest that points out of the top folder takes no deletion with it.
    fs::remove_all(top + "/Latest");
    ASSERT_EQ(::symlink((tmp / "outside").c_str(), (top + "/Latest").c_str()), 0);
    list.add(fileItem(tmp / "src2/precious.txt", ""));
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(deleteMirroredCopy(ctx, top, list.at(3)));
    EXPECT_EQ(readFile(outside), "p");
}

TEST_F(ListCommandsTest, EraseWholeMirrorTakesWhatRunsMadeAndLeavesTheUsersFiles)
{
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(eraseWholeMirror(ctx, top, tmp / "prog"));
    EXPECT_EQ(lastBox().text, "ミラーリング先が見つかりません\r\n実行できません");

    struct Case {
        const char* what;
        bool throughLink;  // the setting names a link to the top folder
    };
    for (const Case& c : {Case{"the top folder itself", false}, Case{"a link to the top folder", true}}) {
        SCOPED_TRACE(c.what);
        const std::string real = tmp / "drive";  // a drive root: the user's photos beside the mirror
        const std::string prog = tmp / "prog";
        fs::remove_all(real);
        fs::remove_all(tmp / "elsewhere");
        fs::create_directories(real);
        fs::create_directories(prog);
        const std::string setting = c.throughLink ? tmp / "drive-link" : real;
        if (c.throughLink && !fs::is_symlink(setting))
            fs::create_directory_symlink(real, setting);
        ASSERT_EQ(claimTopFolder(prog, setting).error(), 0);
        writeFile(real + "/Latest/Data/a.txt", "a");
        writeFile(real + "/Latest/b.txt", "b");
        writeFile(real + "/History1/Data/a.txt", "old");
        writeFile(real + "/History12/c.txt", "older");
        writeFile(real + "/.History7.rvtmp/half.txt", "a killed history step's");
        // The user's, some with names close to the mirror's.
        writeFile(real + "/photos/p.jpg", "photo");
        writeFile(real + "/notes.txt", "notes");
        writeFile(real + "/.hidden/h.txt", "h");
        writeFile(real + "/Latest2/x.txt", "x");
        writeFile(real + "/History/y.txt", "y");
        writeFile(real + "/History01/z.txt", "z");
        writeFile(real + "/latest", "lower case");
        // Links in the mirror go as links; what they point to stays.
        writeFile(tmp / "elsewhere/precious.txt", "p");
        writeFile(tmp / "elsewhere/dir/inner.txt", "i");
        fs::create_directory_symlink(tmp / "elsewhere", real + "/Latest/out");
        fs::create_directory_symlink(tmp / "elsewhere/dir", real + "/History2");
        fs::create_symlink(tmp / "nothing-there", real + "/History3");
        const auto outside = treeOf(tmp / "elsewhere");
        const auto before = treeOf(real);

        busy.calls.clear();
        prompt.expect(kWarningDialogCaption, PromptAnswer::No);
        EXPECT_FALSE(eraseWholeMirror(ctx, setting, prog));
        EXPECT_EQ(lastBox().text, "ミラーリング先を完全に消去します\r\n" + setting +
                                      "\r\nこの操作はやり直しできません\r\n\r\nそれでも実行しますか？");
        EXPECT_EQ(lastBox().icon, PromptIcon::Warning);
        EXPECT_EQ(treeOf(real), before);
        EXPECT_TRUE(busy.calls.empty());

        prompt.expect(kWarningDialogCaption, PromptAnswer::Yes);
        EXPECT_TRUE(eraseWholeMirror(ctx, setting, prog));
        EXPECT_EQ(treeOf(real), (std::map<std::string, std::string>{
                                    {".hidden", "d"}, {".hidden/h.txt", "h"},
                                    {"History", "d"}, {"History/y.txt", "y"},
                                    {"History01", "d"}, {"History01/z.txt", "z"},
                                    {"Latest2", "d"}, {"Latest2/x.txt", "x"},
                                    {"latest", "lower case"}, {"notes.txt", "notes"},
                                    {"photos", "d"}, {"photos/p.jpg", "photo"}}));
        EXPECT_EQ(treeOf(tmp / "elsewhere"), outside);
        if (c.throughLink) {
            EXPECT_TRUE(fs::is_symlink(setting));
        }
        // Latest, History1, History12, History2, History3, the work folder, the marker.
        EXPECT_EQ(busy.calls, (std::vector<std::string>{"begin ミラーリング先を削除しています... [wait]", "progress 6", "end"}));
        EXPECT_EQ(busy.positions, upTo(0, 6));
        // Forgotten: the next run starts the folder anew instead of taking it for a lost drive.
        EXPECT_EQ(topFolderState(prog, setting), TopFolderState::New);
    }
}

TEST_F(ListCommandsTest, AnEraseThatStopsHalfWayKeepsTheMarkerAndTheMemory)
{
    test::WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "permissions do not bind here";
    const std::string prog = tmp / "prog";
    fs::create_directories(prog);
    ASSERT_EQ(claimTopFolder(prog, top).error(), 0);
    writeFile(top + "/History1/locked/a.txt", "a");
    writeFile(top + "/Latest/b.txt", "b");
    ::chmod((top + "/History1/locked").c_str(), 0555);
    prompt.expect(kWarningDialogCaption, PromptAnswer::Yes);
    EXPECT_FALSE(eraseWholeMirror(ctx, top, prog));
    ::chmod((top + "/History1/locked").c_str(), 0755);
    EXPECT_TRUE(fileExists(top + "/History1/locked/a.txt"));
    EXPECT_FALSE(pathExists(top + "/Latest"));
    EXPECT_TRUE(fileExists(top + "/" + kTopMarkerName));
    EXPECT_EQ(topFolderState(prog, top), TopFolderState::Ready);
    // Still remembered: without its mirror the folder would be a drive that is not there.
    fs::remove_all(top + "/History1");
    fs::remove(top + "/" + kTopMarkerName);
    EXPECT_EQ(topFolderState(prog, top), TopFolderState::LostMirror);
    ASSERT_FALSE(busy.notes.empty());
    EXPECT_NE(busy.notes.back().find(top + "/History1/locked/a.txt"), std::string::npos);
}

TEST_F(ListCommandsTest, DeleteAddressDeletesTheFirstSourceAndRemovesEveryRow)
{
    const std::string first = writeFile(tmp / "src/a.txt", "a");
    const std::string second = writeFile(tmp / "src/b.txt", "b");
    list.add(fileItem(second, "src"));
    list.add(fileItem(first, "src"));
    list.add(fileItem(tmp / "src/c.txt", "src"));
    const MirrorSettingsView settings{top, false, true};

    prompt.expect(kWarningDialogCaption, PromptAnswer::No);
    EXPECT_EQ(deleteAddress(ctx, settings, {1, 0}), 0u);
    EXPECT_EQ(lastBox().text, "アドレス " + second + " を削除します\r\nこれはミラーリング元です\r\n\r\n本当に削除していいですか？");
    EXPECT_EQ(lastBox().icon, PromptIcon::Warning);
    EXPECT_EQ(list.size(), 3u);

    prompt.expect(kWarningDialogCaption, PromptAnswer::Yes);
    EXPECT_EQ(deleteAddress(ctx, settings, {1, 0}), 2u);
    EXPECT_FALSE(pathExists(second)) << "the first selected row in list order";
    EXPECT_TRUE(fileExists(first));
    EXPECT_EQ(addresses(list), (std::vector<std::string>{tmp / "src/c.txt"}));

    // Never the home folder, whatever the row says.
    writeFile(home + "/keep.txt", "k");
    list.add(folderItem(home, "home", 0, "*.*", false));
    prompt.expect(kWarningDialogCaption, PromptAnswer::Yes).expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_EQ(deleteAddress(ctx, settings, {1}), 1u);
    EXPECT_TRUE(fileExists(home + "/keep.txt"));
}

}  // namespace
}  // namespace renvo
