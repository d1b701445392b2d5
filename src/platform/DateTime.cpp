#include "platform/DateTime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace renvo {

namespace {

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as a date-time

int64_t daysFromCivil(int y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

void civilFromDays(int64_t z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}


double dateTimeFromUnix(int64_t seconds, long nanoseconds)
{
    const time_t tt = static_cast<time_t>(seconds);
    struct tm tmv {};
    localtime_r(&tt, &tmv);
    const double local = static_cast<double>(seconds + tmv.tm_gmtoff) + nanoseconds / 1e9;
    return kUnixEpochDays + local / 86400.0;
}

double nowDateTime()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return dateTimeFromUnix(ts.tv_sec, ts.tv_nsec);
}

double encodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms)
{
    const double days = static_cast<double>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)));
    return kUnixEpochDays + days + (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
}

double fracOf(double value)
{
    return value - std::trunc(value);
}

std::string formatLogDateTime(double dt)
{
    // Whole milliseconds since day 0, so that 23:59:59.9996 does not print as 24:00:00.
    const int64_t totalMs = static_cast<int64_t>(std::llround(dt * 86400000.0));
    int64_t days = totalMs / 86400000;
    int64_t msOfDay = totalMs % 86400000;
    if (msOfDay < 0) {
        msOfDay += 86400000;
        --days;
    }
    int y;
    unsigned m, d;
    civilFromDays(days - static_cast<int64_t>(kUnixEpochDays), y, m, d);
    const int64_t secs = msOfDay / 1000;
    char buf[64];
    if (msOfDay == 0)
        std::snprintf(buf, sizeof buf, "%04d/%02u/%02u", y, m, d);
    else
        std::snprintf(buf, sizeof buf, "%04d/%02u/%02u %d:%02d:%02d", y, m, d, static_cast<int>(secs / 3600),
                      static_cast<int>((secs / 60) % 60), static_cast<int>(secs % 60));
    return buf;
}

}  // namespace renvo
