#include <cstring>
#include <memory>
#include <new>

#include "server/Base64.h"
#include "server/HttpServer.h"
#include "server/RequestHead.h"
#include "server/RequestText.h"

namespace {

// Exactly these characters and this case, one space after the colon and one after the scheme word.
constexpr char kAuthorizationField[] = "Authorization: Basic ";
// The presented value: at most 199 characters and the NUL. Base64 forms are multiples of four long, so a
// value cut to 199 characters never matches.
constexpr std::size_t kPresentedBytes = 200;
constexpr char kChallengeContentType[] = "text/html; charset=iso-8859-1";

}  // namespace

// Serves a path that needs credentials: the request hook runs only when the request carries the Base64
// form of the expected ones; otherwise the 401 challenge is the answer. 0 only when there was no memory
// for the encoded credentials (the caller answers 400).
int HttpServer::AuthorizeAndDispatch(TcpSocket& connection, const RequestHead& head, const char* path,
                                     const char* realm, const char* credentials) {
    const std::size_t capacity = Base64Capacity(std::strlen(credentials));
    const std::unique_ptr<char[]> encoded(new (std::nothrow) char[capacity]);
    if (!encoded) {
        return 0;
    }
    Base64Encode(encoded.get(), credentials);
    if (CheckAuthorization(connection, realm, encoded.get(), head, path) != 0) {
        HookHandleRequest(path, connection);
    }
    return 1;
}

// 1 when the first "Authorization: Basic " in the head, wherever it stands, is followed by exactly the
// encoded credentials up to the CR; else sends and logs the 401 answer and returns 0.
int HttpServer::CheckAuthorization(TcpSocket& connection, const char* realm, const char* encodedCredentials,
                                   const RequestHead& head, const char* path) {
    const char* value = FindAfter(head.Text(), kAuthorizationField);
    if (value != nullptr) {
        char presented[kPresentedBytes];
        CopyToken(presented, sizeof presented, value, '\r');
        if (SameTextInConstantTime(presented, encodedCredentials)) {
            return 1;
        }
    }
    const HttpStatusEntry& status = LookupStatus(HttpStatusCode::Unauthorized);
    HookLogAccess(connection, status.Code(), status.PageLength(), path);
    WriteResponseHead(connection, status.Code(), status.PageLength(), status.statusText,
                      kChallengeContentType, realm);
    connection.SendAll(status.page.data(), status.PageLength());
    return 0;
}
