#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service/CaptureService.h"
#include "tests/fuzz/FuzzTargets.h"
#include "tests/fuzz/RequestModel.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/TempDir.h"

namespace {

using namespace request_model;

// Far longer than any answer takes; reached only when the server hangs.
constexpr std::chrono::milliseconds kAnswerWait{20000};
// The log is emptied now and then, so that a long run does not fill the disk.
constexpr std::size_t kLogTruncateBytes = 1 << 20;

struct LogCall {
    int status = 0;
    int length = 0;
    std::string requestText;
};

// The real service, with the capture replaced (no screen is needed) and every log call recorded before
// the real access log writes it.
class RecordingService final : public CaptureService {
  public:
    RecordingService(std::string executablePath, bool askForCredentials)
        : CaptureService(std::move(executablePath)) {
        EditSettings([&](Settings& settings) {
            settings.realm = kRealm;
            settings.user = kUser;
            settings.password = kPassword;
            settings.authenticate = askForCredentials;
            settings.resolveHostname = false;
            settings.enableClick = false;
            settings.minRemake = 0;
        });
    }
    ~RecordingService() override { Shutdown(); }

    std::vector<LogCall> TakeLogCalls() {
        std::lock_guard guard(lock);
        return std::exchange(calls, {});
    }

  protected:
    imaging::CaptureResult RunCaptureJob(const char*) override { return imaging::CaptureResult::Captured; }
    int HookLogAccess(TcpSocket& connection, int status, int length, const char* requestText) override {
        {
            std::lock_guard guard(lock);
            calls.push_back({status, length, requestText});
        }
        return CaptureService::HookLogAccess(connection, status, length, requestText);
    }

  private:
    std::mutex lock;
    std::vector<LogCall> calls;  // guarded by lock
};

// Two services, one without and one with credentials, in a folder holding only the snapshot.
struct Harness {
    Harness() : open(folder.File("qvserver"), false), guarded(folder.File("qvserver"), true) {
        TempDir::WriteFile(folder.File("screen.jpg"), std::string(kSnapshot));
        openPort = Start(open);
        guardedPort = Start(guarded);
    }
    static int Start(RecordingService& service) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int port = FreePort();
            if (port != 0 && service.Start(port) == StartResult::Started) {
                return port;
            }
        }
        return 0;
    }

    TempDir folder;
    RecordingService open;
    RecordingService guarded;
    int openPort = 0;
    int guardedPort = 0;
    std::size_t inputs = 0;
};

// Sends everything, shuts the sending side down and reads until the server closes. Empty when that
// worked, else what went wrong.
std::string Converse(int port, std::string_view request, std::string& answer) {
    LoopbackClient client(port);
    if (!client.Connected()) {
        return std::string("cannot connect: ") + std::strerror(errno);
    }
    // A failed send is no fault by itself: the server may have answered early and closed, and its answer
    // is still to be read.
    const bool sentAll = client.Send(request);
    client.CloseSending();
    LoopbackClient::Answer received = client.ReceiveUntilClosed(kAnswerWait);
    answer = std::move(received.bytes);
    if (received.end == LoopbackClient::End::TimedOut) {
        return "the server neither answered nor closed within " + std::to_string(kAnswerWait.count()) +
               " ms (" + (sentAll ? "request sent whole" : "request cut short") + ", " +
               std::to_string(answer.size()) + " bytes received)";
    }
    return {};
}

// The line the access log must have gained: escaped request text, status, length, "-" and the address.
std::string CheckLogLine(const std::string& logPath, std::size_t& offset, const Expectation& expected) {
    const std::string log = TempDir::ReadFile(logPath);
    if (log.size() < offset) {
        offset = 0;
    }
    const std::string line = log.substr(offset);
    offset = log.size();
    std::string escaped;
    for (const char c : expected.requestText) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 15];
        } else {
            escaped += c;
        }
    }
    const std::string tail = escaped + " " + std::to_string(expected.status) + " " +
                             std::to_string(expected.length) + " - 127.0.0.1\r\n";
    // "YYYY/MM/DD HH:MM:SS " and then exactly the tail.
    const bool stampOk = line.size() == 20 + tail.size() && line[4] == '/' && line[7] == '/' &&
                         line[10] == ' ' && line[13] == ':' && line[16] == ':' && line[19] == ' ';
    if (!stampOk || line.compare(20, std::string::npos, tail) != 0) {
        return "log gained \"" + Printable(line) + "\", want a time stamp and \"" + Printable(tail) + "\"";
    }
    return {};
}

}  // namespace

std::string FuzzRequestWire(const std::uint8_t* data, std::size_t size) {
    static Harness harness;
    static std::size_t logOffset = 0;
    if (harness.openPort == 0 || harness.guardedPort == 0) {
        return "the services could not be started";
    }
    const bool askForCredentials = size > 0 && (data[0] & 1) != 0;
    const std::string_view request =
        size > 0 ? std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1) : std::string_view();
    RecordingService& service = askForCredentials ? harness.guarded : harness.open;

    const std::string logPath = harness.folder.File("log.txt");
    if (++harness.inputs % 1000 == 0 && logOffset > kLogTruncateBytes) {
        TempDir::WriteFile(logPath, "");
        logOffset = 0;
    }

    std::string answer;
    if (std::string problem =
            Converse(askForCredentials ? harness.guardedPort : harness.openPort, request, answer);
        !problem.empty()) {
        return problem + ", request \"" + Printable(request) + "\"";
    }
    const Expectation expected = Expect(request, askForCredentials);
    const std::string what = std::string(askForCredentials ? "with" : "without") +
                             " credentials, request \"" + Printable(request) + "\": ";
    if (answer != expected.answer) {
        return what + "answer \"" + Printable(answer) + "\", want \"" + Printable(expected.answer) + "\"";
    }
    const std::vector<LogCall> calls = service.TakeLogCalls();
    if (calls.size() != 1 || calls[0].status != expected.status || calls[0].length != expected.length ||
        calls[0].requestText != expected.requestText) {
        return what + std::to_string(calls.size()) + " log calls, the first " +
               (calls.empty() ? std::string("missing")
                              : std::to_string(calls[0].status) + " " + std::to_string(calls[0].length) +
                                    " \"" + Printable(calls[0].requestText) + "\"");
    }
    if (std::string problem = CheckLogLine(logPath, logOffset, expected); !problem.empty()) {
        return what + problem;
    }
    return {};
}
