#pragma once

#include <cstdint>

// Whether a snapshot request that started at startTick may capture again: the time since the last
// capture must be strictly greater than minRemakeSeconds. Millisecond ticks wrap after about 49.7 days,
// so the difference and the interval are taken in unsigned 32-bit arithmetic; a start tick earlier than
// the last capture therefore reads as a very long time and captures.
constexpr bool CaptureIntervalPassed(std::uint32_t startTick, std::uint32_t lastCaptureTick,
                                     std::uint32_t minRemakeSeconds) {
    const std::uint32_t elapsed = startTick - lastCaptureTick;
    const std::uint32_t interval = minRemakeSeconds * 1000u;
    return elapsed > interval;
}
