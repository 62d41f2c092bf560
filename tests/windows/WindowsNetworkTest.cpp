// What the Winsock backend does differently from Linux: the exclusive bind, waits that ShutdownSocket
// ends although shutdown() wakes nothing on Windows, and accept surviving connections reset early.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/Network.h"
#include "tests/server/RecordingServer.h"
#include "tests/support/LoopbackClient.h"

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

}  // namespace

TEST(WindowsNetwork, AListeningPortIsNeitherSharedNorTakenTwice) {
    const auto port = static_cast<std::uint16_t>(LoopbackClient::FreePort());
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

    auto accepting = std::async(std::launch::async, [&] { return net::AcceptConnection(listener.handle, nullptr); });
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

    auto waiting = std::async(std::launch::async, [&] { return net::AcceptConnection(listener.handle, nullptr); });
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
    EXPECT_NE(LoopbackClient::Exchange(port, "GET /x HTTP/1.0\r\n\r\n").find(" 404 "), std::string::npos);
    // Lingering connections of the old listener must not keep the port from the next start.
    ASSERT_TRUE(server.StopAndWait(std::chrono::seconds(10)));
    ASSERT_EQ(server.Start(port), StartResult::Started);
    EXPECT_NE(LoopbackClient::Exchange(port, "GET /x HTTP/1.0\r\n\r\n").find(" 404 "), std::string::npos);
    EXPECT_TRUE(server.StopAndWait(std::chrono::seconds(10)));
}
