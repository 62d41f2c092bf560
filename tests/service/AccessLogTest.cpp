#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Network.h"
#include "tests/support/LogLine.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/ServiceFixture.h"

namespace {

class AccessLog : public testing::Test {
  protected:
    void SetUp() override {
        harness.service.EditSettings([&](Settings& settings) { settings.minRemake = 1000000; });
    }
    ServiceHarness<> harness;
};

TEST_F(AccessLog, WritesOneLinePerResponseWithStatusLengthAndClient) {
    ASSERT_TRUE(harness.Start());
    Get(harness.port, "/click?12,34");
    Get(harness.port, "/nothing");
    Get(harness.port, "/screen");  // no picture: 500
    Exchange(harness.port, "POST / HTTP/1.0\r\n\r\n");
    Exchange(harness.port, "GET /a\nb\x01\x7f HTTP/1.0\r\n\r\n");
    harness.service.StopAndWait(std::chrono::seconds(5));

    const std::vector<LogLine> lines = ParseLog(harness.LogText());
    ASSERT_EQ(lines.size(), 5u) << harness.LogText();
    const struct {
        const char* request;
        const char* status;
        const char* length;
    } expected[] = {{"/click?12,34", "200", "180"},
                    {"/nothing", "404", "99"},
                    {"/screen", "500", "106"},
                    {"-", "400", "89"},
                    {"/a%0Ab%01%7F", "404", "99"}};
    for (std::size_t index = 0; index < lines.size(); ++index) {
        EXPECT_EQ(lines[index].request, expected[index].request);
        EXPECT_EQ(lines[index].status, expected[index].status);
        EXPECT_EQ(lines[index].length, expected[index].length);
        EXPECT_EQ(lines[index].host, "-");
        EXPECT_EQ(lines[index].address, "127.0.0.1");
    }
}

TEST_F(AccessLog, LogsTheFullTableAnswerWithoutRequestText) {
    // The 503 is logged on the accept thread, which never waits for the name service: address alone.
    harness.service.EditSettings([&](Settings& settings) { settings.resolveHostname = true; });
    ASSERT_TRUE(harness.Start());
    // One at a time, each accepted before the next, so that the server's short accept queue never
    // overflows and the connections take their slots in the order they were made.
    std::vector<std::unique_ptr<LoopbackClient>> idle;
    for (int slot = 0; slot < 50; ++slot) {
        idle.push_back(std::make_unique<LoopbackClient>(harness.port));
        ASSERT_TRUE(idle.back()->Connected());
        ASSERT_TRUE(WaitUntilAccepted(harness.port));
    }
    const HttpAnswer refused = Get(harness.port, "/");
    EXPECT_EQ(refused.status, 503);
    idle.clear();
    harness.service.StopAndWait(std::chrono::seconds(5));

    const std::vector<LogLine> lines = ParseLog(harness.LogText());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().request, "-");
    EXPECT_EQ(lines.front().status, "503");
    EXPECT_EQ(lines.front().length, "97");
    EXPECT_EQ(lines.front().host, "-");
    EXPECT_EQ(lines.front().address, "127.0.0.1");
}

TEST_F(AccessLog, KeepsLinesOfConcurrentRequestsWholeAndInOrder) {
    ASSERT_TRUE(harness.Start());
    constexpr int kClients = 50;
    std::vector<std::thread> clients;
    for (int client = 0; client < kClients; ++client) {
        clients.emplace_back([&, client] { Get(harness.port, "/concurrent-" + std::to_string(client)); });
    }
    for (std::thread& thread : clients) {
        thread.join();
    }
    harness.service.StopAndWait(std::chrono::seconds(5));

    const std::vector<LogLine> lines = ParseLog(harness.LogText());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kClients));
    std::set<std::string> requests;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        requests.insert(lines[index].request);
        EXPECT_EQ(lines[index].status, "404");
        if (index > 0) {
            EXPECT_LE(lines[index - 1].stamp, lines[index].stamp);
        }
    }
    EXPECT_EQ(requests.size(), static_cast<std::size_t>(kClients));
}

TEST_F(AccessLog, DropsLinesWhileTheLogCannotBeOpenedAndResumesAfterwards) {
    const std::string logPath = harness.folder.File("log.txt");
    std::filesystem::create_directory(logPath);
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(Get(harness.port, "/lost").status, 404);
    std::filesystem::remove(logPath);
    EXPECT_EQ(Get(harness.port, "/kept").status, 404);
    harness.service.StopAndWait(std::chrono::seconds(5));

    const std::vector<LogLine> lines = ParseLog(harness.LogText());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].request, "/kept");
}

// The log stays open between lines; a log that is moved away (as a rotation does) or removed is
// recreated by the next line, and the moved file keeps what it had.
TEST_F(AccessLog, RecreatesALogThatWasMovedAwayOrRemoved) {
    const std::string logPath = harness.folder.File("log.txt");
    const std::string movedPath = harness.folder.File("log.txt.1");
    ASSERT_TRUE(harness.Start());
    Get(harness.port, "/before-move");
    std::filesystem::rename(logPath, movedPath);
    Get(harness.port, "/after-move");
    const std::vector<LogLine> moved = ParseLog(TempDir::ReadFile(movedPath));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].request, "/before-move");
    std::vector<LogLine> lines = ParseLog(harness.LogText());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].request, "/after-move");

    std::filesystem::remove(logPath);
    Get(harness.port, "/after-removal");
    lines = ParseLog(harness.LogText());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].request, "/after-removal");
}

// A log.txt that is a FIFO nobody reads would block an ordinary open for ever, and every request behind
// it. The line is dropped and the answer goes out; once the FIFO is gone the log is written again.
TEST_F(AccessLog, FifoInPlaceOfTheLogBlocksNoAnswer) {
    const std::string logPath = harness.folder.File("log.txt");
    ASSERT_EQ(mkfifo(logPath.c_str(), 0600), 0);
    ASSERT_TRUE(harness.Start());
    for (const char* path : {"/", "/nothing"}) {
        LoopbackClient client(harness.port);
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send(std::string("GET ") + path + " HTTP/1.0\r\n\r\n"));
        const LoopbackClient::Answer answer = client.ReceiveUntilClosed(std::chrono::seconds(5));
        EXPECT_EQ(answer.end, LoopbackClient::End::Closed) << path;
        EXPECT_TRUE(answer.bytes.starts_with("HTTP/1.1 ")) << path;
    }
    // Should a worker be stuck opening the FIFO after all, a reader lets it go, so that the test ends.
    const int reader = open(logPath.c_str(), O_RDONLY | O_NONBLOCK);
    if (reader >= 0) {
        close(reader);
    }
    std::filesystem::remove(logPath);
    Get(harness.port, "/kept");
    const std::vector<LogLine> lines = ParseLog(harness.LogText());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].request, "/kept");
}

TEST_F(AccessLog, NamesTheClientWhenHostNamesAreResolved) {
    RecordingStatusSink sink;
    harness.service.EditSettings([&](Settings& settings) { settings.resolveHostname = 1; });
    harness.service.SetStatusSink(&sink);
    ASSERT_TRUE(harness.Start());
    Get(harness.port, "/");
    harness.service.StopAndWait(std::chrono::seconds(5));
    harness.service.SetStatusSink(nullptr);

    char name[100] = "";
    const bool found = platform::net::ReverseLookup(htonl(INADDR_LOOPBACK), name, sizeof name);
    const std::vector<LogLine> lines = ParseLog(harness.LogText());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].host, found ? std::string(name) : "-");
    EXPECT_EQ(sink.Events().at(0), "client:" + std::string(found ? name : "") + "(127.0.0.1)");
}

}  // namespace
