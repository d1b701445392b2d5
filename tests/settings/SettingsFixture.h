#pragma once
// A private user hive per test (XDG_CONFIG_HOME points into a temporary folder, so the real
// one is never touched) and a user interface that records what it was asked to show.

#include "common/TempDir.h"
#include "platform/Registry.h"
#include "settings/SettingsUi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace renvo::test {

struct RecordingUi : SettingsUi {
    struct Shown {
        std::string kind;  // "firstRun", "rlf", "error", "hive"
        std::string caption;
        std::string text;
    };
    std::vector<Shown> shown;

    void firstRunMessage(const std::string& c, const std::string& t) override { shown.push_back({"firstRun", c, t}); }
    void rlfWarning(const std::string& c, const std::string& t) override { shown.push_back({"rlf", c, t}); }
    void errorMessage(const std::string& t) override { shown.push_back({"error", "", t}); }
    void hiveKeptAside(const std::string& c, const std::string& t) override { shown.push_back({"hive", c, t}); }

    std::vector<std::string> kinds() const
    {
        std::vector<std::string> k;
        for (const Shown& s : shown)
            k.push_back(s.kind);
        return k;
    }
};

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
    RecordingUi ui;

private:
    std::optional<std::string> savedXdg_;
};

}  // namespace renvo::test
