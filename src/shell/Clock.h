#pragma once
// Where the scheduler reads the time: the wall clock in the program, a clock a test moves.

#include "platform/DateTime.h"

namespace renvo {

class Clock {
public:
    virtual ~Clock() = default;
    // Local date-time, as a double of days.
    virtual double now() const = 0;
};

class SystemClock : public Clock {
public:
    double now() const override { return nowDateTime(); }
};

}  // namespace renvo
