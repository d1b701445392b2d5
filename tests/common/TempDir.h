#pragma once
// A fresh temporary folder per test, removed afterwards, with small file helpers.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace renvo::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + rel
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

// Writes a file (creating its folders); returns its path.
std::string writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
// Every entry below a folder, links not followed: relative path -> "d", "l:<target>" or the
// file's content.
std::map<std::string, std::string> treeOf(const std::string& root);
// Sets the modification time of a file to the given Unix time.
void setMtime(const std::string& path, int64_t seconds);

}  // namespace renvo::test
