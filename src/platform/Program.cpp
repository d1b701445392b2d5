#include "platform/Program.h"

#include "platform/FileSys.h"
#include "platform/Path.h"

#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <pthread.h>
#include <vector>

namespace renvo {

namespace {

std::string envValue(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool isAbsolute(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

// The per-user folder, or "" when no home folder is known at all.
std::string perUserFolder(const ProgramFolderInputs& in)
{
    std::string base;
    if (isAbsolute(in.xdgDataHome)) {
        base = in.xdgDataHome;
    } else {
        const std::string& home = isAbsolute(in.home) ? in.home : in.passwordHome;
        if (!isAbsolute(home))
            return {};
        base = includeTrailingDelimiter(home) + ".local/share";
    }
    return includeTrailingDelimiter(base) + "Renvo/";
}

bool inGroup(gid_t gid)
{
    if (gid == ::getegid())
        return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    const int got = ::getgroups(n, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<size_t>(i)] == gid)
            return true;
    return false;
}

// Write and search for the caller's class alone, as if no privilege applied.
bool modeGrantsWrite(const struct stat& st)
{
    if (st.st_uid == ::geteuid())
        return (st.st_mode & (S_IWUSR | S_IXUSR)) == (S_IWUSR | S_IXUSR);
    if (inGroup(st.st_gid))
        return (st.st_mode & (S_IWGRP | S_IXGRP)) == (S_IWGRP | S_IXGRP);
    return (st.st_mode & (S_IWOTH | S_IXOTH)) == (S_IWOTH | S_IXOTH);
}

}  // namespace

std::string programFolderFor(const ProgramFolderInputs& in)
{
    if (!in.renvoHome.empty())
        return includeTrailingDelimiter(in.renvoHome);
    if (in.canWrite && in.canWrite(in.executableFolder))
        return in.executableFolder;
    const std::string perUser = perUserFolder(in);
    // Without any home folder the executable's folder is all there is; writing there fails
    // visibly instead of somewhere unexpected.
    return perUser.empty() ? in.executableFolder : perUser;
}

std::string resolveProgramFolder(const ProgramFolderInputs& in)
{
    const std::string folder = programFolderFor(in);
    if (folder != perUserFolder(in) || directoryExists(folder))
        return folder;
    // Missing levels as the XDG rules ask (0700); a failure is left to the first write.
    const std::string dir = excludeTrailingDelimiter(folder);
    if (forceDirectories(extractFileDir(dir), 0700) && ::mkdir(dir.c_str(), 0700) == 0)
        ::chmod(dir.c_str(), 0700);  // whatever the umask
    return folder;
}

ProgramFolderInputs currentProgramFolderInputs()
{
    ProgramFolderInputs in;
    in.renvoHome = envValue("RENVO_HOME");
    in.executableFolder = executableFolder();
    in.xdgDataHome = envValue("XDG_DATA_HOME");
    in.home = envValue("HOME");
    if (!isAbsolute(in.home))
        in.passwordHome = passwordHomeFolder();
    in.canWrite = userCanWriteFolder;
    return in;
}

std::string passwordHomeFolder()
{
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

std::string homeFolder()
{
    const std::string home = envValue("HOME");
    return isAbsolute(home) ? home : passwordHomeFolder();
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) != 0;
}

std::string programFolder()
{
    return resolveProgramFolder(currentProgramFolderInputs());
}

std::string executableFolder()
{
    std::vector<char> buf(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return includeTrailingDelimiter(".");
    return extractFilePath(std::string(buf.data(), static_cast<size_t>(n)));
}

bool userCanWriteFolder(const std::string& folder)
{
    // AT_EACCESS: the effective ids and capabilities decide, as for a real write; plain
    // access() would give root back every capability. This also catches read-only mounts
    // and access control lists.
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    if (::geteuid() != 0)
        return true;
    // Root passes the check above by privilege alone; the mode bits of root's class decide
    // instead, so a 0555 folder is read-only to root as to anyone.
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && modeGrantsWrite(st);
}

void applyTaskPriority(int taskPriority)
{
    static const int kNice[] = {-10, -5, 0, 5, 10};
    if (taskPriority < 0 || taskPriority > 5)
        return;
    if (taskPriority == 5) {
        sched_param param {};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        return;
    }
    // On Linux the nice value of a thread id applies to that thread alone. Raising it may be
    // refused to a normal user; the thread then keeps its priority.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kNice[taskPriority]);
}

}  // namespace renvo
