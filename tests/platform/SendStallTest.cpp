#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/Network.h"
#include "tests/support/TempDir.h"

namespace net = platform::net;

namespace {

std::uint16_t BoundPort(net::SocketHandle socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A listener on a free loopback port and one connection accepted from it. The client end reads only what
// a test reads from it; a small receive buffer makes one that never reads fill up soon.
struct AcceptedPair {
    explicit AcceptedPair(int clientReceiveBuffer = 0) : client(socket(AF_INET, SOCK_STREAM, 0)) {
        net::BindSocket(listener, net::Ipv4Endpoint{htonl(INADDR_LOOPBACK), 0});
        net::ListenOnSocket(listener, 5);
        if (clientReceiveBuffer > 0) {
            setsockopt(client, SOL_SOCKET, SO_RCVBUF, &clientReceiveBuffer, sizeof clientReceiveBuffer);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(BoundPort(listener));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            connection = net::AcceptConnection(listener, nullptr);
        }
    }
    ~AcceptedPair() {
        if (client >= 0) {
            close(client);
        }
        net::CloseSocket(connection);
        net::CloseSocket(listener);
    }
    net::SocketHandle listener = net::OpenTcpSocket();
    net::SocketHandle connection = net::kInvalidSocket;
    int client;
};

TEST(SendStall, PeerThatNeverReadsFailsTheSendAndEveryLaterSendFailsAtOnce) {
    AcceptedPair pair(4096);
    const net::SocketHandle connection = pair.connection;
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
}

// A file goes out from where its reading stands to its end, byte for byte, to a reader slower than the
// sender, and a receive on the connection afterwards still waits for input, as on every socket of the
// engine.
TEST(SendFileRest, SendsTheRestOfTheFileWholeToASlowReader) {
    TempDir folder;
    std::string contents(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t index = 0; index < contents.size(); ++index) {
        contents[index] = static_cast<char>(index * 7 + index / 4096);
    }
    TempDir::WriteFile(folder.File("picture.jpg"), contents);
    const auto file = platform::files::InputFile::Open(folder.File("picture.jpg").c_str());
    ASSERT_NE(file, nullptr);
    char skipped[100];
    ASSERT_EQ(file->Read(skipped, sizeof skipped), sizeof skipped);

    AcceptedPair pair;
    ASSERT_NE(pair.connection, net::kInvalidSocket);
    std::string received;
    std::thread reader([&] {
        char block[16 * 1024];
        ssize_t count;
        while ((count = recv(pair.client, block, sizeof block, 0)) > 0) {
            received.append(block, static_cast<std::size_t>(count));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    EXPECT_TRUE(net::SendFileRest(pair.connection, *file, contents.size() - sizeof skipped));
    net::ShutdownSending(pair.connection);
    reader.join();
    ASSERT_EQ(received.size(), contents.size() - sizeof skipped);
    EXPECT_TRUE(received == contents.substr(sizeof skipped)) << "the bytes differ";

    std::thread lateSender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        send(pair.client, "z", 1, MSG_NOSIGNAL);
    });
    char byte = 0;
    EXPECT_EQ(net::ReceiveSome(pair.connection, &byte, 1), 1) << "the receive waited for the byte";
    EXPECT_EQ(byte, 'z');
    lateSender.join();
}

// The body is what the answer announced: a file that grew after it was opened sends no more than that,
// and one that is shorter than announced fails the send after what it holds.
TEST(SendFileRest, SendsNoMoreThanAnnouncedAndFailsWhenTheFileIsShorter) {
    TempDir folder;
    const std::string path = folder.File("page.html");
    TempDir::WriteFile(path, std::string(5000, 'a'));
    const auto file = platform::files::InputFile::Open(path.c_str());
    ASSERT_NE(file, nullptr);
    const std::uint64_t announced = file->Size();
    TempDir::WriteFile(path, std::string(5000, 'a') + std::string(3000, 'b'));

    const auto receiveAll = [](AcceptedPair& pair) {
        net::ShutdownSending(pair.connection);
        std::string received;
        char block[4096];
        ssize_t count;
        while ((count = recv(pair.client, block, sizeof block, 0)) > 0) {
            received.append(block, static_cast<std::size_t>(count));
        }
        return received;
    };
    AcceptedPair grown;
    ASSERT_NE(grown.connection, net::kInvalidSocket);
    EXPECT_TRUE(net::SendFileRest(grown.connection, *file, announced));
    EXPECT_EQ(receiveAll(grown), std::string(5000, 'a'));

    AcceptedPair shorter;
    ASSERT_NE(shorter.connection, net::kInvalidSocket);
    const auto again = platform::files::InputFile::Open(path.c_str());
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(net::SendFileRest(shorter.connection, *again, 10000));
    EXPECT_EQ(receiveAll(shorter).size(), 8000u);
}

// A peer that reset the connection, a connection shut down (as Stop does) and a peer that never reads
// fail the send; none ends the process with a signal, and the stalled one is cut off at its limit.
TEST(SendFileRest, APeerThatHasGoneOrNeverReadsFailsTheSendWithoutASignal) {
    TempDir folder;
    TempDir::WriteFile(folder.File("picture.jpg"), std::string(8 * 1024 * 1024, 'x'));
    const auto sendsFile = [&](AcceptedPair& pair) {
        EXPECT_NE(pair.connection, net::kInvalidSocket) << "no connection to send on";
        const auto file = platform::files::InputFile::Open(folder.File("picture.jpg").c_str());
        return file != nullptr && net::SendFileRest(pair.connection, *file, file->Size());
    };

    AcceptedPair gone;
    const linger reset{1, 0};
    setsockopt(gone.client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(gone.client);
    gone.client = -1;
    EXPECT_FALSE(sendsFile(gone));

    AcceptedPair stopped;
    net::ShutdownSocket(stopped.connection);
    EXPECT_FALSE(sendsFile(stopped));

    AcceptedPair silent(4096);
    net::SetSendStallLimit(silent.connection, 200);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sendsFile(silent));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
