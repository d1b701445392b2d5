#include "platform/Program.h"

#include "platform/Path.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <pthread.h>
#include <vector>

namespace renvo {

std::string programFolder()
{
    if (const char* home = std::getenv("RENVO_HOME"); home && *home)
        return includeTrailingDelimiter(home);
    std::vector<char> buf(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return includeTrailingDelimiter(".");
    return extractFilePath(std::string(buf.data(), static_cast<size_t>(n)));
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
