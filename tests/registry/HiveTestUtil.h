#pragma once
// Shared set-up for the registry tests: a hive file in a fresh temporary folder.

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "platform/Registry.h"

namespace renvo::test {

inline std::vector<uint8_t> toBytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

inline RegValue sz(const std::string& s)
{
    RegValue v{REG_SZ, toBytes(s)};
    v.data.push_back(0);
    return v;
}

// Names in a folder, sorted.
inline std::vector<std::string> listFolder(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class HiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = tmp / "Tovan";
        hive = folder + "/user.reg";
        // Notices are process-wide; start each test with none pending.
        while (TRegistry::takeCorruptHiveNotice()) {
        }
    }

    void writeHive(const std::string& text) { writeFile(hive, text); }

    // Opens a fresh handle on the settings key of the test hive.
    TRegistry openRenvo(bool create = true)
    {
        TRegistry reg(hive);
        EXPECT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", create));
        return reg;
    }

    TempDir tmp;
    std::string folder;
    std::string hive;
};

}  // namespace renvo::test
