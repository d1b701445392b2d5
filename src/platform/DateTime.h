#pragma once
// Date-times as doubles of days, day 0 being 30 December 1899 (the OLE automation date);
// the fraction is the time of day. A span of time is a fraction of a day.

#include <cstdint>
#include <string>

namespace renvo {

// Civil date (proleptic Gregorian) of a count of days since 1970-01-01.
void civilFromDays(int64_t days, int& year, unsigned& month, unsigned& day);

// Local wall-clock time now.
double nowDateTime();
// Local date-time of a Unix time.
double dateTimeFromUnix(int64_t seconds, long nanoseconds = 0);
double encodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms = 0);
// Fractional part (used for spans shorter than a day).
double fracOf(double value);

// The log's form: "2026/01/05 9:05:07"; only the date when the time is exactly midnight.
std::string formatLogDateTime(double dt);

}  // namespace renvo
