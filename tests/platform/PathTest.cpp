#include "platform/Path.h"

#include <gtest/gtest.h>

namespace renvo {
namespace {

// "表" in CP932: its trail byte is the backslash.
const std::string kHyo = "\x95\x5C";

const PathRules& win()
{
    return windowsCp932Rules();
}

TEST(PathNative, PartsSplitAtTheSlashOnly)
{
    EXPECT_EQ(extractFileName("/home/u/b.txt"), "b.txt");
    EXPECT_EQ(extractFileName("/home/u/"), "");
    EXPECT_EQ(extractFileName("plain"), "plain");
    // No drive letters here: a colon is part of a name.
    EXPECT_EQ(extractFileName("/home/u/c:d"), "c:d");
    EXPECT_EQ(extractFileName("/home/a\\b"), "a\\b");

    EXPECT_EQ(extractFilePath("/home/u/b.txt"), "/home/u/");
    EXPECT_EQ(extractFilePath("b.txt"), "");

    EXPECT_EQ(extractFileDir("/home/u/b.txt"), "/home/u");
    EXPECT_EQ(extractFileDir("/home"), "/");
    EXPECT_EQ(extractFileDir("b.txt"), "");
    EXPECT_EQ(extractFileDrive("/home/u"), "");
    EXPECT_EQ(extractFileDrive("C:/x"), "");
}

TEST(PathNative, NamesThatAreNoValidUtf8)
{
    // Latin-1 names from old systems: 0xE9 looks like a lead byte but nothing follows it.
    EXPECT_EQ(extractFileName("/data/caf\xE9/x.txt"), "x.txt");
    EXPECT_EQ(extractFileDir("/data/caf\xE9/x.txt"), "/data/caf\xE9");
    EXPECT_EQ(extractFileName("/data/\xE9/x.txt"), "x.txt");
    EXPECT_EQ(extractFilePath("/data/\xF0/\xE9"), "/data/\xF0/");
    EXPECT_TRUE(containsDotPart("/data/\xC3/.cache"));
    EXPECT_EQ(relativePath("/data/\xE9/f", "/data/\xE9/g/h"), "g/h");
    EXPECT_EQ(charLength("\xE9/x", 0, CodePage::Utf8), 1u);
    EXPECT_EQ(charLength("\xE8\xA1\xA8/", 0, CodePage::Utf8), 3u);
    EXPECT_EQ(charLength("\xE8\xA1", 0, CodePage::Utf8), 2u);
}

TEST(PathNative, JoinAndTrailingDelimiter)
{
    EXPECT_EQ(joinPath("/top", "Latest"), "/top/Latest");
    EXPECT_EQ(joinPath("/top/", "x"), "/top//x");  // never normalised
    EXPECT_EQ(includeTrailingDelimiter("/a"), "/a/");
    EXPECT_EQ(includeTrailingDelimiter("/a/"), "/a/");
    EXPECT_EQ(includeTrailingDelimiter(""), "/");
    EXPECT_EQ(excludeTrailingDelimiter("/a/"), "/a");
    EXPECT_EQ(excludeTrailingDelimiter("/a"), "/a");
    EXPECT_EQ(excludeTrailingDelimiter("/"), "/");
}

TEST(PathNative, DotPartsAndExtensions)
{
    EXPECT_TRUE(containsDotPart("/home/u/.config/x"));
    EXPECT_TRUE(containsDotPart("/home/u/."));
    EXPECT_FALSE(containsDotPart("/home/u/a.b/c.txt"));
    EXPECT_FALSE(containsDotPart(".config"));  // no delimiter before the stop

    EXPECT_EQ(changeFileExt("/opt/renvo/Renvo", ".ctf"), "/opt/renvo/Renvo.ctf");
    EXPECT_EQ(changeFileExt("/opt/renvo/Renvo.bin", ".ctf"), "/opt/renvo/Renvo.ctf");
    // A stop in a folder name is no extension.
    EXPECT_EQ(changeFileExt("/opt/v1.2/Renvo", ".ctf"), "/opt/v1.2/Renvo.ctf");
}

TEST(PathNative, RelativePathKeepsLetterCase)
{
    // Folder row: base is the folder of the address.
    EXPECT_EQ(relativePath("/home/u/Data", "/home/u/Data/Work"), "Data/Work");
    EXPECT_EQ(relativePath("/home/u/a/b/f", "/home/u/x/g"), "../../x/g");
    // Different folders on Linux even though they differ only in case.
    EXPECT_EQ(relativePath("/home/Data/f", "/home/data/g"), "../data/g");
}

TEST(PathCp932, TrailByteBackslashIsNoSeparator)
{
    const std::string folder = "C:\\" + kHyo;           // C:\表
    const std::string file = folder + "\\a.txt";         // C:\表\a.txt
    EXPECT_EQ(extractFileName(folder, win()), kHyo);
    EXPECT_EQ(extractFileName(file, win()), "a.txt");
    EXPECT_EQ(extractFileName("x" + kHyo, win()), "x" + kHyo);

    EXPECT_EQ(extractFilePath(folder, win()), "C:\\");
    EXPECT_EQ(extractFilePath(file, win()), folder + "\\");

    EXPECT_EQ(extractFileDir(folder, win()), "C:\\");
    EXPECT_EQ(extractFileDir(file, win()), folder);
    EXPECT_EQ(extractFileDir(folder + "\\" + kHyo, win()), folder);

    EXPECT_EQ(includeTrailingDelimiter(folder, win()), folder + "\\");
    EXPECT_EQ(excludeTrailingDelimiter(folder, win()), folder);

    EXPECT_FALSE(containsDotPart(folder + ".txt", win()));
    EXPECT_TRUE(containsDotPart(folder + "\\.cache", win()));
    EXPECT_EQ(changeFileExt(folder, ".ctf", win()), folder + ".ctf");
}

TEST(PathCp932, DrivesAndUncShares)
{
    EXPECT_EQ(extractFileDrive("C:\\Data\\a.txt", win()), "C:");
    EXPECT_EQ(extractFileDrive("\\\\server\\share\\Data\\a.txt", win()), "\\\\server\\share");
    EXPECT_EQ(extractFileDrive("\\\\server\\share", win()), "\\\\server\\share");
    EXPECT_EQ(extractFileDrive("\\\\s" + kHyo + "\\share\\a", win()), "\\\\s" + kHyo + "\\share");
    EXPECT_EQ(extractFileDrive("\\Data\\a.txt", win()), "");

    EXPECT_EQ(extractFileName("C:a.txt", win()), "a.txt");
    EXPECT_EQ(extractFilePath("C:a.txt", win()), "C:");
    EXPECT_EQ(extractFileDir("C:a.txt", win()), "C:");
    EXPECT_EQ(extractFileDir("C:\\Data", win()), "C:\\");
    EXPECT_EQ(extractFileDir("C:\\Data\\Work", win()), "C:\\Data");
    EXPECT_EQ(extractFileDir("\\\\server\\share\\x", win()), "\\\\server\\share");
}

TEST(PathCp932, RelativePathExamples)
{
    // Folder row: base = folder of the address, target = the address.
    EXPECT_EQ(relativePath("C:\\Data", "C:\\Data\\Work", win()), "Data\\Work");
    EXPECT_EQ(relativePath("C:\\", "C:\\Data", win()), "Data");
    // File row from a single file: base and target are the file's folder.
    EXPECT_EQ(relativePath("C:\\Docs", "C:\\Docs", win()), "Docs");
    EXPECT_EQ(relativePath("C:\\", "C:\\", win()), "");
    // Bulk search from C:\Data.
    EXPECT_EQ(relativePath("C:\\Data", "C:\\Data", win()), "Data");
    EXPECT_EQ(relativePath("C:\\Data", "C:\\Data\\Sub", win()), "Data\\Sub");
    // Upward steps, drives compared without letter case, other drives unchanged.
    EXPECT_EQ(relativePath("C:\\a\\b\\f", "C:\\a\\x\\g", win()), "..\\x\\g");
    EXPECT_EQ(relativePath("C:\\a\\b\\c\\f", "C:\\x\\g", win()), "..\\..\\..\\x\\g");
    EXPECT_EQ(relativePath("c:\\DATA", "C:\\Data\\Work", win()), "Data\\Work");
    EXPECT_EQ(relativePath("C:\\Data", "D:\\Data\\Work", win()), "D:\\Data\\Work");
    EXPECT_EQ(relativePath("\\\\srv\\share\\Data", "\\\\srv\\share\\Data\\Work", win()), "Data\\Work");
    EXPECT_EQ(relativePath("\\\\srv\\share\\Data", "\\\\srv\\other\\Data", win()), "\\\\srv\\other\\Data");
}

TEST(PathCp932, RelativePathWithTrailByteNames)
{
    const std::string hyo = "C:\\" + kHyo;
    EXPECT_EQ(relativePath(hyo, hyo + "\\Work", win()), kHyo + "\\Work");
    EXPECT_EQ(relativePath(hyo, hyo + "\\Sub", win()), kHyo + "\\Sub");
    EXPECT_EQ(relativePath(hyo + "\\a\\f", hyo + "\\b\\g", win()), "..\\b\\g");
    EXPECT_EQ(relativePath("C:\\x" + kHyo + "\\f", "C:\\x" + kHyo + "\\g\\h", win()), "g\\h");
}

TEST(PathCompare, NativeIsExactAndByteOrdered)
{
    EXPECT_TRUE(samePath("/a/B", "/a/B"));
    EXPECT_FALSE(samePath("/a/B", "/a/b"));
    EXPECT_FALSE(samePath("/a/b", "/a/b/"));
    EXPECT_TRUE(pathLess("/a/B", "/a/a"));
    EXPECT_FALSE(pathLess("/a/a", "/a/a"));
    // Bytes compare unsigned: "é" (C3 A9) sorts after "z".
    EXPECT_TRUE(pathLess("/a/z", "/a/\xC3\xA9"));
    EXPECT_TRUE(pathLess("/a", "/a/b"));
}

TEST(PathCompare, WindowsIgnoresAsciiCaseOnly)
{
    EXPECT_TRUE(samePath("C:\\DATA\\File.TXT", "c:\\data\\file.txt", win()));
    EXPECT_TRUE(pathLess("C:\\a", "C:\\B", win()));
    EXPECT_FALSE(pathLess("C:\\B", "C:\\a", win()));
    EXPECT_FALSE(pathLess("C:\\A", "c:\\a", win()));
    // ア (83 41) and ャ (83 61): trail bytes that look like letters are no letters.
    EXPECT_FALSE(samePath("C:\\\x83\x41", "C:\\\x83\x61", win()));
    EXPECT_NE(pathLess("C:\\\x83\x41", "C:\\\x83\x61", win()), pathLess("C:\\\x83\x61", "C:\\\x83\x41", win()));
    EXPECT_EQ(relativePath("C:\\\x83\x41\\f", "C:\\\x83\x61\\g", win()), "..\\\x83\x61\\g");
}

TEST(PathCompare, KeysAreEqualExactlyWhenPathsAre)
{
    // Keys stand in for samePath in hash look-ups, so the two must agree.
    const char* const names[] = {"C:\\DATA\\File.TXT", "c:\\data\\file.txt", "C:\\\x83\x41", "C:\\\x83\x61",
                                 "c:\\\x83\x41", "C:\\a\x83\x41" "B"};
    for (const char* a : names) {
        for (const char* b : names) {
            EXPECT_EQ(pathKey(a, win()) == pathKey(b, win()), samePath(a, b, win())) << a << " / " << b;
            EXPECT_EQ(pathKey(a) == pathKey(b), samePath(a, b)) << a << " / " << b;
        }
    }
    EXPECT_EQ(pathKey("/Home/A"), "/Home/A");
}

}  // namespace
}  // namespace renvo
