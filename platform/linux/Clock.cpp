#include "platform/Clock.h"

#include <time.h>

#include <cerrno>

namespace platform {

std::uint32_t TickCount() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto milliseconds =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);  // wraps like the classic tick counter
}

LocalTime CurrentLocalTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // The C library converts under one process-wide lock, which every worker logging an answer would
    // queue on; within a second the parts stay the same, so each thread converts once a second.
    thread_local time_t convertedSecond = -1;
    thread_local tm parts{};
    if (now.tv_sec != convertedSecond) {
        localtime_r(&now.tv_sec, &parts);
        convertedSecond = now.tv_sec;
    }
    LocalTime time;
    time.year = parts.tm_year + 1900;
    time.month = parts.tm_mon + 1;
    time.dayOfWeek = parts.tm_wday;
    time.day = parts.tm_mday;
    time.hour = parts.tm_hour;
    time.minute = parts.tm_min;
    time.second = parts.tm_sec;
    time.milliseconds = static_cast<int>(now.tv_nsec / 1000000);
    return time;
}

void SleepMilliseconds(std::uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    // The whole time, also when a signal interrupts the sleep.
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

}  // namespace platform
