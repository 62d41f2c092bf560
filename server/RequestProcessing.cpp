#include <chrono>
#include <cstdio>
#include <cstring>

#include "server/HttpServer.h"
#include "server/RequestHead.h"
#include "server/RequestText.h"

namespace {

// Room for a status code or a length in decimal, sign and NUL included.
constexpr std::size_t kNumberBytes = 16;

void SendNumber(TcpSocket& connection, int value) {
    char text[kNumberBytes];
    std::snprintf(text, sizeof text, "%d", value);
    connection.SendText(text);
}

}  // namespace

// One request: read the head, parse it, and answer 400 to whatever is not a well-formed GET or did not
// come at all.
void HttpServer::ServeRequest(int index, TcpSocket& connection, Clock::time_point headDeadline) {
    const std::unique_ptr<RequestHead> head = ReadRequestHead(connection, headDeadline);
    if (!head) {
        SendBadRequest(connection);
        return;
    }
    HeadArrived(index);
    const ParsedRequest request = ParseRequestHead(head->Bytes());
    if (request.fixedAnswer || HandleGet(connection, request) == 0) {
        SendBadRequest(connection);
    }
}

// Reads the head up to and including its blank line and never a byte further, so that a body stays
// unread. Looks at what has arrived without taking it, takes it while the head goes on, and counts the
// bytes up to the blank line as taken once it is there. Null when the peer closed or failed first, when the
// head does not end within kMaxHeadBytes, or when the whole head did not arrive by the deadline.
std::unique_ptr<HttpServer::RequestHead> HttpServer::ReadRequestHead(TcpSocket& connection,
                                                                     Clock::time_point deadline) {
    std::unique_ptr<RequestHead> head(new (std::nothrow) RequestHead);
    if (!head) {
        return nullptr;
    }
    std::size_t stored = 0;
    while (stored < kMaxHeadBytes) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        std::uint32_t arrived = 0;
        if (connection.PeekSome(head->bytes + stored, static_cast<unsigned>(kMaxHeadBytes - stored), &arrived,
                                remaining) == 0) {
            return nullptr;
        }
        const std::size_t end = FindHeadEnd(head->bytes, stored, stored + arrived);
        if (end != 0) {
            // The rest of the head is in the buffer already; it leaves the socket with the next read or
            // the close. Bytes that were looked at behind the blank line are not part of the head.
            connection.TakePeekedInput(end - stored);
            std::memset(head->bytes + end, 0, sizeof head->bytes - end);
            return head;
        }
        std::uint32_t received = 0;
        if (connection.ReceiveSome(head->bytes + stored, arrived, &received) == 0 || received != arrived) {
            return nullptr;
        }
        stored += arrived;
    }
    return nullptr;
}

int HttpServer::HandleGet(TcpSocket& connection, const ParsedRequest& request) {
    // The hooks take the path as a text of its own; the parser keeps it below kPathBytes characters.
    char path[kPathBytes];
    request.path.copy(path, request.path.size());
    path[request.path.size()] = '\0';
    const char* realm = nullptr;
    const char* credentials = nullptr;
    if (HookAuthenticate(path, &realm, &credentials) == 0) {
        HookHandleRequest(path, connection);
        return 1;
    }
    return AuthorizeAndDispatch(connection, request, path, realm, credentials);
}

int HttpServer::WriteResponseHead(TcpSocket& connection, int status, int length, const char* statusText,
                                  const char* contentType, const char* realm) {
    connection.SendText("HTTP/1.1 ");
    SendNumber(connection, status);
    connection.SendText(" ");
    connection.SendText(statusText);
    connection.SendText("\r\nServer: ");
    connection.SendText(serverName);
    connection.SendText("\r\n");
    if (realm != nullptr) {
        connection.SendText("WWW-Authenticate: Basic realm=\"");
        connection.SendText(realm);
        connection.SendText("\"\r\n");
    }
    connection.SendText("Connection: close\r\n");
    if (length != 0) {
        connection.SendText("Content-Length: ");
        SendNumber(connection, length);
        connection.SendText("\r\n");
    }
    if (contentType != nullptr) {
        connection.SendText("Content-Type: ");
        connection.SendText(contentType);
        connection.SendText("\r\n");
    }
    connection.SendText("\r\n");
    return 1;
}

// The 400 and 503 answers have a short head of their own, without Connection and Content-Type lines.
int HttpServer::SendShortHeadAnswer(TcpSocket& connection, HttpStatusCode code) {
    const HttpStatusEntry& status = LookupStatus(code);
    HookLogAccess(connection, status.Code(), status.PageLength(), "-");
    connection.SendText("HTTP/1.1 ");
    SendNumber(connection, status.Code());
    connection.SendText(" ");
    connection.SendText(status.statusText);
    connection.SendText("\r\nServer: ");
    connection.SendText(serverName);
    connection.SendText("\r\nContent-Length: ");
    SendNumber(connection, status.PageLength());
    connection.SendText("\r\n\r\n");
    connection.SendAll(status.page.data(), status.PageLength());
    return 1;
}

int HttpServer::SendBadRequest(TcpSocket& connection) {
    return SendShortHeadAnswer(connection, HttpStatusCode::BadRequest);
}

int HttpServer::SendServiceUnavailable(TcpSocket& connection) {
    return SendShortHeadAnswer(connection, HttpStatusCode::ServiceUnavailable);
}

int HttpServer::HookAuthenticate(const char*, const char**, const char**) {
    return 0;
}

int HttpServer::HookHandleRequest(const char* path, TcpSocket& connection) {
    const HttpStatusEntry& status = LookupStatus(HttpStatusCode::NotFound);
    HookLogAccess(connection, status.Code(), status.PageLength(), path);
    WriteResponseHead(connection, status.Code(), status.PageLength(), status.statusText, nullptr, nullptr);
    connection.SendAll(status.page.data(), status.PageLength());
    return 1;
}

int HttpServer::HookLogAccess(TcpSocket&, int, int, const char*) {
    return 1;
}
