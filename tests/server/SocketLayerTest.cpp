#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "server/TcpSocket.h"
#include "server/WinsockSession.h"
#include "tests/server/AcceptedPair.h"

namespace {

TEST(WinsockSession, StartsVersionOneOneAndCleansUpOnce) {
    WinsockSession session;
    EXPECT_EQ(session.started, 0);
    EXPECT_EQ(session.Startup(1, 1), 1);
    EXPECT_EQ(session.requestedVersion, 0x0101);
    EXPECT_EQ(session.started, 1);
    EXPECT_EQ(session.Startup(1, 1), 1) << "a second start-up cleans up and starts again";
    EXPECT_EQ(session.Cleanup(), 1);
    EXPECT_EQ(session.started, 0);
    EXPECT_EQ(session.Cleanup(), 1);
    EXPECT_EQ(session.started, 0);
}

TEST(WinsockSession, RefusesVersionsItCannotGrantExactly) {
    WinsockSession session;
    EXPECT_EQ(session.Startup(0, 9), 0);
    EXPECT_EQ(session.Startup(3, 0), 0);
    EXPECT_EQ(session.requestedVersion, 0x0003);
    EXPECT_EQ(session.started, 0);
}

TEST(TcpSocket, ReceiveSomeReportsWhatArrivedBeforeTheClose) {
    AcceptedPair pair;
    ASSERT_TRUE(pair.accepted);
    ASSERT_TRUE(pair.client->Send("abcd"));
    pair.client->CloseSending();
    char buffer[10] = {};
    std::uint32_t count = 99;
    EXPECT_EQ(pair.server.ReceiveSome(buffer, sizeof buffer, &count), 1);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    count = 99;
    EXPECT_EQ(pair.server.ReceiveSome(buffer, 1, &count), 0);
    EXPECT_EQ(count, 99u) << "a failed receive leaves the count alone";
}

TEST(TcpSocket, PeekLeavesBytesForTheNextReceive) {
    AcceptedPair pair;
    ASSERT_TRUE(pair.accepted);
    ASSERT_TRUE(pair.client->Send("GET /"));
    char peeked[16] = {};
    std::uint32_t count = 0;
    ASSERT_EQ(pair.server.PeekSome(peeked, sizeof peeked, &count, std::chrono::seconds(10)), 1);
    char received[16] = {};
    std::uint32_t receivedCount = 0;
    ASSERT_EQ(pair.server.ReceiveSome(received, count, &receivedCount), 1);
    EXPECT_EQ(std::string(received, receivedCount), std::string(peeked, count));
    EXPECT_EQ(pair.server.PeekSome(peeked, sizeof peeked, &count, std::chrono::milliseconds(50)), 0)
        << "nothing more arrives: the wait times out";
}

TEST(TcpSocket, SendTextIsGatheredUntilSendAllAndClose) {
    AcceptedPair pair;
    ASSERT_TRUE(pair.accepted);
    EXPECT_EQ(pair.server.SendText("line one\r\n"), 1);
    EXPECT_EQ(pair.server.SendAll("", 0), 1);
    EXPECT_EQ(pair.server.SendText(std::string(3000, 'x').c_str()), 1) << "longer than the gathering buffer";
    EXPECT_EQ(pair.server.SendText("tail"), 1);
    EXPECT_EQ(pair.server.SendAll("body", 4), 1);
    EXPECT_EQ(pair.server.SendText("after"), 1);
    pair.server.Close();
    EXPECT_EQ(pair.server.handle, platform::net::kInvalidSocket);
    const auto answer = pair.client->ReceiveUntilClosed();
    EXPECT_EQ(answer.end, LoopbackClient::End::Closed);
    EXPECT_EQ(answer.bytes, "line one\r\n" + std::string(3000, 'x') + "tailbodyafter");
}

TEST(TcpSocket, SendingToAPeerThatHasGoneFailsWithoutKillingTheProcess) {
    AcceptedPair pair;
    ASSERT_TRUE(pair.accepted);
    pair.client->Close();
    const std::string block(64 * 1024, 'x');
    int result = 1;
    for (int attempt = 0; attempt < 100 && result == 1; ++attempt) {
        result = pair.server.SendAll(block.data(), static_cast<int>(block.size()));
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(pair.server.SendText("still here"), 1);
}

TEST(TcpSocket, AcceptedConnectionIsDottedLoopbackAndSendsWithoutDelay) {
    AcceptedPair pair;
    ASSERT_TRUE(pair.accepted);
    char address[16];
    EXPECT_STREQ(pair.server.PeerAddressText(address), "127.0.0.1");
    int noDelay = 0;
    socklen_t length = sizeof noDelay;
    ASSERT_EQ(getsockopt(static_cast<int>(pair.server.handle), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length),
              0);
    EXPECT_NE(noDelay, 0) << "a head and its body must not wait for the peer's acknowledgement";
}

TEST(TcpSocket, PeerHostNameIsBoundedByTheCapacity) {
    AcceptedPair pair;
    ASSERT_TRUE(pair.accepted);
    char name[1024] = {};
    if (pair.server.PeerHostName(name, sizeof name) == nullptr) {
        GTEST_SKIP() << "127.0.0.1 has no reverse name here";
    }
    const std::size_t length = std::strlen(name);
    char exact[1024];
    std::memset(exact, '#', sizeof exact);
    EXPECT_EQ(pair.server.PeerHostName(exact, length + 1), exact);
    EXPECT_STREQ(exact, name);
    std::memset(exact, '#', sizeof exact);
    EXPECT_EQ(pair.server.PeerHostName(exact, length), nullptr);
    EXPECT_EQ(exact[0], '#') << "a refused name leaves the buffer untouched";
}

// The accept loop looks for the next client for a little while and then sleeps until one arrives: a client
// that comes at once and one that comes while it sleeps are both taken, a wait with a time limit ends
// without one, and a shutdown ends the wait, early or late.
TEST(TcpSocket, AcceptTakesClientsSoonOrLateAndEndsOnItsTimeLimitOrAShutdown) {
    using namespace std::chrono_literals;
    AcceptedPair pair;
    ASSERT_TRUE(pair.accepted);
    TcpSocket none;
    EXPECT_EQ(pair.listener.Accept(none, 0ms), -1);
    EXPECT_EQ(pair.listener.Accept(none, 20ms), -1);
    for (const auto delay : {0ms, 60ms}) {
        auto arriving = std::async(std::launch::async, [&pair, delay] {
            std::this_thread::sleep_for(delay);
            return std::make_unique<LoopbackClient>(pair.port);
        });
        TcpSocket next;
        EXPECT_EQ(pair.listener.Accept(next, 10s), 1) << "client after " << delay.count() << " ms";
        EXPECT_TRUE(arriving.get()->Connected());
        next.Close();
    }
    for (const auto delay : {0ms, 60ms}) {
        AcceptedPair stopped;
        ASSERT_TRUE(stopped.accepted);
        auto stopping = std::async(std::launch::async, [&stopped, delay] {
            std::this_thread::sleep_for(delay);
            stopped.listener.Shutdown();
        });
        EXPECT_EQ(stopped.listener.Accept(none), 0) << "shutdown after " << delay.count() << " ms";
        stopping.get();
    }
}

}  // namespace
