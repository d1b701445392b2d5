#include "common/TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace renvo::test {

TempDir::TempDir()
{
    std::string base = std::filesystem::temp_directory_path().string() + "/renvo-test-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable so they can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0755);
    }
    std::filesystem::remove_all(path_, ec);
}

std::string writeFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
    if (!f)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void setMtime(const std::string& path, int64_t seconds)
{
    timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw std::runtime_error("utimensat failed on " + path);
}

std::map<std::string, std::string> treeOf(const std::string& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = fs::relative(it->path(), root).string();
        if (it->is_symlink())
            out[rel] = "l:" + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            out[rel] = "d";
        else
            out[rel] = readFile(it->path().string());
    }
    return out;
}

}  // namespace renvo::test
