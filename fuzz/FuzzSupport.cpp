#include "FuzzSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace renvo::fuzz {

namespace {

std::string& folderPath()
{
    static std::string path;
    return path;
}

void removeScratch()
{
    std::error_code ec;
    if (!folderPath().empty())
        std::filesystem::remove_all(folderPath(), ec);
}

}  // namespace

const std::string& scratchFolder(const char* target)
{
    std::string& path = folderPath();
    if (!path.empty())
        return path;
    std::string parent = "/tmp";
    struct stat st {};
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0)
        parent = "/dev/shm";
    else if (const char* t = std::getenv("TMPDIR"); t && *t)
        parent = t;
    std::string tmpl = parent + "/renvo-" + target + ".XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    FUZZ_CHECK(::mkdtemp(buf.data()) != nullptr);
    path = buf.data();
    std::atexit(removeScratch);
    return path;
}

void putFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    FUZZ_CHECK(out.good());
}

std::string getFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace renvo::fuzz
