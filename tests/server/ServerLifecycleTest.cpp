#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/support/RecordingServer.h"

namespace {

constexpr auto kGenerousWait = std::chrono::seconds(10);
const std::string kRequest = "GET /probe HTTP/1.1\r\n\r\n";

// Waits until the condition holds, checking it again every few milliseconds, at most kGenerousWait.
template <typename Condition>
bool Eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + kGenerousWait;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Opens idle connections. They are accepted one after the other, so once a client that connected after
// them has been answered, all of them hold a slot.
std::vector<std::unique_ptr<LoopbackClient>> OpenIdleClients(RecordingServer& server, int count) {
    std::vector<std::unique_ptr<LoopbackClient>> clients;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<LoopbackClient>(server.Port()));
        EXPECT_TRUE(clients.back()->Connected());
    }
    return clients;
}

TEST(ServerStart, ReportsStartedAlreadyRunningAndFailed) {
    RecordingServer first;
    const int port = first.StartOnFreePort();
    ASSERT_NE(port, 0);
    EXPECT_TRUE(first.IsRunning());
    EXPECT_EQ(first.Start(port), StartResult::AlreadyRunning);
    EXPECT_EQ(first.Start(port + 1), StartResult::AlreadyRunning);

    RecordingServer second;
    EXPECT_EQ(second.Start(port), StartResult::Failed) << "the port is in use";
    EXPECT_FALSE(second.IsRunning());
    EXPECT_EQ(second.Start(port + 65536), StartResult::Failed) << "the low 16 bits name the same port";
    EXPECT_EQ(Exchange(port, kRequest).raw, NotFoundAnswer()) << "the first server still serves";
}

TEST(ServerStop, IdleClientsSeeTheConnectionClosedWithoutAnswer) {
    RecordingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    auto idle = OpenIdleClients(server, 3);
    ASSERT_EQ(Exchange(server.Port(), kRequest).raw, NotFoundAnswer());

    EXPECT_EQ(server.Stop(), 1);
    for (auto& client : idle) {
        const auto answer = client->ReceiveUntilClosed();
        EXPECT_EQ(answer.end, LoopbackClient::End::Closed);
        EXPECT_EQ(answer.bytes, "");
    }
    EXPECT_TRUE(server.StopAndWait(kGenerousWait));
    EXPECT_FALSE(server.IsRunning());
    EXPECT_FALSE(LoopbackClient::CanConnect(server.Port())) << "after Stop the port accepts nothing";
    // The workers still log the answer they could not deliver.
    const auto entries = server.Entries();
    ASSERT_EQ(entries.size(), 4u);
    for (std::size_t i = 1; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].status, 400);
        EXPECT_EQ(entries[i].requestText, "-");
    }
}

TEST(ServerStop, StartRightAfterStopServesTheSamePort) {
    RecordingServer server;
    const int port = server.StartOnFreePort();
    ASSERT_NE(port, 0);
    ASSERT_EQ(Exchange(port, kRequest).raw, NotFoundAnswer());
    server.Stop();
    ASSERT_TRUE(Eventually([&] { return !server.IsRunning(); }));
    EXPECT_EQ(server.Start(port), StartResult::Started) << "closed connections must not block the port";
    EXPECT_EQ(Exchange(port, kRequest).raw, NotFoundAnswer());
}

TEST(ServerSlots, FiftyIdleClientsThenTheNextGets503UntilOneLeaves) {
    RecordingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    auto idle = OpenIdleClients(server, kConnectionSlots);

    LoopbackClient refused(server.Port());
    ASSERT_TRUE(refused.Connected());
    refused.Send(kRequest);
    const auto answer = refused.ReceiveUntilClosed();
    EXPECT_EQ(answer.bytes, ServiceUnavailableAnswer());
    ASSERT_TRUE(server.WaitForEntries(1));
    const auto entries = server.Entries();
    EXPECT_EQ(entries[0].status, 503);
    EXPECT_EQ(entries[0].length, 97);
    EXPECT_EQ(entries[0].requestText, "-");

    idle[7]->Close();
    // The slot comes free once that worker has finished; until then a client may still be refused.
    std::string served;
    ASSERT_TRUE(Eventually([&] {
        served = Exchange(server.Port(), kRequest).raw;
        return served != ServiceUnavailableAnswer();
    }));
    EXPECT_EQ(served, NotFoundAnswer());
    EXPECT_TRUE(server.StopAndWait(kGenerousWait));
}

TEST(ServerAccept, ClientsThatResetDoNotEndTheAcceptLoop) {
    RecordingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    for (int i = 0; i < 20; ++i) {
        LoopbackClient client(server.Port());
        ASSERT_TRUE(client.Connected());
        if (i % 2 == 0) {
            client.Send("GET /half");
        }
        client.Reset();
    }
    EXPECT_EQ(Exchange(server.Port(), kRequest).raw, NotFoundAnswer());
    EXPECT_TRUE(server.IsRunning());
    ASSERT_TRUE(server.WaitForEntries(21));
    int notFound = 0;
    for (const auto& entry : server.Entries()) {
        notFound += entry.status == 404 ? 1 : 0;
    }
    EXPECT_EQ(notFound, 1);
}

TEST(ServerStop, HundredStopStartCyclesUnderLoad) {
    RecordingServer server;
    const int port = server.StartOnFreePort();
    ASSERT_NE(port, 0);
    std::atomic<bool> loading{true};
    std::atomic<int> answered{0};
    std::vector<std::thread> load;
    for (int i = 0; i < 4; ++i) {
        load.emplace_back([&] {
            while (loading.load()) {
                LoopbackClient client(port);
                if (!client.Connected()) {
                    std::this_thread::yield();
                    continue;
                }
                client.Send(kRequest);
                if (client.ReceiveUntilClosed().bytes == NotFoundAnswer()) {
                    answered.fetch_add(1);
                }
            }
        });
    }
    for (int cycle = 0; cycle < 100; ++cycle) {
        if (cycle != 0) {
            ASSERT_TRUE(Eventually([&] { return !server.IsRunning(); }));
            ASSERT_EQ(server.Start(port), StartResult::Started) << "cycle " << cycle;
        }
        EXPECT_EQ(Exchange(port, kRequest).raw, NotFoundAnswer()) << "cycle " << cycle;
        EXPECT_EQ(server.Stop(), 1);
    }
    loading.store(false);
    for (auto& thread : load) {
        thread.join();
    }
    EXPECT_TRUE(server.StopAndWait(kGenerousWait));
    EXPECT_GE(answered.load(), 1);
}

}  // namespace
