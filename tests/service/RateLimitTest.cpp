#include <gtest/gtest.h>

#include <cstdint>

#include "service/RateLimit.h"

namespace {

struct RateCase {
    const char* name;
    std::uint32_t startTick;
    std::uint32_t lastCaptureTick;
    std::uint32_t minRemakeSeconds;
    bool captures;
};

TEST(RateLimit, CapturesOnlyWhenTheIntervalHasStrictlyPassed) {
    const RateCase cases[] = {
        {"first request after start-up", 500000, 0, 3, true},
        {"machine up for less than the interval", 2000, 0, 3, false},
        {"zero interval, later tick", 1001, 1000, 0, true},
        {"zero interval, same tick", 1000, 1000, 0, false},
        {"exactly the interval", 13000, 10000, 3, false},
        {"one millisecond past the interval", 13001, 10000, 3, true},
        {"start tick before the last capture", 9999, 10000, 3, true},
        {"tick wrapped, interval passed", 3500, 0xFFFFFFFFu - 499, 3, true},
        {"tick wrapped, interval not passed", 2000, 0xFFFFFFFFu - 499, 3, false},
        {"tick wrapped, exactly the interval", 2999, 0xFFFFFFFFu - 0, 3, false},
        {"tick wrapped, one past", 3000, 0xFFFFFFFFu - 0, 3, true},
    };
    for (const RateCase& testCase : cases) {
        EXPECT_EQ(
            CaptureIntervalPassed(testCase.startTick, testCase.lastCaptureTick, testCase.minRemakeSeconds),
            testCase.captures)
            << testCase.name;
    }
}

}  // namespace
