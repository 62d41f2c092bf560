#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "platform/Network.h"

namespace net = platform::net;

namespace {

// A client that connects and then never reads a byte of what it is sent.
class NonReadingClient {
  public:
    explicit NonReadingClient(std::uint16_t port) : fd(socket(AF_INET, SOCK_STREAM, 0)) {
        const int small = 4096;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NonReadingClient() { close(fd); }
    bool connected = false;

  private:
    int fd;
};

std::uint16_t BoundPort(net::SocketHandle socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

TEST(SendStall, PeerThatNeverReadsFailsTheSendAndEveryLaterSendFailsAtOnce) {
    const net::SocketHandle listener = net::OpenTcpSocket();
    ASSERT_NE(listener, net::kInvalidSocket);
    ASSERT_TRUE(net::BindSocket(listener, net::Ipv4Endpoint{htonl(INADDR_LOOPBACK), 0}));
    ASSERT_TRUE(net::ListenOnSocket(listener, 5));
    NonReadingClient client(BoundPort(listener));
    ASSERT_TRUE(client.connected);
    const net::SocketHandle connection = net::AcceptConnection(listener, nullptr);
    ASSERT_NE(connection, net::kInvalidSocket);

    timeval inherited{};
    socklen_t length = sizeof inherited;
    getsockopt(static_cast<int>(connection), SOL_SOCKET, SO_SNDTIMEO, &inherited, &length);
    EXPECT_EQ(inherited.tv_sec * 1000 + inherited.tv_usec / 1000, net::kSendStallMilliseconds)
        << "accepted connections carry the listener's stall limit";

    net::SetSendStallLimit(connection, 200);
    const std::vector<char> block(64 * 1024, 'x');
    const net::ConstBuffer piece{block.data(), block.size()};
    const auto start = std::chrono::steady_clock::now();
    std::ptrdiff_t sent = 0;
    int sends = 0;
    while (sent >= 0 && sends < 10000) {
        sent = net::SendSome(connection, &piece, 1);
        ++sends;
    }
    EXPECT_EQ(sent, -1) << "the buffers filled up and the send stalled";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

    const auto afterStall = std::chrono::steady_clock::now();
    EXPECT_EQ(net::SendSome(connection, &piece, 1), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - afterStall, std::chrono::milliseconds(150))
        << "a stalled connection is shut down, so the next send does not wait again";

    net::CloseSocket(connection);
    net::CloseSocket(listener);
}

}  // namespace
