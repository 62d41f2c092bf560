#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/InputWatch.h"

namespace net = platform::net;
using Outcome = net::InputWatch::Outcome;

namespace {

// A connected pair of stream sockets: the watched end and the peer that writes to it.
struct SocketPair {
    SocketPair() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data()); }
    ~SocketPair() {
        for (int end : ends) {
            if (end >= 0) {
                close(end);
            }
        }
    }
    net::SocketHandle Watched() const { return ends[0]; }
    void PeerSends() const { ASSERT_EQ(write(ends[1], "x", 1), 1); }
    void PeerCloses() {
        close(ends[1]);
        ends[1] = -1;
    }
    std::array<int, 2> ends{-1, -1};
};

// Watches each pair's socket, with the tokens first, first + 1 and so on; false when one cannot be watched.
bool WatchEach(net::InputWatch& watch, const std::vector<SocketPair>& pairs, std::uint64_t first) {
    for (std::size_t index = 0; index < pairs.size(); ++index) {
        if (!watch.Watch(pairs[index].Watched(), first + index)) {
            return false;
        }
    }
    return true;
}

TEST(InputWatch, ReportsEachSocketOnceWhenItsInputOrItsEndArrives) {
    const auto watch = net::InputWatch::Open();
    ASSERT_NE(watch, nullptr);
    SocketPair talking;
    SocketPair leaving;
    ASSERT_TRUE(watch->Watch(talking.Watched(), 7));
    ASSERT_TRUE(watch->Watch(leaving.Watched(), 9));
    std::uint64_t token = 0;
    EXPECT_EQ(watch->Wait(&token, 50), Outcome::TimedOut) << "nothing has arrived yet";

    talking.PeerSends();
    ASSERT_EQ(watch->Wait(&token, 1000), Outcome::Ready);
    EXPECT_EQ(token, 7u);
    talking.PeerSends();
    EXPECT_EQ(watch->Wait(&token, 50), Outcome::TimedOut)
        << "a socket is reported once, however much arrives";

    leaving.PeerCloses();
    ASSERT_EQ(watch->Wait(&token, 1000), Outcome::Ready);
    EXPECT_EQ(token, 9u);
}

TEST(InputWatch, ManyWaitersShareTheSocketsAndEachTokenReachesOneOfThem) {
    const auto watch = net::InputWatch::Open();
    ASSERT_NE(watch, nullptr);
    constexpr int kSockets = 40;
    std::vector<SocketPair> pairs(kSockets);
    ASSERT_TRUE(WatchEach(*watch, pairs, 100));
    std::mutex lock;
    std::vector<std::uint64_t> received;
    std::vector<std::thread> waiters;
    for (int waiter = 0; waiter < 4; ++waiter) {
        waiters.emplace_back([&] {
            std::uint64_t token = 0;
            while (watch->Wait(&token, 300) == Outcome::Ready) {
                std::lock_guard guard(lock);
                received.push_back(token);
            }
        });
    }
    for (auto& pair : pairs) {
        pair.PeerSends();
    }
    for (auto& waiter : waiters) {
        waiter.join();
    }
    std::sort(received.begin(), received.end());
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kSockets));
    for (int index = 0; index < kSockets; ++index) {
        EXPECT_EQ(received[index], static_cast<std::uint64_t>(100 + index));
    }
}

// A worker that takes a socket may be away for long, serving a slow client; the sockets that become ready
// meanwhile must still reach the threads that wait, one at a time or several at once.
TEST(InputWatch, SocketsStillReachTheWaitersWhileTheThreadsThatTookOthersStayAway) {
    const auto watch = net::InputWatch::Open();
    ASSERT_NE(watch, nullptr);
    constexpr int kWaiters = 9;
    std::vector<SocketPair> pairs(kWaiters);
    ASSERT_TRUE(WatchEach(*watch, pairs, 0));
    std::mutex lock;
    std::condition_variable changed;
    int received = 0;
    bool released = false;
    std::vector<std::thread> waiters;
    for (int waiter = 0; waiter < kWaiters; ++waiter) {
        waiters.emplace_back([&] {
            std::uint64_t token = 0;
            const Outcome outcome = watch->Wait(&token, 10000);
            std::unique_lock guard(lock);
            received += outcome == Outcome::Ready ? 1 : 0;
            changed.notify_all();
            changed.wait(guard, [&] { return released; });
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (int sent = 0, burst = 1; sent < kWaiters; burst = burst % 3 + 1) {  // one, two, three at once
        for (int index = sent; index < std::min(sent + burst, kWaiters); ++index) {
            pairs[index].PeerSends();
        }
        sent = std::min(sent + burst, kWaiters);
        std::unique_lock guard(lock);
        EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(2), [&] { return received == sent; }))
            << received << " of the first " << sent << " sockets reached a waiter";
    }
    {
        std::lock_guard guard(lock);
        released = true;
        changed.notify_all();
    }
    for (auto& waiter : waiters) {
        waiter.join();
    }
}

TEST(InputWatch, InterruptionReleasesEveryWaiterUntilItIsCleared) {
    const auto watch = net::InputWatch::Open();
    ASSERT_NE(watch, nullptr);
    std::vector<std::future<Outcome>> waits;
    for (int waiter = 0; waiter < 3; ++waiter) {
        waits.push_back(std::async(std::launch::async, [&] {
            std::uint64_t token = 0;
            return watch->Wait(&token, 10000);
        }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    watch->SetInterrupted(true);
    for (auto& wait : waits) {
        ASSERT_EQ(wait.wait_for(std::chrono::seconds(2)), std::future_status::ready);
        EXPECT_EQ(wait.get(), Outcome::Interrupted);
    }
    std::uint64_t token = 0;
    EXPECT_EQ(watch->Wait(&token, 10000), Outcome::Interrupted) << "a later wait returns at once";

    watch->SetInterrupted(false);
    EXPECT_EQ(watch->Wait(&token, 50), Outcome::TimedOut);
}

}  // namespace
