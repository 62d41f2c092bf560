#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/ServiceFixture.h"

namespace {

// Snapshot requests queued behind a long capture when the server stops: the one running ends, none of the
// queued ones starts another (on a large screen each would cost seconds of the stop's grace).
TEST(StopDuringCapture, QueuedRequestsStartNoCapture) {
    constexpr int kClients = 4;
    ServiceHarness<> harness;
    TempDir::WriteFile(harness.folder.File("screen.jpg"), "picture");
    RecordingStatusSink status;
    harness.service.SetStatusSink(&status);
    std::atomic<std::uint32_t> now{0};
    harness.service.SetTickSource([&] { return now += 1000; });
    harness.service.EditSettings([](Settings& settings) { settings.minRemake = 0; });

    std::mutex lock;
    std::condition_variable changed;
    bool captureRunning = false;  // guarded by lock
    bool releaseCapture = false;  // guarded by lock
    harness.service.writer = [&](const char*) {
        std::unique_lock guard(lock);
        captureRunning = true;
        changed.notify_all();
        changed.wait(guard, [&] { return releaseCapture; });
    };
    ASSERT_TRUE(harness.Start());

    std::vector<std::thread> clients;
    for (int client = 0; client < kClients; ++client) {
        clients.emplace_back([&] { Get(harness.port, "/screen"); });
    }
    {
        std::unique_lock guard(lock);
        changed.wait(guard, [&] { return captureRunning; });
    }
    // Every request has shown its client, the step just before it queues for the capture.
    const auto clientsShown = [&] {
        int shown = 0;
        for (const std::string& event : status.Events()) {
            shown += event.starts_with("client:") ? 1 : 0;
        }
        return shown;
    };
    while (clientsShown() < kClients) {
        std::this_thread::yield();
    }

    harness.service.Stop();
    {
        std::lock_guard guard(lock);
        releaseCapture = true;
    }
    changed.notify_all();
    for (std::thread& client : clients) {
        client.join();
    }
    ASSERT_TRUE(harness.service.StopAndWait(std::chrono::seconds(10)));
    EXPECT_EQ(harness.service.captures.load(), 1);
    EXPECT_EQ(harness.service.hitCount, static_cast<std::uint32_t>(kClients));
    harness.service.SetStatusSink(nullptr);
}

}  // namespace
