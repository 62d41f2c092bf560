#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "tests/support/ServiceFixture.h"

namespace {

struct RateStep {
    const char* name;
    std::uint32_t startTick;
    bool captures;
    std::uint32_t lastCaptureTickAfter;
};

std::uint32_t LastCaptureTick(CaptureService& service) {
    std::lock_guard guard(service.captureLock);
    return service.lastCaptureTick;
}

TEST(SnapshotRate, CapturesWhenTheRequestsTickIsPastTheInterval) {
    ServiceHarness<> harness;
    TempDir::WriteFile(harness.folder.File("screen.jpg"), "picture");
    std::atomic<std::uint32_t> now{0};
    harness.service.SetTickSource([&] { return now.load(); });
    harness.service.EditSettings([&](Settings& settings) { settings.minRemake = 3; });
    ASSERT_TRUE(harness.Start());

    const RateStep steps[] = {
        {"machine up for less than the interval", 3000, false, 0},
        {"first request past the interval", 3001, true, 3001},
        {"exactly 3000 ms later", 6001, false, 3001},
        {"3001 ms later", 6002, true, 6002},
        {"a start tick before the last capture", 6001, true, 6001},
        {"just before the tick wraps", 0xFFFFFF00u, true, 0xFFFFFF00u},
        {"512 ms later, across the wrap", 0x00000100u, false, 0xFFFFFF00u},
        {"3328 ms later, across the wrap", 0x00000C00u, true, 0x00000C00u},
    };
    int expectedCaptures = 0;
    std::uint32_t expectedHits = 0;
    for (const RateStep& step : steps) {
        now = step.startTick;
        EXPECT_EQ(Get(harness.port, "/screen").body, "picture") << step.name;
        expectedCaptures += step.captures ? 1 : 0;
        ++expectedHits;
        EXPECT_EQ(harness.service.captures.load(), expectedCaptures) << step.name;
        EXPECT_EQ(LastCaptureTick(harness.service), step.lastCaptureTickAfter) << step.name;
    }
    EXPECT_EQ(harness.service.hitCount, expectedHits);
    // Pages count no hits and never capture.
    now = 0x10000000u;
    EXPECT_EQ(Get(harness.port, "/").status, 200);
    EXPECT_EQ(harness.service.hitCount, expectedHits);
    EXPECT_EQ(harness.service.captures.load(), expectedCaptures);
}

TEST(SnapshotRate, KeepsTheCounterAndTheLastCaptureAcrossStopAndStart) {
    ServiceHarness<> harness;
    TempDir::WriteFile(harness.folder.File("screen.jpg"), "picture");
    std::atomic<std::uint32_t> now{50000};
    harness.service.SetTickSource([&] { return now.load(); });
    harness.service.EditSettings([&](Settings& settings) { settings.minRemake = 3; });
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(Get(harness.port, "/screen").status, 200);
    harness.service.StopAndWait(std::chrono::seconds(5));

    ASSERT_TRUE(harness.Start());
    now = 52000;
    EXPECT_EQ(Get(harness.port, "/screen/").status, 200);
    EXPECT_EQ(harness.service.captures.load(), 1);
    EXPECT_EQ(harness.service.hitCount, 2u);
}

TEST(SnapshotRate, ZeroIntervalCapturesUnlessTheTickIsTheSame) {
    ServiceHarness<> harness;
    TempDir::WriteFile(harness.folder.File("screen.jpg"), "picture");
    std::atomic<std::uint32_t> now{7};
    harness.service.SetTickSource([&] { return now.load(); });
    ASSERT_TRUE(harness.Start());
    Get(harness.port, "/screen");
    Get(harness.port, "/screen");
    now = 8;
    Get(harness.port, "/screen");
    EXPECT_EQ(harness.service.captures.load(), 2);
}

}  // namespace
