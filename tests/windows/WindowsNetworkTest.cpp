// What the Winsock backend does differently from Linux: the exclusive bind, waits that ShutdownSocket
// ends although shutdown() wakes nothing on Windows, accept surviving connections reset early, the end
// of a peer's input found without an end-of-input poll event, and sends that never block.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/LocalAddresses.h"
#include "platform/Network.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/RecordingServer.h"

namespace net = platform::net;

namespace {

constexpr auto kWakeBound = std::chrono::seconds(2);
const std::uint32_t kLoopback = htonl(INADDR_LOOPBACK);

struct Listener {
    net::SocketHandle handle = net::OpenTcpSocket();
    ~Listener() { net::CloseSocket(handle); }
};

// A socket of another program that asks for address reuse, as SO_REUSEADDR-style port thieves do.
bool ForeignBindWithReuse(std::uint16_t port) {
    const SOCKET other = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const BOOL reuse = TRUE;
    setsockopt(other, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = kLoopback;
    const bool bound = bind(other, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    closesocket(other);
    return bound;
}

// A listener on a free loopback port and the connections of clients accepted from it.
struct Loopback {
    Listener listener;
    int port = 0;

    Loopback() {
        if (net::BindSocket(listener.handle, {kLoopback, 0}) && net::ListenOnSocket(listener.handle, 5)) {
            sockaddr_in bound{};
            int length = sizeof bound;
            getsockname(static_cast<SOCKET>(listener.handle), reinterpret_cast<sockaddr*>(&bound), &length);
            port = ntohs(bound.sin_port);
        }
    }
    net::SocketHandle Accept() { return net::AcceptConnection(listener.handle, nullptr); }
};

// FindPeerClosed, asked again until it finds one or the wake bound has passed.
int FindPeerClosedWithin(const net::SocketHandle* sockets, int count) {
    const auto deadline = std::chrono::steady_clock::now() + kWakeBound;
    int found = -1;
    while ((found = net::FindPeerClosed(sockets, count)) < 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return found;
}

}  // namespace

TEST(WindowsNetwork, AListeningPortIsNeitherSharedNorTakenTwice) {
    const auto port = static_cast<std::uint16_t>(FreePort());
    Listener first;
    ASSERT_TRUE(net::BindSocket(first.handle, {kLoopback, port}));
    ASSERT_TRUE(net::ListenOnSocket(first.handle, 5));

    Listener second;
    EXPECT_FALSE(net::BindSocket(second.handle, {kLoopback, port})) << "a port in use is refused";
    EXPECT_FALSE(ForeignBindWithReuse(port)) << "address reuse elsewhere cannot steal the port";
}

TEST(WindowsNetwork, ShutdownEndsABlockedAcceptAndABlockedReceive) {
    Listener listener;
    ASSERT_TRUE(net::BindSocket(listener.handle, {kLoopback, 0}));
    ASSERT_TRUE(net::ListenOnSocket(listener.handle, 5));
    sockaddr_in bound{};
    int length = sizeof bound;
    getsockname(static_cast<SOCKET>(listener.handle), reinterpret_cast<sockaddr*>(&bound), &length);
    const int port = ntohs(bound.sin_port);

    auto accepting =
        std::async(std::launch::async, [&] { return net::AcceptConnection(listener.handle, nullptr); });
    LoopbackClient client(port);
    ASSERT_TRUE(client.Connected());
    const net::SocketHandle accepted = accepting.get();
    ASSERT_NE(accepted, net::kInvalidSocket);

    // Nothing arrives: the receive blocks until another thread shuts the connection down.
    auto receiving = std::async(std::launch::async, [&] {
        char buffer[16];
        return net::ReceiveSome(accepted, buffer, sizeof buffer);
    });
    EXPECT_EQ(receiving.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    net::ShutdownSocket(accepted);
    ASSERT_EQ(receiving.wait_for(kWakeBound), std::future_status::ready);
    EXPECT_EQ(receiving.get(), -1);
    net::CloseSocket(accepted);

    auto waiting =
        std::async(std::launch::async, [&] { return net::AcceptConnection(listener.handle, nullptr); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    net::ShutdownSocket(listener.handle);
    ASSERT_EQ(waiting.wait_for(kWakeBound), std::future_status::ready);
    EXPECT_EQ(waiting.get(), net::kInvalidSocket);
}

TEST(WindowsNetwork, PeekWithinTimesOutThenSeesTheBytesWithoutTakingThem) {
    Listener listener;
    ASSERT_TRUE(net::BindSocket(listener.handle, {kLoopback, 0}));
    ASSERT_TRUE(net::ListenOnSocket(listener.handle, 5));
    sockaddr_in bound{};
    int length = sizeof bound;
    getsockname(static_cast<SOCKET>(listener.handle), reinterpret_cast<sockaddr*>(&bound), &length);
    LoopbackClient client(ntohs(bound.sin_port));
    const net::SocketHandle accepted = net::AcceptConnection(listener.handle, nullptr);
    ASSERT_NE(accepted, net::kInvalidSocket);

    char buffer[8] = {};
    EXPECT_EQ(net::PeekSomeWithin(accepted, buffer, sizeof buffer, 100), net::kTimedOut);
    ASSERT_TRUE(client.Send("GET"));
    EXPECT_EQ(net::PeekSomeWithin(accepted, buffer, sizeof buffer, 2000), 3);
    EXPECT_EQ(net::ReceiveSome(accepted, buffer, sizeof buffer), 3) << "the peeked bytes are still there";
    EXPECT_EQ(std::string(buffer, 3), "GET");
    client.Close();
    EXPECT_EQ(net::ReceiveSome(accepted, buffer, sizeof buffer), 0) << "the peer's close reads as the end";
    net::CloseSocket(accepted);
}

TEST(WindowsNetwork, ServerSurvivesResetsAndStartsAgainOnItsPortAfterAStop) {
    RecordingServer server;
    const int port = server.StartOnFreePort();
    ASSERT_NE(port, 0);
    for (int i = 0; i < 20; ++i) {
        LoopbackClient client(port);
        ASSERT_TRUE(client.Connected()) << "client " << i;
        if (i % 2 == 0) {
            client.Send("GET /half");
        }
        client.Reset();
    }
    EXPECT_NE(Exchange(port, "GET /x HTTP/1.0\r\n\r\n").raw.find(" 404 "), std::string::npos);
    // Lingering connections of the old listener must not keep the port from the next start.
    ASSERT_TRUE(server.StopAndWait(std::chrono::seconds(10)));
    ASSERT_EQ(server.Start(port), StartResult::Started);
    EXPECT_NE(Exchange(port, "GET /x HTTP/1.0\r\n\r\n").raw.find(" 404 "), std::string::npos);
    EXPECT_TRUE(server.StopAndWait(std::chrono::seconds(10)));
}

// A request waiting unread is not the end of the input; a client's half-close is. Winsock reports no end of
// input behind unread bytes: such a peer is found once its bytes have been read.
TEST(WindowsNetwork, FindsThePeerThatClosedAndNotTheOneWithARequestWaiting) {
    Loopback loopback;
    ASSERT_NE(loopback.port, 0);
    LoopbackClient sending(loopback.port);
    const net::SocketHandle first = loopback.Accept();
    LoopbackClient closing(loopback.port);
    const net::SocketHandle second = loopback.Accept();
    ASSERT_NE(first, net::kInvalidSocket);
    ASSERT_NE(second, net::kInvalidSocket);
    const net::SocketHandle both[] = {first, second};

    ASSERT_TRUE(sending.Send("GET / HTTP/1.0\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(net::FindPeerClosed(both, 2), -1);
    ASSERT_TRUE(closing.Send("GET"));
    closing.CloseSending();
    char buffer[32];
    EXPECT_EQ(net::ReceiveSome(second, buffer, sizeof buffer), 3);
    EXPECT_EQ(FindPeerClosedWithin(both, 2), 1);
    EXPECT_EQ(net::ReceiveSome(first, buffer, sizeof buffer), 16) << "the waiting request was left in place";
    net::CloseSocket(first);
    net::CloseSocket(second);
}

// A head given up on: its blocked receive sees the end of the input, yet the answer still reaches the
// client, whole and closed in order although the client keeps sending.
TEST(WindowsNetwork, EndedReceivingWakesTheReaderAndTheAnswerStillArrives) {
    Loopback loopback;
    ASSERT_NE(loopback.port, 0);
    LoopbackClient client(loopback.port);
    const net::SocketHandle accepted = loopback.Accept();
    ASSERT_NE(accepted, net::kInvalidSocket);
    auto receiving = std::async(std::launch::async, [&] {
        char buffer[16];
        return net::ReceiveSome(accepted, buffer, sizeof buffer);
    });
    EXPECT_EQ(receiving.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    net::ShutdownReceiving(accepted);
    ASSERT_EQ(receiving.wait_for(kWakeBound), std::future_status::ready);
    EXPECT_EQ(receiving.get(), 0);

    const std::string answer = "HTTP/1.0 503 Service Unavailable\r\n\r\n";
    const net::ConstBuffer piece{answer.data(), answer.size()};
    EXPECT_EQ(net::SendSome(accepted, &piece, 1), static_cast<std::ptrdiff_t>(answer.size()));
    ASSERT_TRUE(client.Send("GET /late HTTP/1.0\r\n"));
    auto closing = std::async(std::launch::async, [&] { net::CloseSocketAfterAnswer(accepted, true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    client.Send("Host: x\r\n\r\n");  // still sending while the answer is on its way
    client.CloseSending();
    const LoopbackClient::Answer received = client.ReceiveUntilClosed(std::chrono::seconds(5));
    EXPECT_EQ(received.bytes, answer);
    EXPECT_EQ(received.end, LoopbackClient::End::Closed);
    EXPECT_EQ(closing.wait_for(kWakeBound), std::future_status::ready) << "the close waits only for the peer";
}

// A client that never reads but keeps sending: the send discards its input instead of waiting for ever on
// a full buffer, and fails once the peer has taken nothing for the stall limit.
TEST(WindowsNetwork, AStuckSendDiscardsInputAndFailsAfterTheStallLimit) {
    constexpr int kStallMilliseconds = 500;
    Loopback loopback;
    ASSERT_NE(loopback.port, 0);
    LoopbackClient client(loopback.port);
    const net::SocketHandle accepted = loopback.Accept();
    ASSERT_NE(accepted, net::kInvalidSocket);
    net::SetSendStallLimit(accepted, kStallMilliseconds);
    auto flooding = std::async(std::launch::async, [&] { return client.Send(std::string(2 << 20, 'x')); });

    const std::string block(256 * 1024, 'a');
    const net::ConstBuffer piece{block.data(), block.size()};
    net::SendProgress progress;
    const auto started = std::chrono::steady_clock::now();
    std::ptrdiff_t sent = 0;
    while ((sent = net::SendSome(accepted, &piece, 1, &progress)) > 0 &&
           std::chrono::steady_clock::now() - started < std::chrono::seconds(20)) {
    }
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(sent, -1);
    EXPECT_GE(took, std::chrono::milliseconds(kStallMilliseconds));
    EXPECT_LT(took, std::chrono::milliseconds(kStallMilliseconds) + std::chrono::seconds(3));
    EXPECT_GT(progress.discarded, 0u);
    EXPECT_EQ(net::SendSome(accepted, &piece, 1), -1)
        << "a stalled connection fails every later send at once";
    ASSERT_EQ(flooding.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "the client's sending was never stuck behind the server's full buffer";
    client.Close();
    net::CloseSocket(accepted);
}

// The addresses the headless host names as where it can be reached: each one is this machine's.
TEST(WindowsNetwork, LocalAddressesIncludeLoopbackAndCanEachBeListenedOn) {
    const std::vector<std::string> addresses = platform::LocalIpv4Addresses();
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
    for (const std::string& text : addresses) {
        in_addr parsed{};
        ASSERT_EQ(inet_pton(AF_INET, text.c_str(), &parsed), 1) << text;
        Listener listener;
        EXPECT_TRUE(net::BindSocket(listener.handle, {parsed.s_addr, 0})) << text;
    }
}

// The loopback address has a name everywhere; it is copied whole with its NUL or not at all.
TEST(WindowsNetwork, ReverseLookupNamesTheLoopbackAddressWholeOrNotAtAll) {
    char name[NI_MAXHOST] = "";
    ASSERT_TRUE(net::ReverseLookup(htonl(INADDR_LOOPBACK), name, sizeof name));
    const std::string found = name;
    ASSERT_FALSE(found.empty());
    char exact[NI_MAXHOST];
    EXPECT_TRUE(net::ReverseLookup(htonl(INADDR_LOOPBACK), exact, found.size() + 1));
    EXPECT_EQ(std::string(exact), found);
    EXPECT_FALSE(net::ReverseLookup(htonl(INADDR_LOOPBACK), exact, found.size()));
}
