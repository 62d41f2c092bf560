#include "service/AccessLog.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "server/TcpSocket.h"

namespace access_log {

namespace {

// The stamp into a buffer of kTimeStampBytes; its length. No allocation: this runs under the log lock.
std::size_t WriteTimeStamp(char* stamp, const platform::LocalTime& time) {
    const int length = std::snprintf(stamp, kTimeStampBytes, "%04d/%02d/%02d %02d:%02d:%02d ", time.year,
                                     time.month, time.day, time.hour, time.minute, time.second);
    return length < 0 ? 0 : std::min(static_cast<std::size_t>(length), kTimeStampBytes - 1);
}

}  // namespace

std::string FormatTimeStamp(const platform::LocalTime& time) {
    char stamp[kTimeStampBytes];
    return std::string(stamp, WriteTimeStamp(stamp, time));
}

std::string EscapeRequestText(std::string_view requestText) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(requestText.size());
    for (const char character : requestText) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte < 0x20 || byte == 0x7f) {
            escaped += '%';
            escaped += kHexDigits[byte >> 4];
            escaped += kHexDigits[byte & 0x0f];
        } else {
            escaped += character;
        }
    }
    return escaped;
}

std::string FormatTail(int status, int length, const char* hostName, const char* address) {
    char tail[kTailBytes];
    std::snprintf(tail, sizeof tail, " %d %d %s %s\r\n", status, length, hostName[0] != '\0' ? hostName : "-",
                  address);
    return tail;
}

ClientNames NameClient(const TcpSocket& connection, bool resolveHostName) {
    ClientNames names;
    if (resolveHostName) {
        connection.PeerHostName(names.hostName, sizeof names.hostName);
    }
    connection.PeerAddressText(names.address);
    return names;
}

namespace {

// The innermost RequestClient of this thread.
thread_local RequestClient* currentClient = nullptr;

}  // namespace

RequestClient::RequestClient(const TcpSocket& connection, bool resolveHostName)
    : connection(connection), names(NameClient(connection, resolveHostName)), outer(currentClient) {
    currentClient = this;
}

RequestClient::~RequestClient() {
    currentClient = outer;
}

const ClientNames* RequestClient::NamesFor(const TcpSocket& connection) {
    for (const RequestClient* client = currentClient; client != nullptr; client = client->outer) {
        if (&client->connection == &connection) {
            return &client->names;
        }
    }
    return nullptr;
}

void AccessLogFile::Append(std::string_view escapedRequestText, std::string_view tail) {
    // Whether the file at the path is still the one held open is asked outside the lock: it costs a
    // status call, and a line that raced with a move merely lands in the moved file.
    const platform::files::FileIdentity named = platform::files::IdentifyFile(file.Path());
    std::lock_guard guard(lock);
    // The stamp is taken under the lock, so that the stamps of consecutive lines never go backwards.
    char stamp[kTimeStampBytes];
    const std::string_view pieces[] = {
        std::string_view(stamp, WriteTimeStamp(stamp, platform::CurrentLocalTime())), escapedRequestText,
        tail};
    file.Append(pieces, std::size(pieces), named);
}

}  // namespace access_log
