#pragma once

// Time. All calls are thread-safe.

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start (the system's uptime), unsigned 32-bit: it wraps after about
// 49.7 days, so intervals are computed as unsigned differences.
std::uint32_t TickCount();

struct LocalTime {
    int year = 0;
    int month = 0;      // 1..12
    int dayOfWeek = 0;  // 0 = Sunday
    int day = 0;        // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};
LocalTime CurrentLocalTime();

void SleepMilliseconds(std::uint32_t milliseconds);

// Gives the processor up for about the given time, for a thread that would otherwise take it from threads
// with more useful work. Where the system cannot sleep that briefly (Windows: a millisecond at least), it
// only hands the processor on to a thread that is ready to run.
void PauseMicroseconds(std::uint32_t microseconds);

}  // namespace platform
