#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RecordingServer.h"

namespace {

constexpr auto kGenerousWait = std::chrono::seconds(10);
const std::string kRequest = "GET /probe HTTP/1.1\r\n\r\n";

// RecordingServer with three more paths: /hold answers 404 in full and then keeps its worker (and so its
// slot) until Release; /linger answers 404 in full and keeps its worker for kLinger, as a worker does that
// still has work after its answer is out; /large answers 200 with kLargeLength bytes.
class HoldingServer final : public RecordingServer {
  public:
    static constexpr int kLargeLength = 8 * 1024 * 1024;
    static constexpr auto kLinger = std::chrono::milliseconds(20);

    ~HoldingServer() override {
        Release();
        Shutdown();
    }
    using HttpServer::SetHeadPatience;

    bool WaitForHeld(int count) {
        std::unique_lock guard(holdLock);
        return holdChanged.wait_for(guard, kGenerousWait, [&] { return held >= count; });
    }
    void Release() {
        std::lock_guard guard(holdLock);
        released = true;
        holdChanged.notify_all();
    }

  protected:
    int HookHandleRequest(const char* path, TcpSocket& connection) override {
        if (std::string(path) == "/large") {
            const std::string body(kLargeLength, 'b');
            WriteResponseHead(connection, 200, kLargeLength, "OK", "application/octet-stream", nullptr);
            connection.SendAll(body.data(), kLargeLength);
            return 1;
        }
        const int result = RecordingServer::HookHandleRequest(path, connection);
        if (std::string(path) == "/hold") {
            connection.SendAll(nullptr, 0);
            std::unique_lock guard(holdLock);
            ++held;
            holdChanged.notify_all();
            holdChanged.wait(guard, [&] { return released; });
        } else if (std::string(path) == "/linger") {
            connection.SendAll(nullptr, 0);
            std::this_thread::sleep_for(kLinger);
        }
        return result;
    }

  private:
    std::mutex holdLock;
    std::condition_variable holdChanged;
    int held = 0;           // guarded by holdLock
    bool released = false;  // guarded by holdLock
};

// A bare client socket for what LoopbackClient does not do: reading an exact count, sending while the
// answer arrives. Every call is bounded by the socket's time-outs.
class RawClient {
  public:
    explicit RawClient(int port) : descriptor(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const timeval limit{10, 0};
        setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { close(descriptor); }

    bool SendAll(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t count = send(descriptor, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count <= 0) {
                lastError = count < 0 ? errno : 0;
                return false;
            }
            sent += static_cast<std::size_t>(count);
        }
        return true;
    }
    // Reads until count bytes arrived or the connection ended; what arrived.
    std::string Receive(std::size_t count) {
        std::string bytes;
        char buffer[65536];
        while (bytes.size() < count) {
            const ssize_t received =
                recv(descriptor, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
            if (received <= 0) {
                lastError = received < 0 ? errno : 0;
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(received));
        }
        return bytes;
    }

    bool connected = false;
    int lastError = 0;

  private:
    int descriptor;
};

TEST(SlotReuse, ClientAnsweredInFullIsNotRefusedWhileItsWorkerStillHoldsTheSlot) {
    HoldingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    const std::string holdRequest = "GET /hold HTTP/1.1\r\n\r\n";
    for (int i = 0; i < kConnectionSlots; ++i) {
        RawClient client(server.Port());
        ASSERT_TRUE(client.connected);
        ASSERT_TRUE(client.SendAll(holdRequest));
        ASSERT_EQ(client.Receive(NotFoundAnswer().size()), NotFoundAnswer()) << "client " << i;
    }
    ASSERT_TRUE(server.WaitForHeld(kConnectionSlots)) << "every worker still holds its slot";

    // Every client has read its answer and closed, as a browser does before it reconnects.
    LoopbackClient next(server.Port());
    ASSERT_TRUE(next.Connected());
    ASSERT_TRUE(next.Send(kRequest));
    EXPECT_FALSE(next.WaitForClosedOrData(std::chrono::milliseconds(200))) << "not refused with the 503";
    server.Release();
    EXPECT_EQ(next.ReceiveUntilClosed().bytes, NotFoundAnswer());
    EXPECT_TRUE(server.StopAndWait(kGenerousWait));
}

TEST(SlotReuse, FiftyClientsReconnectingRightAfterTheirAnswersAreNeverRefused) {
    HoldingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    constexpr int kRounds = 10;
    const std::string lingerRequest = "GET /linger HTTP/1.1\r\n\r\n";
    std::atomic<int> answered{0};
    std::atomic<int> refused{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kConnectionSlots; ++i) {
        clients.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                // Each client takes its answer, closes and connects again at once, while the worker that
                // answered it still holds its slot.
                RawClient client(server.Port());
                if (!client.connected || !client.SendAll(lingerRequest)) {
                    continue;
                }
                const std::string answer = client.Receive(NotFoundAnswer().size());
                answered.fetch_add(answer == NotFoundAnswer() ? 1 : 0);
                refused.fetch_add(answer.starts_with("HTTP/1.1 503") ? 1 : 0);
            }
        });
    }
    for (auto& client : clients) {
        client.join();
    }
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(answered.load(), kConnectionSlots * kRounds);
    EXPECT_TRUE(server.StopAndWait(kGenerousWait));
}

TEST(SlotLockout, IdleClientsThatReconnectGiveWayToNewcomersOldestFirst) {
    HoldingServer server;
    constexpr auto kPatience = std::chrono::milliseconds(1000);
    server.SetHeadPatience(kPatience);
    ASSERT_NE(server.StartOnFreePort(), 0);
    std::vector<std::unique_ptr<LoopbackClient>> idle;
    for (int i = 0; i < kConnectionSlots; ++i) {
        idle.push_back(std::make_unique<LoopbackClient>(server.Port()));
        ASSERT_TRUE(idle.back()->Connected());
    }
    // Every slot is taken and no head is overdue yet: the newcomer is refused.
    EXPECT_EQ(Exchange(server.Port(), kRequest).raw, ServiceUnavailableAnswer());
    std::this_thread::sleep_for(kPatience);  // now every idle client's head is overdue

    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        EXPECT_EQ(Exchange(server.Port(), kRequest).raw, NotFoundAnswer()) << "round " << round;
        // The client that has waited longest was given up with the 400 and reconnects at once.
        EXPECT_EQ(idle[round]->ReceiveUntilClosed().bytes, BadRequestAnswer()) << "round " << round;
        idle[round] = std::make_unique<LoopbackClient>(server.Port());
        ASSERT_TRUE(idle[round]->Connected());
    }
    for (int i = kRounds; i < kConnectionSlots; ++i) {
        EXPECT_FALSE(idle[i]->WaitForClosedOrData(std::chrono::milliseconds(0))) << "client " << i;
    }
    EXPECT_TRUE(server.StopAndWait(kGenerousWait));
}

TEST(SlotRefusal, RefusedClientWhoseRequestArrivesLateIsNotReset) {
    HoldingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    std::vector<std::unique_ptr<LoopbackClient>> idle;
    for (int i = 0; i < kConnectionSlots; ++i) {
        idle.push_back(std::make_unique<LoopbackClient>(server.Port()));
        ASSERT_TRUE(idle.back()->Connected());
    }
    LoopbackClient late(server.Port());
    ASSERT_TRUE(late.Connected());
    const auto answer = late.ReceiveUntilClosed();
    EXPECT_EQ(answer.bytes, ServiceUnavailableAnswer());
    EXPECT_EQ(answer.end, LoopbackClient::End::Closed);
    // The request comes after the whole answer; the server must not answer it with a reset.
    // On loopback a reset would be back before the send returns, and the next send would fail.
    EXPECT_TRUE(late.Send(kRequest));
    EXPECT_TRUE(late.Send("X-After: 1\r\n\r\n"));
    EXPECT_EQ(late.PendingError(), 0);
    EXPECT_TRUE(server.StopAndWait(kGenerousWait));
}

TEST(SendWhileReceiving, ClientThatKeepsSendingGetsTheWholeLargeAnswer) {
    // Both directions carry more than both ends' buffers hold: the client's bytes go through only if the
    // server reads them while its answer waits for room.
    const std::string junk(16 * 1024 * 1024, 'j');
    HoldingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    RawClient client(server.Port());
    ASSERT_TRUE(client.connected);
    ASSERT_TRUE(client.SendAll("GET /large HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(client.SendAll(junk))
        << "the server took the client's bytes while its answer waited; error " << client.lastError;

    const std::string answer = client.Receive(static_cast<std::size_t>(HoldingServer::kLargeLength) + 4096);
    const std::string head =
        "HTTP/1.1 200 OK\r\nServer: ORV-HTTPD/0.1\r\nConnection: close\r\n"
        "Content-Length: 8388608\r\nContent-Type: application/octet-stream\r\n\r\n";
    ASSERT_GE(answer.size(), head.size());
    EXPECT_EQ(answer.substr(0, head.size()), head);
    EXPECT_EQ(answer.size() - head.size(), static_cast<std::size_t>(HoldingServer::kLargeLength));
    EXPECT_EQ(client.lastError, 0) << "the answer ends with an orderly close, not a reset";
}

}  // namespace
