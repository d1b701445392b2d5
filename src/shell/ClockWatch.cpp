#include "shell/ClockWatch.h"

#include <QSocketNotifier>

#if defined(__linux__)
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#endif

namespace renvo {

#if defined(__linux__)

ClockWatch::ClockWatch(QObject* parent) : QObject(parent)
{
    // A wall-clock timer that is cancelled whenever the wall clock jumps, a resume included:
    // the cancellation is the notice, the expiry itself never comes.
    fd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0)
        return;
    if (!arm()) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &ClockWatch::readNotice);
}

ClockWatch::~ClockWatch()
{
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

bool ClockWatch::arm()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    itimerspec expiry{};
    expiry.it_value.tv_sec = now.tv_sec + 50LL * 365 * 24 * 60 * 60;
    return ::timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &expiry, nullptr) == 0;
}

void ClockWatch::readNotice()
{
    uint64_t expirations = 0;
    // ECANCELED is the clock change; an expiry would be a clock set decades ahead. Both need
    // the watch armed again to hear of the next change.
    if (::read(fd_, &expirations, sizeof expirations) < 0 && errno == EAGAIN)
        return;
    if (!arm()) {
        notifier_.reset();
        ::close(fd_);
        fd_ = -1;
    }
    emit clockChanged();
}

#else

ClockWatch::ClockWatch(QObject* parent) : QObject(parent) {}
ClockWatch::~ClockWatch() = default;
bool ClockWatch::arm() { return false; }
void ClockWatch::readNotice() {}

#endif

}  // namespace renvo
