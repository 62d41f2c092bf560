#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "tests/support/LogLine.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/ServiceFixture.h"

namespace {

constexpr int kCycles = 100;
constexpr int kClients = 16;
constexpr auto kServingTime = std::chrono::milliseconds(15);
constexpr auto kStartWait = std::chrono::seconds(10);

const std::string kSnapshotHead =
    "HTTP/1.1 200 OK\r\nServer: ORV-HTTPD/0.1\r\nConnection: close\r\nContent-Length: ";

std::string PageAnswer() {
    return "HTTP/1.1 200 OK\r\nServer: ORV-HTTPD/0.1\r\nConnection: close\r\nContent-Length: 180\r\n"
           "Content-Type: text/html\r\n\r\n" +
           std::string(pages::kViewerPage);
}
std::string NotFoundAnswer() {
    return "HTTP/1.1 404 Not Found\r\nServer: ORV-HTTPD/0.1\r\nConnection: close\r\nContent-Length: 99\r\n"
           "Content-Type: text/html\r\n\r\n" +
           std::string(pages::kNotFoundPage);
}
const std::string kBadRequest =
    "HTTP/1.1 400 Bad Request\r\nServer: ORV-HTTPD/0.1\r\nContent-Length: 89\r\n\r\n"
    "<html><head><title>Error 400</title></head><body>HTTP/1.1 400 Bad Request. </body></html>";
const std::string kUnavailable =
    "HTTP/1.1 503 Service Unavailable\r\nServer: ORV-HTTPD/0.1\r\nContent-Length: 97\r\n\r\n"
    "<html><head><title>Error 503</title></head><body>HTTP/1.1 503 Service Unavailable. </body></html>";

bool IsPrefixOf(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// What may arrive on a connection that Stop can cut at any moment: a prefix of the request's own answer or
// of the 503 answer, and nothing else; a snapshot that arrived whole is a whole picture of the announced
// length.
bool Acceptable(const std::string& received, const std::string& expected, bool snapshot) {
    if (IsPrefixOf(received, kUnavailable)) {
        return true;
    }
    if (!snapshot) {
        return IsPrefixOf(received, expected);
    }
    if (received.size() <= kSnapshotHead.size()) {
        return IsPrefixOf(received, kSnapshotHead);
    }
    if (!received.starts_with(kSnapshotHead)) {
        return false;
    }
    const std::size_t headEnd = received.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
        return true;
    }
    const std::size_t length = std::stoul(received.substr(kSnapshotHead.size()));
    const std::string body = received.substr(headEnd + 4);
    if (body.size() < length) {
        return IsPrefixOf(body.substr(0, 2), "\xff\xd8");
    }
    return body.size() == length && body.starts_with("\xff\xd8") && body.ends_with("\xff\xd9");
}

int CountEntries(const char* folder) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

// A thread that has reported its end may take a moment longer to leave the process.
bool SettlesAt(const char* folder, int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (CountEntries(folder) != count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return CountEntries(folder) == count;
}

class CountingService final : public FakeCaptureService {
  public:
    using FakeCaptureService::FakeCaptureService;
    ~CountingService() override { Shutdown(); }
    std::atomic<int> logCalls{0};

  protected:
    int HookLogAccess(TcpSocket& connection, int status, int length, const char* requestText) override {
        ++logCalls;
        return FakeCaptureService::HookLogAccess(connection, status, length, requestText);
    }
};

// The service started and stopped a hundred times while clients keep asking for pages, pictures that
// captures keep replacing, missing paths and malformed heads. Every connection gets its own answer or a
// cut-off prefix of it, never bytes meant for another; afterwards the process holds the descriptors and
// threads it held before, and the log holds one whole line per answer.
TEST(ServiceRestart, HundredStopStartCyclesUnderLoadLoseNothing) {
    // A sanitizer may start a helper thread of its own along with the first thread of the program.
    std::thread([] {}).join();
    const int descriptorsBefore = CountEntries("/proc/self/fd");
    const int threadsBefore = CountEntries("/proc/self/task");
    {
        ServiceHarness<CountingService> harness;
        harness.service.EditSettings([&](Settings& settings) { settings.resolveHostname = 0; });
        int version = 0;
        harness.service.writer = [&version](const char* fileName) {
            const auto file = platform::files::ReplacementFile::Create(fileName);
            const std::string picture =
                "\xff\xd8" + std::string(1000 + 97 * (++version % 50), 'p') + "\xff\xd9";
            ASSERT_NE(file, nullptr);
            std::fwrite(picture.data(), 1, picture.size(), file->Stream());
            ASSERT_TRUE(file->Commit());
        };
        ASSERT_TRUE(harness.Start());
        const int port = harness.port;

        struct Request {
            std::string bytes;
            std::string expected;
            bool snapshot;
        };
        const std::vector<Request> requests = {
            {"GET / HTTP/1.1\r\n\r\n", PageAnswer(), false},
            {"GET /screen HTTP/1.1\r\n\r\n", "", true},
            {"GET /nothing HTTP/1.1\r\n\r\n", NotFoundAnswer(), false},
            {"POST / HTTP/1.1\r\n\r\n", kBadRequest, false},
            {"GET /scr", kBadRequest, false},
        };
        std::atomic<bool> loading{true};
        std::atomic<int> whole{0};
        std::atomic<int> wrong{0};
        std::vector<std::thread> clients;
        for (int client = 0; client < kClients; ++client) {
            clients.emplace_back([&, client] {
                for (std::size_t turn = client; loading.load(); ++turn) {
                    const Request& request = requests[turn % requests.size()];
                    LoopbackClient connection(port);
                    if (!connection.Connected()) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                        continue;
                    }
                    connection.Send(request.bytes);
                    connection.CloseSending();
                    const std::string received = connection.ReceiveUntilClosed().bytes;
                    if (!Acceptable(received, request.expected, request.snapshot)) {
                        ++wrong;
                        ADD_FAILURE() << request.bytes << " got " << received.substr(0, 200);
                    } else if (request.snapshot ? received.ends_with("\xff\xd9")
                                                : received == request.expected) {
                        ++whole;
                    }
                }
            });
        }

        for (int cycle = 0; cycle < kCycles && wrong.load() == 0; ++cycle) {
            std::this_thread::sleep_for(kServingTime);
            if (cycle % 2 == 0) {
                harness.service.Stop();
            } else {
                ASSERT_TRUE(harness.service.StopAndWait(kStartWait)) << "cycle " << cycle;
            }
            const auto deadline = std::chrono::steady_clock::now() + kStartWait;
            StartResult result;
            while ((result = harness.service.Start(port)) != StartResult::Started &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ASSERT_EQ(result, StartResult::Started) << "cycle " << cycle;
        }
        loading.store(false);
        for (std::thread& client : clients) {
            client.join();
        }
        ASSERT_TRUE(harness.service.StopAndWait(kStartWait));
        EXPECT_EQ(wrong.load(), 0);
        EXPECT_GT(whole.load(), kCycles) << "the load reached the service";

        const std::set<std::string> answers = {"/ 200", "/screen 200", "/nothing 404", "- 400", "- 503"};
        const std::string log = harness.LogText();
        std::size_t start = 0;
        int lines = 0;
        for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos;
             start = end + 2, ++lines) {
            const std::optional<LogLine> line = ParseLogLine(log.substr(start, end - start));
            ASSERT_TRUE(line) << log.substr(start, end - start);
            EXPECT_EQ(answers.count(line->request + " " + line->status), 1u)
                << log.substr(start, end - start);
            EXPECT_EQ(line->host + " " + line->address, "- 127.0.0.1");
        }
        EXPECT_EQ(start, log.size()) << "the log ends with a whole line";
        EXPECT_EQ(lines, harness.service.logCalls.load());
    }
    EXPECT_TRUE(SettlesAt("/proc/self/fd", descriptorsBefore)) << CountEntries("/proc/self/fd");
    EXPECT_TRUE(SettlesAt("/proc/self/task", threadsBefore)) << CountEntries("/proc/self/task");
}

}  // namespace
