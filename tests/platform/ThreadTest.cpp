#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Thread.h"

namespace {

TEST(JoinableThread, RunsWorkAndJoins) {
    std::atomic<int> runs{0};
    auto thread = platform::JoinableThread::Start(std::nullopt, [&] { ++runs; });
    ASSERT_NE(thread, nullptr);
    thread->Join();
    EXPECT_EQ(runs.load(), 1);
}

TEST(JoinableThread, IdlePriorityPutsTheThreadInTheIdleClassAndNoneLeavesItAsCreated) {
    int idlePolicy = -1;
    int defaultPolicy = -1;
    platform::JoinableThread::Start(platform::ThreadPriority::Idle, [&] {
        idlePolicy = sched_getscheduler(0);
    })->Join();
    platform::JoinableThread::Start(std::nullopt, [&] { defaultPolicy = sched_getscheduler(0); })->Join();
    EXPECT_EQ(idlePolicy, SCHED_IDLE);
    EXPECT_EQ(defaultPolicy, sched_getscheduler(0));
}

TEST(JoinableThread, AnExceptionInTheWorkDoesNotEndTheProcess) {
    auto thread = platform::JoinableThread::Start(std::nullopt, [] { throw 42; });
    ASSERT_NE(thread, nullptr);
    thread->Join();
}

// Server threads run as batch work; a capture thread one of them starts takes the normal policy back
// with its priority, and keeps the batch policy only when it asks for none.
TEST(DetachedThread, RunsAsBatchWorkAndItsCaptureThreadTakesItsPriorityInTheNormalPolicy) {
    platform::AutoResetEvent done;
    int serverPolicy = -1;
    int normalPolicy = -1;
    int inheritedPolicy = -1;
    ASSERT_TRUE(platform::StartDetachedThread([&] {
        serverPolicy = sched_getscheduler(0);
        platform::JoinableThread::Start(platform::ThreadPriority::Normal, [&] {
            normalPolicy = sched_getscheduler(0);
        })->Join();
        platform::JoinableThread::Start(std::nullopt, [&] {
            inheritedPolicy = sched_getscheduler(0);
        })->Join();
        done.Set();
    }));
    ASSERT_TRUE(done.WaitFor(std::chrono::seconds(10)));
    EXPECT_EQ(serverPolicy, SCHED_BATCH);
    EXPECT_EQ(normalPolicy, SCHED_OTHER);
    EXPECT_EQ(inheritedPolicy, SCHED_BATCH);
}

TEST(AutoResetEvent, OneSetReleasesOneWaitAndResets) {
    platform::AutoResetEvent event;
    event.Set();
    EXPECT_TRUE(event.WaitFor(std::chrono::milliseconds(0)));
    EXPECT_FALSE(event.WaitFor(std::chrono::milliseconds(1)));
}

TEST(Clock, TickAdvancesWithSleepAndLocalTimeIsPlausible) {
    const std::uint32_t before = platform::TickCount();
    platform::SleepMilliseconds(20);
    EXPECT_GE(static_cast<std::uint32_t>(platform::TickCount() - before), 20u);
    const platform::LocalTime now = platform::CurrentLocalTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.dayOfWeek >= 0 && now.dayOfWeek <= 6);
}

// A signal that lands on a sleeping thread ends its sleep call early; the sleep must still last the whole
// time, or a click's pauses would come out short under a profiler's or a fuzzer's timer.
TEST(Clock, SleepLastsItsTimeThroughSignals) {
    struct sigaction handling {};
    handling.sa_handler = [](int) {};
    sigemptyset(&handling.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &handling, &previous), 0);
    const pthread_t sleeper = pthread_self();
    std::atomic<bool> asleep{true};
    std::thread interrupter([&] {
        while (asleep.load()) {
            pthread_kill(sleeper, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    platform::SleepMilliseconds(30);
    const auto slept = Clock::now() - start;
    asleep.store(false);
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_GE(slept, std::chrono::milliseconds(30));
}

}  // namespace
