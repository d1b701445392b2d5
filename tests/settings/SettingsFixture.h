#pragma once
// A private user hive per test (XDG_CONFIG_HOME points into a temporary folder, so the real
// one is never touched) and a scripted prompt for the messages the settings show.

#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace renvo::test {

class HiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            savedXdg_ = old;
        ::setenv("XDG_CONFIG_HOME", tmp.path().c_str(), 1);
        TRegistry::takeCorruptHiveNotice();  // nothing left over from an earlier test
    }
    void TearDown() override
    {
        if (savedXdg_)
            ::setenv("XDG_CONFIG_HOME", savedXdg_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

    std::string hiveFolder() const { return tmp / "Tovan"; }
    std::string hivePath() const { return tmp / "Tovan/user.reg"; }
    // A hive holding the settings key with the given value lines ("name"=... each ending in \n).
    void writeSettingsKey(const std::string& valueLines, const std::string& moreKeys = {}) const
    {
        writeFile(hivePath(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]\n" +
                                  valueLines + "\n" + moreKeys);
    }
    // Whether the hive file holds this whole line; ASCII letter case is ignored, since hex
    // digits may be written either way.
    ::testing::AssertionResult hiveHasLine(const std::string& line) const
    {
        const std::string text = lower("\n" + readFile(hivePath()) + "\n");
        if (text.find("\n" + lower(line) + "\n") != std::string::npos ||
            text.find("\n" + lower(line) + "\r\n") != std::string::npos)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no line " << line << " in\n" << readFile(hivePath());
    }
    static std::string lower(std::string s)
    {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        return s;
    }

    TempDir tmp;
    ScriptedPrompt prompt;

private:
    std::optional<std::string> savedXdg_;
};

}  // namespace renvo::test
