#include <cstring>
#include <memory>
#include <new>

#include "server/Base64.h"
#include "server/HttpServer.h"
#include "server/RequestText.h"

namespace {

constexpr char kChallengeContentType[] = "text/html; charset=iso-8859-1";

}  // namespace

// Serves a path that needs credentials: the request hook runs only when the request carries the Base64
// form of the expected ones; otherwise the 401 challenge is the answer. 0 only when there was no memory
// for the encoded credentials (the caller answers 400).
int HttpServer::AuthorizeAndDispatch(TcpSocket& connection, const ParsedRequest& request, const char* path,
                                     const char* realm, const char* credentials) {
    const std::size_t capacity = Base64Capacity(std::strlen(credentials));
    const std::unique_ptr<char[]> encoded(new (std::nothrow) char[capacity]);
    if (!encoded) {
        return 0;
    }
    Base64Encode(encoded.get(), credentials);
    if (CheckAuthorization(connection, realm, encoded.get(), request, path) != 0) {
        HookHandleRequest(path, connection);
    }
    return 1;
}

// 1 when the request's Basic credentials are exactly the encoded expected ones, up to the CR of their
// header line and whatever their length; else sends and logs the 401 answer and returns 0.
int HttpServer::CheckAuthorization(TcpSocket& connection, const char* realm, const char* encodedCredentials,
                                   const ParsedRequest& request, const char* path) {
    if (request.basicCredentials && SameTextInConstantTime(*request.basicCredentials, encodedCredentials)) {
        return 1;
    }
    const HttpStatusEntry& status = LookupStatus(HttpStatusCode::Unauthorized);
    HookLogAccess(connection, status.Code(), status.PageLength(), path);
    WriteResponseHead(connection, status.Code(), status.PageLength(), status.statusText,
                      kChallengeContentType, realm);
    connection.SendAll(status.page.data(), status.PageLength());
    return 0;
}
