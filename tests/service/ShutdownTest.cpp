#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "service/Shutdown.h"
#include "tests/support/ServiceFixture.h"

namespace {

// A request that never finishes: the service's capture waits for ever.
void ShutDownWithAStuckRequest(std::chrono::milliseconds grace) {
    ServiceHarness<> harness;
    std::promise<void> started;
    std::promise<void> never;
    std::shared_future<void> forever = never.get_future().share();
    harness.service.writer = [&](const char*) {
        started.set_value();
        forever.wait();
    };
    if (!harness.Start()) {
        std::_Exit(2);
    }
    std::thread([port = harness.port] { Get(port, "/screen"); }).detach();
    started.get_future().wait();
    ShutDownWithin(harness.service, grace, "qvtest");
    std::_Exit(3);  // not reached when the process ended as it should
}

TEST(ShutDownWithinDeathTest, EndsTheProcessWithOneLineWhenARequestOutlastsTheGrace) {
    // The child starts the program anew rather than forking a process that may already run threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ShutDownWithAStuckRequest(std::chrono::milliseconds(200)), testing::ExitedWithCode(1),
                "^qvtest: requests still running after 200 ms; ending them\n$");
}

TEST(ShutDownWithin, ReturnsWhenTheServiceStopsInTime) {
    ServiceHarness<> harness;
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(Get(harness.port, "/").status, 200);
    ShutDownWithin(harness.service, std::chrono::seconds(10), "qvtest");
    EXPECT_FALSE(LoopbackClient::CanConnect(harness.port));
}

}  // namespace
