#include "tests/support/RecordingServer.h"

#include "tests/support/LoopbackPort.h"

namespace {

constexpr int kStartAttempts = 20;

}  // namespace

int RecordingServer::StartOnFreePort() {
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        const int candidate = FreePort();
        if (candidate != 0 && Start(candidate) == StartResult::Started) {
            port = candidate;
            return port;
        }
    }
    return 0;
}

void RecordingServer::RequireCredentials(const char* realmText, std::string expected) {
    requireCredentials = true;
    realm = realmText;
    credentials = std::move(expected);
}

std::vector<LogEntry> RecordingServer::Entries() {
    std::lock_guard guard(recordLock);
    return entries;
}

std::vector<std::string> RecordingServer::HandledPaths() {
    std::lock_guard guard(recordLock);
    return handledPaths;
}

bool RecordingServer::WaitForEntries(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock guard(recordLock);
    return recorded.wait_for(guard, timeout, [&] { return entries.size() >= count; });
}

int RecordingServer::HookAuthenticate(const char*, const char** realmOut, const char** credentialsOut) {
    if (!requireCredentials) {
        return 0;
    }
    *realmOut = realm;
    *credentialsOut = credentials.c_str();
    return 1;
}

std::string RecordingServer::BodyAfterHead() {
    std::lock_guard guard(recordLock);
    return bodyAfterHead;
}

int RecordingServer::HookHandleRequest(const char* path, TcpSocket& connection) {
    char body[4] = {};
    std::uint32_t count = 0;
    const bool readBody =
        std::string(path) == "/body" && connection.ReceiveSome(body, sizeof body, &count) == 1;
    {
        std::lock_guard guard(recordLock);
        handledPaths.emplace_back(path);
        if (readBody) {
            bodyAfterHead.assign(body, count);
        }
    }
    return HttpServer::HookHandleRequest(path, connection);
}

int RecordingServer::HookLogAccess(TcpSocket& connection, int status, int length, const char* requestText) {
    char address[16] = {};
    connection.PeerAddressText(address);
    {
        std::lock_guard guard(recordLock);
        entries.push_back(LogEntry{status, length, requestText, address});
    }
    recorded.notify_all();
    return 1;
}

std::string BadRequestAnswer() {
    return "HTTP/1.1 400 Bad Request\r\n"
           "Server: ORV-HTTPD/0.1\r\n"
           "Content-Length: 89\r\n"
           "\r\n"
           "<html><head><title>Error 400</title></head><body>HTTP/1.1 400 Bad Request. </body></html>";
}

std::string ServiceUnavailableAnswer() {
    return "HTTP/1.1 503 Service Unavailable\r\n"
           "Server: ORV-HTTPD/0.1\r\n"
           "Content-Length: 97\r\n"
           "\r\n"
           "<html><head><title>Error 503</title></head><body>HTTP/1.1 503 Service Unavailable. "
           "</body></html>";
}

std::string NotFoundAnswer() {
    return "HTTP/1.1 404 Not Found\r\n"
           "Server: ORV-HTTPD/0.1\r\n"
           "Connection: close\r\n"
           "Content-Length: 99\r\n"
           "\r\n"
           "<html><head><title>Error 404</title></head><body><b>HTTP/1.1 404 File Not Found. "
           "</b></body></html>";
}

std::string UnauthorizedAnswer(const char* realm) {
    std::string answer = "HTTP/1.1 401 Authorization Required\r\nServer: ORV-HTTPD/0.1\r\n";
    if (realm != nullptr) {
        answer += std::string("WWW-Authenticate: Basic realm=\"") + realm + "\"\r\n";
    }
    return answer +
           "Connection: close\r\n"
           "Content-Length: 107\r\n"
           "Content-Type: text/html; charset=iso-8859-1\r\n"
           "\r\n"
           "<html><head><title>Error 401</title></head><body><b>HTTP/1.1 401 Authorization Required. "
           "</b></body></html>";
}
