// The restore page's work on real backup trees in a temporary folder: the search over Latest
// and the history generations, the folders a row goes back to, and the restore with its
// questions, its refusals and its report of what failed.
#include "dialog/RestoreCommands.h"

#include "common/Privileges.h"
#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "platform/FileSys.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace renvo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScriptedPrompt;
using test::TempDir;
using test::writeFile;
using test::treeOf;

struct Row {
    std::string name, sub, gen;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& r, std::ostream* os)
{
    *os << "(" << r.name << ", " << r.sub << ", " << r.gen << ")";
}

std::vector<Row> rowsOf(const std::vector<RestoreCandidate>& found)
{
    std::vector<Row> out;
    for (const RestoreCandidate& c : found)
        out.push_back({c.fileName, c.subfolder, c.generation});
    return out;
}

int64_t mtimeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? int64_t(st.st_mtime) : -1;
}

// A top folder with a file item's copies and a folder item's trees in some generations.
struct Backup {
    TempDir tmp;
    std::string top = tmp / "Mirror";

    std::string put(const std::string& generation, const std::string& rel, const std::string& content)
    {
        return writeFile(top + "/" + generation + "/" + rel, content);
    }
    RestoreQuery fileQuery(const std::string& dest, int limit) const
    {
        return {tmp / "home/report.txt", true, false, dest, top, limit};
    }
    RestoreQuery folderQuery(const std::string& dest, bool sub, int limit) const
    {
        return {tmp / "home/docs", false, sub, dest, top, limit};
    }
};

TEST(RestoreSearch, FileItemRowsInGenerationOrderUpToTheHistoryLimit)
{
    Backup b;
    b.put("Latest", "files/report.txt", "latest");
    b.put("History1", "files/report.txt", "h1");
    b.put("History3", "files/report.txt", "h3");
    b.put("History4", "files/report.txt", "h4");  // beyond the limit
    b.put("History2", "files/other.txt", "x");
    b.put("Latest", "elsewhere/report.txt", "another destination");

    const auto found = searchBackup(b.fileQuery("files", 3));
    EXPECT_EQ(rowsOf(found), (std::vector<Row>{{"report.txt", "files", "Latest"},
                                               {"report.txt", "files", "History1"},
                                               {"report.txt", "files", "History3"}}));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(readFile(found[2].backupPath), "h3");

    EXPECT_EQ(rowsOf(searchBackup(b.fileQuery("files", 0))), (std::vector<Row>{{"report.txt", "files", "Latest"}}));
    // A trailing delimiter on the address does not lose the name.
    RestoreQuery q = b.fileQuery("files", 1);
    q.address += "/";
    EXPECT_EQ(searchBackup(q).size(), 2u);
    EXPECT_EQ(generationName(0), "Latest");
    EXPECT_EQ(generationName(12), "History12");
}

TEST(RestoreSearch, FileItemIgnoresFoldersAndTemporariesOfThatNameButListsLinks)
{
    Backup b;
    fs::create_directories(b.top + "/Latest/d/report.txt");  // a folder of the name is no copy
    b.put("History1", "d/.report.txt.rvtmp-abcdef", "torn");
    fs::create_directories(b.top + "/History1/d");
    fs::create_symlink("../../somewhere/report.txt", b.top + "/History1/d/report.txt");  // dangling link, kept
    EXPECT_EQ(rowsOf(searchBackup(b.fileQuery("d", 1))), (std::vector<Row>{{"report.txt", "d", "History1"}}));
}

TEST(RestoreSearch, FolderItemListsPerGenerationWithOrWithoutSubfolders)
{
    Backup b;
    b.put("Latest", "docs/b.txt", "b");
    b.put("Latest", "docs/a", "a without a dot");
    b.put("Latest", "docs/sub/c.txt", "c");
    b.put("Latest", "docs/sub/deeper/d.txt", "d");
    b.put("Latest", "docs/z/e.txt", "e");
    b.put("Latest", "docs/.hidden/h.txt", "in a hidden folder");
    b.put("Latest", "other/x.txt", "another item");
    b.put("Latest", "docs/.b.txt.rvtmp-Ab12Cd", "a copy's leftover is no candidate");
    b.put("History2", "docs/sub/c.txt", "old c");
    b.put("History2", "docs/.hidden", "a hidden file is a file");
    // A link to a folder outside the generation is listed as a file, never entered.
    b.put("outside", "secret.txt", "s");
    fs::create_directory_symlink(b.top + "/outside", b.top + "/Latest/docs/zlink");

    EXPECT_EQ(rowsOf(searchBackup(b.folderQuery("docs", false, 2))),
              (std::vector<Row>{{"a", "docs", "Latest"},
                                {"b.txt", "docs", "Latest"},
                                {"zlink", "docs", "Latest"},
                                {".hidden", "docs", "History2"}}));
    EXPECT_EQ(rowsOf(searchBackup(b.folderQuery("docs", true, 2))),
              (std::vector<Row>{{"a", "docs", "Latest"},
                                {"b.txt", "docs", "Latest"},
                                {"zlink", "docs", "Latest"},
                                {"c.txt", "docs/sub", "Latest"},
                                {"d.txt", "docs/sub/deeper", "Latest"},
                                {"e.txt", "docs/z", "Latest"},
                                {".hidden", "docs", "History2"},
                                {"c.txt", "docs/sub", "History2"}}));
    EXPECT_TRUE(searchBackup(b.folderQuery("docs/missing", true, 2)).empty());
}

TEST(RestoreSearch, UntrustedDestinationsAndBasesOutsideTheGenerationFindNothing)
{
    Backup b;
    b.put("Latest", "docs/a.txt", "a");
    b.put("outside", "a.txt", "not in the generation");
    fs::create_directory_symlink(b.top + "/outside", b.top + "/Latest/linked");
    for (const std::string dest : {"../outside", "/abs", "docs/", "docs//x", "./docs", "linked"}) {
        EXPECT_TRUE(searchBackup(b.folderQuery(dest, true, 0)).empty()) << dest;
        EXPECT_TRUE(searchBackup(b.fileQuery(dest, 0)).empty()) << dest;
    }
    RestoreQuery noTop = b.folderQuery("docs", false, 0);
    noTop.topFolder.clear();
    EXPECT_TRUE(searchBackup(noTop).empty());
    RestoreQuery trailing = b.folderQuery("docs", false, 0);
    trailing.topFolder += "//";
    EXPECT_EQ(rowsOf(searchBackup(trailing)), (std::vector<Row>{{"a.txt", "docs", "Latest"}}));
}

TEST(RestoreSearch, EmptyDestinationSearchesTheGenerationFolderItself)
{
    Backup b;
    b.put("Latest", "report.txt", "file item directly in Latest");
    b.put("Latest", "a/b/deep.txt", "deep");
    EXPECT_EQ(rowsOf(searchBackup(b.fileQuery("", 0))), (std::vector<Row>{{"report.txt", "", "Latest"}}));
    const auto found = searchBackup(b.folderQuery("", true, 0));
    EXPECT_EQ(rowsOf(found), (std::vector<Row>{{"report.txt", "", "Latest"}, {"deep.txt", "a/b", "Latest"}}));
    ASSERT_EQ(found.size(), 2u);
    // Directly in the generation: the target itself; below it: joined with a delimiter.
    EXPECT_EQ(restoreFolder("/work", found[0], ""), "/work");
    EXPECT_EQ(restoreFolder("/work", found[1], ""), "/work/a/b");
}

TEST(RestoreFolder, RestBelowTheDestinationFollowsTheTarget)
{
    const RestoreCandidate file{"r.txt", "docs", "Latest", "", "docs"};
    const RestoreCandidate deep{"d.txt", "docs/a/b", "Latest", "", "docs"};
    EXPECT_EQ(restoreFolder("/work", file, "docs"), "/work");
    EXPECT_EQ(restoreFolder("/work", deep, "docs"), "/work/a/b");
    EXPECT_EQ(restoreFolder("/", deep, "docs"), "/a/b");
    // A current text that holds the subfolder in whole parts is used, as the page shows it.
    EXPECT_EQ(restoreFolder("/work", deep, "docs/a"), "/work/b");
    // One that would cut a name, or another folder, falls back to where the row was found.
    EXPECT_EQ(restoreFolder("/work", deep, "doc"), "/work/a/b");
    EXPECT_EQ(restoreFolder("/work", deep, "pictures"), "/work/a/b");
    EXPECT_EQ(restoreFolder("/work", deep, ""), "/work/docs/a/b");

    EXPECT_EQ(proposedTarget("/home/me/report.txt", true), "/home/me");
    EXPECT_EQ(proposedTarget("/report.txt", true), "/");
    EXPECT_EQ(proposedTarget("/home/me/docs", false), "/home/me/docs");
}

// The restore of search results into a target of the temporary folder.
struct Restore : Backup {
    ScriptedPrompt prompt;
    TFileOperation op;
    std::string target = tmp / "restored";
    int owner = 0;

    RestoreOutcome run(const std::vector<RestoreCandidate>& rows, const std::string& dest)
    {
        return restoreCandidates(prompt, op, rows, target, dest, top, &owner);
    }
};

TEST(RestoreRun, AllAtTheFirstQuestionRestoresEveryRowIntoNewNestedFolders)
{
    Restore r;
    const std::string a = r.put("Latest", "docs/a.txt", "a");
    r.put("Latest", "docs/x/b.txt", "b");
    r.put("Latest", "docs/x/y/c.txt", "c");
    test::setMtime(a, 1'600'000'000);
    ::chmod(a.c_str(), 0640);
    const auto rows = searchBackup(r.folderQuery("docs", true, 0));
    ASSERT_EQ(rows.size(), 3u);

    r.prompt.expect(kRestoreQuestionCaption, PromptAnswer::All).expect(kRestoreDoneCaption, PromptAnswer::Ok);
    const RestoreOutcome out = r.run(rows, "docs");
    r.prompt.expectAllAnswered();
    EXPECT_EQ(out.restored, 3);
    EXPECT_TRUE(out.failures.empty());
    EXPECT_EQ(readFile(r.target + "/a.txt"), "a");
    EXPECT_EQ(readFile(r.target + "/x/b.txt"), "b");
    EXPECT_EQ(readFile(r.target + "/x/y/c.txt"), "c");
    EXPECT_EQ(mtimeOf(r.target + "/a.txt"), 1'600'000'000);
    struct stat st {};
    ASSERT_EQ(::stat((r.target + "/a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ASSERT_EQ(r.prompt.asked.size(), 2u);
    const PromptMessage& q = r.prompt.asked[0];
    EXPECT_EQ(q.text, "アドレス a.txt を " + r.target + " に復元します\r\nよろしいですか？");
    EXPECT_EQ(q.icon, PromptIcon::Question);
    EXPECT_EQ(q.buttons, PromptButtons::YesNoAll);
    EXPECT_EQ(q.owner, &r.owner);
    const PromptMessage& done = r.prompt.asked[1];
    EXPECT_EQ(done.text, kRestoreDoneText);
    EXPECT_EQ(done.icon, PromptIcon::Information);
    EXPECT_EQ(done.buttons, PromptButtons::Ok);
    EXPECT_EQ(done.owner, &r.owner);
}

TEST(RestoreRun, NoSkipsARowAndTheCompletionStillComes)
{
    Restore r;
    r.put("Latest", "docs/a.txt", "a");
    r.put("Latest", "docs/b.txt", "b");
    r.put("Latest", "docs/sub/c.txt", "c");
    const auto rows = searchBackup(r.folderQuery("docs", true, 0));
    r.prompt.expect(PromptAnswer::No).expect(PromptAnswer::Yes).expect(PromptAnswer::No).expect(kRestoreDoneCaption,
                                                                                                PromptAnswer::Ok);
    const RestoreOutcome out = r.run(rows, "docs");
    r.prompt.expectAllAnswered();
    EXPECT_EQ(out.restored, 1);
    EXPECT_EQ(out.skipped, 2);
    EXPECT_FALSE(fs::exists(r.target + "/a.txt"));
    EXPECT_EQ(readFile(r.target + "/b.txt"), "b");
    EXPECT_FALSE(fs::exists(r.target + "/sub"));  // no folder made for a row answered No
    EXPECT_EQ(r.prompt.asked.back().text, kRestoreDoneText);
}

TEST(RestoreRun, FailuresAreReportedWithTheirReasonsInsteadOfCompletion)
{
    Restore r;
    r.put("Latest", "docs/a.txt", "a");
    const std::string vanishing = r.put("Latest", "docs/b.txt", "b");
    r.put("Latest", "docs/locked/c.txt", "c");
    r.put("Latest", "docs/ok/d.txt", "d");
    const auto rows = searchBackup(r.folderQuery("docs", true, 0));
    ASSERT_EQ(rows.size(), 4u);
    fs::remove(vanishing);
    fs::create_directories(r.target + "/locked");
    const std::string old = writeFile(r.target + "/locked/c.txt", "the user's own c");
    ::chmod((r.target + "/locked").c_str(), 0555);
    test::WithoutDacOverride noOverride;
    if (!noOverride.effective())
        GTEST_SKIP() << "permissions do not bind here";

    r.prompt.expect(PromptAnswer::All).expect(kRestoreDoneCaption, PromptAnswer::Ok);
    const RestoreOutcome out = r.run(rows, "docs");
    r.prompt.expectAllAnswered();
    EXPECT_EQ(out.restored, 2);
    ASSERT_EQ(out.failures.size(), 2u);
    EXPECT_EQ(out.failures[0].path, vanishing);
    EXPECT_EQ(out.failures[0].reason, errorText(ENOENT));
    EXPECT_EQ(out.failures[1].path, r.target + "/locked/c.txt");
    EXPECT_EQ(out.failures[1].reason, errorText(EACCES));
    EXPECT_EQ(readFile(old), "the user's own c");
    EXPECT_EQ(readFile(r.target + "/ok/d.txt"), "d");

    const PromptMessage& report = r.prompt.asked.back();
    EXPECT_EQ(report.icon, PromptIcon::Warning);
    EXPECT_EQ(report.text, "2 個のファイルを復元できませんでした（復元したファイル 2 個）\r\n\r\n" + vanishing + ": " +
                               errorText(ENOENT) + "\r\n" + r.target + "/locked/c.txt: " + errorText(EACCES));
    EXPECT_NE(report.text.find("No such file"), std::string::npos);  // the system's words, not a code
}

TEST(RestoreRun, AFolderThatCannotBeMadeAndAFolderInTheFilesPlaceFail)
{
    Restore r;
    r.put("Latest", "docs/sub/a.txt", "a");
    r.put("Latest", "docs/b.txt", "b");
    const auto rows = searchBackup(r.folderQuery("docs", true, 0));
    writeFile(r.target + "/sub", "a file where the folder would go");
    fs::create_directories(r.target + "/b.txt/inner");
    r.prompt.expect(PromptAnswer::All).expect(kRestoreDoneCaption, PromptAnswer::Ok);
    const RestoreOutcome out = r.run(rows, "docs");
    ASSERT_EQ(out.failures.size(), 2u);
    EXPECT_EQ(out.failures[0].path, r.target + "/b.txt");
    EXPECT_EQ(out.failures[0].reason, errorText(EISDIR));
    EXPECT_EQ(out.failures[1].path, r.target + "/sub");
    EXPECT_EQ(out.failures[1].reason, errorText(ENOTDIR));
    EXPECT_TRUE(fs::is_directory(r.target + "/b.txt/inner"));
    EXPECT_EQ(readFile(r.target + "/sub"), "a file where the folder would go");
}

TEST(RestoreRun, ManyFailuresNameTheFirstFiveAndCountTheRest)
{
    Restore r;
    for (char c = 'a'; c <= 'g'; ++c)
        r.put("Latest", std::string("docs/") + c + ".txt", "x");
    const auto rows = searchBackup(r.folderQuery("docs", false, 0));
    ASSERT_EQ(rows.size(), 7u);
    fs::remove_all(r.top + "/Latest/docs");
    fs::create_directories(r.top + "/Latest/docs");
    r.prompt.expect(PromptAnswer::All).expect(kRestoreDoneCaption, PromptAnswer::Ok);
    const RestoreOutcome out = r.run(rows, "docs");
    EXPECT_EQ(out.failures.size(), 7u);
    const std::string& text = r.prompt.asked.back().text;
    EXPECT_EQ(text.rfind("7 個のファイルを復元できませんでした", 0), 0u);
    EXPECT_NE(text.find("/e.txt: "), std::string::npos);
    EXPECT_EQ(text.find("/f.txt"), std::string::npos);
    EXPECT_NE(text.find("\r\nほか 2 個"), std::string::npos);
}

void growSource(const std::string& src)
{
    test::writeFile(src, "the backup changed while it was read");
}

TEST(RestoreRun, TheOldFileSurvivesACopyThatFails)
{
    Restore r;
    r.put("Latest", "report/report.txt", "backup copy");
    const auto rows = searchBackup(r.fileQuery("report", 0));
    ASSERT_EQ(rows.size(), 1u);
    const std::string old = writeFile(r.target + "/report.txt", "the user's newer text");
    setCopyHook(&growSource);
    r.prompt.expect(PromptAnswer::Yes).expect(kRestoreDoneCaption, PromptAnswer::Ok);
    const RestoreOutcome out = r.run(rows, "report");
    setCopyHook(nullptr);
    ASSERT_EQ(out.failures.size(), 1u);
    EXPECT_EQ(out.failures[0].reason, "複製中にファイルが変更されました");
    EXPECT_EQ(readFile(old), "the user's newer text");
    EXPECT_TRUE(temporariesBeside({old}).empty());
    EXPECT_EQ(r.prompt.asked.back().icon, PromptIcon::Warning);
}

TEST(RestoreRun, LinksComeBackAsLinks)
{
    Restore r;
    fs::create_directories(r.top + "/Latest/docs");
    fs::create_symlink("/etc", r.top + "/Latest/docs/etc-link");
    fs::create_symlink("missing.txt", r.top + "/Latest/docs/dangling");
    const auto rows = searchBackup(r.folderQuery("docs", true, 0));
    ASSERT_EQ(rows.size(), 2u);
    r.prompt.expect(PromptAnswer::All).expect(kRestoreDoneCaption, PromptAnswer::Ok);
    EXPECT_EQ(r.run(rows, "docs").restored, 2);
    EXPECT_TRUE(fs::is_symlink(r.target + "/etc-link"));
    EXPECT_EQ(fs::read_symlink(r.target + "/etc-link"), "/etc");
    EXPECT_EQ(fs::read_symlink(r.target + "/dangling"), "missing.txt");
}

TEST(RestoreRun, NothingIsWrittenThroughALinkBelowTheTarget)
{
    struct Case {
        const char* what;
        std::string link;     // below the target
        std::string pointsTo;  // below the folder elsewhere
    };
    const std::vector<Case> cases = {
        {"a link to a folder on the way", "sub", ""},
        {"a dangling link on the way", "sub", "gone"},
        {"a link deeper on the way", "a/b", ""},
        {"a link to a file at the file's name", "report.txt", "report.txt"},
        {"a link to a folder at the file's name", "report.txt", "dir"},
        {"a dangling link at the file's name", "report.txt", "new.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Restore r;
        r.put("Latest", "docs/report.txt", "backup");
        r.put("Latest", "docs/sub/report.txt", "backup sub");
        r.put("Latest", "docs/a/b/report.txt", "backup deep");
        r.put("Latest", "docs/ok.txt", "ok");
        const auto rows = searchBackup(r.folderQuery("docs", true, 0));
        ASSERT_EQ(rows.size(), 4u);
        const std::string elsewhere = r.tmp / "elsewhere";
        writeFile(elsewhere + "/report.txt", "the user's report elsewhere");
        fs::create_directories(elsewhere + "/dir");
        const std::string link = r.target + "/" + c.link;
        fs::create_directories(fs::path(link).parent_path());
        fs::create_symlink(c.pointsTo.empty() ? elsewhere : elsewhere + "/" + c.pointsTo, link);
        const auto outside = treeOf(elsewhere);
        const auto linkTarget = fs::read_symlink(link);

        r.prompt.expect(PromptAnswer::All).expect(kRestoreDoneCaption, PromptAnswer::Ok);
        const RestoreOutcome out = r.run(rows, "docs");
        r.prompt.expectAllAnswered();
        EXPECT_EQ(out.restored, 3);
        ASSERT_EQ(out.failures.size(), 1u);
        EXPECT_EQ(out.failures[0].path, link);
        EXPECT_EQ(out.failures[0].reason, kLinkInTheWayReason);
        EXPECT_EQ(r.prompt.asked.back().icon, PromptIcon::Warning);
        EXPECT_NE(r.prompt.asked.back().text.find(link + ": " + kLinkInTheWayReason), std::string::npos);
        EXPECT_EQ(treeOf(elsewhere), outside) << "nothing outside the target changed";
        EXPECT_FALSE(pathExists(elsewhere + "/gone"));
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), linkTarget);
        EXPECT_EQ(readFile(r.target + "/ok.txt"), "ok");
    }
}

TEST(RestoreRun, TheTargetItselfMayBeALink)
{
    Restore r;
    r.put("Latest", "docs/a.txt", "a");
    r.put("Latest", "docs/sub/b.txt", "b");
    const auto rows = searchBackup(r.folderQuery("docs", true, 0));
    fs::create_directories(r.tmp / "real");
    fs::create_directory_symlink(r.tmp / "real", r.tmp / "chosen");
    r.target = r.tmp / "chosen";
    r.prompt.expect(PromptAnswer::All).expect(kRestoreDoneCaption, PromptAnswer::Ok);
    const RestoreOutcome out = r.run(rows, "docs");
    EXPECT_EQ(out.restored, 2);
    EXPECT_TRUE(out.failures.empty());
    EXPECT_EQ(readFile(r.tmp / "real/a.txt"), "a");
    EXPECT_EQ(readFile(r.tmp / "real/sub/b.txt"), "b");
    EXPECT_EQ(r.prompt.asked.back().text, kRestoreDoneText);
}

TEST(RestoreRun, TargetsThatWouldWriteIntoTheBackupOrNameNoFolderAreRefused)
{
    Restore r;
    r.put("Latest", "docs/a.txt", "a");
    r.put("Latest", "docs/sub/b.txt", "b");
    const auto rows = searchBackup(r.folderQuery("docs", true, 0));
    fs::create_directories(r.tmp / "work");
    fs::create_directory_symlink(r.top + "/Latest", r.tmp / "work/into-backup");

    const std::vector<std::string> refusedTargets = {
        r.top + "/Latest/docs",        // straight onto the backup
        r.top,                         // the top folder itself
        r.tmp / "work/into-backup",    // through a link
        r.tmp / "work/./../Mirror",    // spelled differently
    };
    for (const std::string& target : refusedTargets) {
        r.target = target;
        r.prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
        const RestoreOutcome out = r.run(rows, "docs");
        r.prompt.expectAllAnswered();
        EXPECT_TRUE(out.refused) << target;
        EXPECT_EQ(r.prompt.asked.back().icon, PromptIcon::Error);
        EXPECT_EQ(r.prompt.asked.back().text, targetInsideTopText(target, r.top)) << target;
    }
    // The target's own sub folder is a link into the backup: the second row would land there.
    fs::create_directories(r.tmp / "work2");
    fs::create_directory_symlink(r.top + "/Latest", r.tmp / "work2/sub");
    r.target = r.tmp / "work2";
    r.prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_TRUE(r.run(rows, "docs").refused);
    EXPECT_EQ(r.prompt.asked.back().text, targetInsideTopText(r.tmp / "work2/sub", r.top));
    EXPECT_FALSE(fs::exists(r.tmp / "work2/a.txt"));
    EXPECT_EQ(readFile(r.top + "/Latest/docs/a.txt"), "a");

    r.target = "";
    r.prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_TRUE(r.run(rows, "docs").refused);
    EXPECT_EQ(r.prompt.asked.back().text, emptyTargetText());
    r.target = "restored";
    r.prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_TRUE(r.run(rows, "docs").refused);
    EXPECT_EQ(r.prompt.asked.back().text, relativeTargetText("restored"));
    r.prompt.expectAllAnswered();
    for (const PromptMessage& m : r.prompt.asked)
        EXPECT_NE(m.caption, kRestoreQuestionCaption);  // refused before any question
}

}  // namespace
}  // namespace renvo
