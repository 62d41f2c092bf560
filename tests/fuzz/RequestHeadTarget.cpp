#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
#include "tests/support/LoopbackPort.h"
#include "tests/support/TempDir.h"

namespace {

constexpr char kUser[] = "fuzz";
constexpr char kPassword[] = "pass:word";
constexpr char kRealm[] = "Fuzz Realm";
constexpr std::string_view kSnapshot = "\xff\xd8 a small stand-in for the snapshot \xff\xd9";
// Far longer than any answer takes; reached only when the server hangs.
constexpr int kAnswerTimeoutMilliseconds = 20000;
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
    RecordingService(std::string executablePath, bool askForCredentials) : CaptureService(std::move(executablePath)) {
        SetCredentials(kRealm, kUser, kPassword);
        authenticate = askForCredentials ? 1 : 0;
        resolveHostname = 0;
        enableClick = 0;
        minRemake = 0;
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
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return std::string("no socket: ") + std::strerror(errno);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string problem;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        problem = std::string("cannot connect: ") + std::strerror(errno);
    } else {
        std::size_t sent = 0;
        while (sent < request.size()) {
            const ssize_t count = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (count <= 0) {
                break;  // the server answered early and closed: its answer is still to be read
            }
            sent += static_cast<std::size_t>(count);
        }
        shutdown(fd, SHUT_WR);
        char block[4096];
        for (;;) {
            pollfd waiting{fd, POLLIN, 0};
            if (poll(&waiting, 1, kAnswerTimeoutMilliseconds) <= 0) {
                problem = "the server neither answered nor closed within " +
                          std::to_string(kAnswerTimeoutMilliseconds) + " ms (" + std::to_string(sent) + " of " +
                          std::to_string(request.size()) + " bytes sent, " + std::to_string(answer.size()) +
                          " received)";
                break;
            }
            const ssize_t count = recv(fd, block, sizeof block, 0);
            if (count > 0) {
                answer.append(block, static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                break;
            }
        }
    }
    close(fd);
    return problem;
}

// What the request deserves, worked out from the rules of the wire independently of the engine.
struct Expectation {
    int status = 400;
    std::string requestText = "-";
    std::string answer;
    int length = 0;
};

std::string Base64(std::string_view text) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t i = 0; i < text.size(); i += 3) {
        const std::size_t left = text.size() - i;
        const unsigned value = static_cast<unsigned char>(text[i]) << 16 |
                               (left > 1 ? static_cast<unsigned char>(text[i + 1]) << 8 : 0) |
                               (left > 2 ? static_cast<unsigned char>(text[i + 2]) : 0);
        encoded += kDigits[value >> 18 & 63];
        encoded += kDigits[value >> 12 & 63];
        encoded += left > 1 ? kDigits[value >> 6 & 63] : '=';
        encoded += left > 2 ? kDigits[value & 63] : '=';
    }
    return encoded;
}

// Characters up to the stop character; nullopt-like false when CR, the end, or the capacity came first.
bool Token(std::string_view text, char stop, std::size_t capacity, std::string& token) {
    token.clear();
    for (const char c : text) {
        if (c == stop) {
            return true;
        }
        if (c == '\r' || token.size() + 1 == capacity) {
            return false;
        }
        token += c;
    }
    return false;
}

std::string Head(int status, const char* reason, int length, const char* type, const char* realm) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nServer: ORV-HTTPD/0.1\r\n";
    if (realm != nullptr) {
        head += std::string("WWW-Authenticate: Basic realm=\"") + realm + "\"\r\n";
    }
    head += "Connection: close\r\n";
    if (length != 0) {
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    }
    if (type != nullptr) {
        head += std::string("Content-Type: ") + type + "\r\n";
    }
    return head + "\r\n";
}

Expectation Expect(std::string_view request, bool askForCredentials) {
    static const std::string kBadRequest =
        "HTTP/1.1 400 Bad Request\r\nServer: ORV-HTTPD/0.1\r\nContent-Length: 89\r\n\r\n"
        "<html><head><title>Error 400</title></head><body>HTTP/1.1 400 Bad Request. </body></html>";
    Expectation bad{400, "-", kBadRequest, 89};

    std::size_t end = 0;
    for (std::size_t i = 4; i < request.size() && i < 1024 && end == 0; ++i) {
        if (request.substr(i - 3, 4) == "\r\n\r\n") {
            end = i + 1;
        }
    }
    if (end == 0) {
        return bad;
    }
    // The head is a text: it ends at its first NUL.
    std::string_view head = request.substr(0, end);
    head = head.substr(0, head.find('\0'));
    std::string method;
    Token(head, ' ', 12, method);
    std::string path;
    if (method != "GET" || head.size() <= 4 || !Token(head.substr(4), ' ', 1024, path)) {
        return bad;
    }
    if (askForCredentials) {
        const std::string_view field = "Authorization: Basic ";
        const std::size_t found = head.find(field);
        std::string presented;
        if (found != std::string_view::npos) {
            Token(head.substr(found + field.size()), '\r', 200, presented);
        }
        if (found == std::string_view::npos || presented != Base64(std::string(kUser) + ":" + kPassword)) {
            const std::string_view page = "<html><head><title>Error 401</title></head><body><b>HTTP/1.1 401 "
                                          "Authorization Required. </b></body></html>";
            return {401, path,
                    Head(401, "Authorization Required", 107, "text/html; charset=iso-8859-1", kRealm) +
                        std::string(page),
                    107};
        }
    }
    const std::string_view target = path;
    if (target == "/" || (target.starts_with("/click") && target.find('?') != std::string_view::npos)) {
        return {200, path, Head(200, "OK", 180, "text/html", nullptr) + std::string(pages::kViewerPage), 180};
    }
    if (target == "/screen" || target == "/screen/") {
        const int length = static_cast<int>(kSnapshot.size());
        return {200, path, Head(200, "OK", length, "image/jpeg", nullptr) + std::string(kSnapshot), length};
    }
    return {404, path, Head(404, "Not Found", 99, "text/html", nullptr) + std::string(pages::kNotFoundPage), 99};
}

std::string Printable(std::string_view bytes) {
    std::string text;
    for (const char c : bytes.substr(0, 200)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            text += c;
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
    }
    return text;
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
    const std::string tail =
        escaped + " " + std::to_string(expected.status) + " " + std::to_string(expected.length) + " - 127.0.0.1\r\n";
    // "YYYY/MM/DD HH:MM:SS " and then exactly the tail.
    const bool stampOk = line.size() == 20 + tail.size() && line[4] == '/' && line[7] == '/' && line[10] == ' ' &&
                         line[13] == ':' && line[16] == ':' && line[19] == ' ';
    if (!stampOk || line.compare(20, std::string::npos, tail) != 0) {
        return "log gained \"" + Printable(line) + "\", want a time stamp and \"" + Printable(tail) + "\"";
    }
    return {};
}

}  // namespace

std::string FuzzRequestHead(const std::uint8_t* data, std::size_t size) {
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
    if (std::string problem = Converse(askForCredentials ? harness.guardedPort : harness.openPort, request, answer);
        !problem.empty()) {
        return problem + ", request \"" + Printable(request) + "\"";
    }
    const Expectation expected = Expect(request, askForCredentials);
    const std::string what = std::string(askForCredentials ? "with" : "without") + " credentials, request \"" +
                             Printable(request) + "\": ";
    if (answer != expected.answer) {
        return what + "answer \"" + Printable(answer) + "\", want \"" + Printable(expected.answer) + "\"";
    }
    const std::vector<LogCall> calls = service.TakeLogCalls();
    if (calls.size() != 1 || calls[0].status != expected.status || calls[0].length != expected.length ||
        calls[0].requestText != expected.requestText) {
        return what + std::to_string(calls.size()) + " log calls, the first " +
               (calls.empty() ? std::string("missing")
                              : std::to_string(calls[0].status) + " " + std::to_string(calls[0].length) + " \"" +
                                    Printable(calls[0].requestText) + "\"");
    }
    if (std::string problem = CheckLogLine(logPath, logOffset, expected); !problem.empty()) {
        return what + problem;
    }
    return {};
}
