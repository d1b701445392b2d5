// The autostart entry in a temporary configuration folder, checked by the desktop's own
// validator (desktop-file-utils).
#include "dialog/Autostart.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

namespace renvo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

// Sets an environment variable for the scope and puts the old value back.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The desktop's validator passes the entry without naming an error.
::testing::AssertionResult validEntry(const std::string& path)
{
    const std::string command = "desktop-file-validate '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return ::testing::AssertionFailure() << "the validator did not start";
    std::string output;
    std::array<char, 512> buf{};
    while (size_t n = fread(buf.data(), 1, buf.size(), pipe))
        output.append(buf.data(), n);
    const int status = pclose(pipe);
    if (status != 0 || output.find("error") != std::string::npos)
        return ::testing::AssertionFailure() << "status " << status << ": " << output;
    return ::testing::AssertionSuccess();
}

std::string lineOf(const std::string& entry, const std::string& key)
{
    const size_t at = entry.find("\n" + key + "=");
    if (at == std::string::npos)
        return {};
    const size_t start = at + 1;
    return entry.substr(start, entry.find('\n', start) - start);
}

TEST(Autostart, EntryPathFollowsTheXdgConfigFolder)
{
    {
        EnvVar xdg("XDG_CONFIG_HOME", "/srv/conf/");
        EXPECT_EQ(autostartEntryPath(), "/srv/conf/autostart/Renvo3.desktop");
    }
    EnvVar home("HOME", "/home/someone");
    {
        EnvVar xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(autostartEntryPath(), "/home/someone/.config/autostart/Renvo3.desktop");
    }
    {
        EnvVar xdg("XDG_CONFIG_HOME", "");
        EXPECT_EQ(autostartEntryPath(), "/home/someone/.config/autostart/Renvo3.desktop");
    }
    {
        // Relative folders are not XDG folders.
        EnvVar xdg("XDG_CONFIG_HOME", "conf");
        EXPECT_EQ(autostartEntryPath(), "/home/someone/.config/autostart/Renvo3.desktop");
    }
}

TEST(Autostart, RegisterWritesAValidEntryAndRemoveDeletesIt)
{
    TempDir tmp;
    EnvVar xdg("XDG_CONFIG_HOME", (tmp / "config").c_str());
    const std::string entry = tmp / "config/autostart/Renvo3.desktop";

    ASSERT_EQ(registerAutostart("/opt/renvo/Renvo"), 0);
    ASSERT_TRUE(fs::is_regular_file(entry));
    std::string text = readFile(entry);
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_EQ(lineOf(text, "Type"), "Type=Application");
    EXPECT_EQ(lineOf(text, "Name"), "Name=Renvo");
    EXPECT_EQ(lineOf(text, "Exec"), "Exec=/opt/renvo/Renvo");
    EXPECT_EQ(lineOf(text, "Path"), "Path=/opt/renvo");
    EXPECT_EQ(lineOf(text, "X-GNOME-Autostart-enabled"), "X-GNOME-Autostart-enabled=true");
    EXPECT_TRUE(validEntry(entry));

    // Registering again overwrites, leaving no temporary file beside it.
    ASSERT_EQ(registerAutostart("/home/me/My Programs/Renvo"), 0);
    text = readFile(entry);
    EXPECT_EQ(lineOf(text, "Exec"), "Exec=\"/home/me/My Programs/Renvo\"");
    EXPECT_EQ(lineOf(text, "Path"), "Path=/home/me/My Programs");
    EXPECT_TRUE(validEntry(entry));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "config/autostart"), fs::directory_iterator{}), 1);

    EXPECT_EQ(removeAutostart(), 0);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(removeAutostart(), 0) << "nothing to remove is no failure";
}

TEST(Autostart, SpecialCharactersAreQuotedAndEscaped)
{
    TempDir tmp;
    EnvVar xdg("XDG_CONFIG_HOME", (tmp / "config").c_str());
    const std::string entry = tmp / "config/autostart/Renvo3.desktop";

    // Inside the quotes " ` $ \ get a backslash, a per cent sign is doubled, and then every
    // backslash is doubled once more as in any string value.
    ASSERT_EQ(registerAutostart("/opt/a\"b$c`d\\e 100%/Renvo"), 0);
    std::string text = readFile(entry);
    EXPECT_EQ(lineOf(text, "Exec"), "Exec=\"/opt/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e 100%%/Renvo\"");
    EXPECT_EQ(lineOf(text, "Path"), "Path=/opt/a\"b$c`d\\\\e 100%");
    EXPECT_TRUE(validEntry(entry));

    // A reserved character without a blank still needs the quotes; so does a name's own.
    ASSERT_EQ(registerAutostart("/opt/it's/Renvo (copy)"), 0);
    text = readFile(entry);
    EXPECT_EQ(lineOf(text, "Exec"), "Exec=\"/opt/it's/Renvo (copy)\"");
    EXPECT_EQ(lineOf(text, "Name"), "Name=Renvo (copy)");
    EXPECT_TRUE(validEntry(entry));
}

TEST(Autostart, FailuresGiveTheErrno)
{
    TempDir tmp;
    writeFile(tmp / "plain", "x");
    {
        EnvVar xdg("XDG_CONFIG_HOME", (tmp / "plain").c_str());
        EXPECT_EQ(registerAutostart("/opt/renvo/Renvo"), ENOTDIR);
        EXPECT_EQ(removeAutostart(), 0);
    }
    // An entry whose folder may not be written cannot be removed.
    EnvVar xdg("XDG_CONFIG_HOME", (tmp / "config").c_str());
    ASSERT_EQ(registerAutostart("/opt/renvo/Renvo"), 0);
    fs::permissions(tmp / "config/autostart", fs::perms::owner_read | fs::perms::owner_exec);
    const int err = removeAutostart();
    fs::permissions(tmp / "config/autostart", fs::perms::owner_all);
    if (geteuid() != 0) {
        EXPECT_EQ(err, EACCES);
    }
    EXPECT_EQ(removeAutostart(), 0);
}

}  // namespace
}  // namespace renvo
