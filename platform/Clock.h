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

}  // namespace platform
