#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Lock.h"

class TcpSocket;

// The access log: one line per response, "date time request status length host address" and CR LF,
// appended to log.txt next to the executable.
namespace access_log {

inline constexpr std::size_t kHostNameBytes = 100;  // a longer name is logged as "-"
inline constexpr std::size_t kAddressBytes = 32;
inline constexpr std::size_t kTailBytes = 1024;
inline constexpr std::size_t kTimeStampBytes = 100;

// "%04d/%02d/%02d %02d:%02d:%02d " from the local time.
std::string FormatTimeStamp(const platform::LocalTime& time);
// The request text as it goes into the log: control bytes (below 0x20, and 0x7f) as %XX in upper-case
// hexadecimal, so that no request can start a line of its own; every other byte as passed.
std::string EscapeRequestText(std::string_view requestText);
// " status length host address" and CR LF; an empty host name is written as "-".
std::string FormatTail(int status, int length, const char* hostName, const char* address);

// Who sent a request: the name from a reverse look-up ("" when none was asked for or found) and the
// dotted address.
struct ClientNames {
    char hostName[kHostNameBytes] = "";
    char address[kAddressBytes] = "";
};
// The look-up can take as long as the name service does; never on the accept thread.
ClientNames NameClient(const TcpSocket& connection, bool resolveHostName);

// While one lives on a worker thread, the client of the request that thread handles is named once, for
// the status note and for every log line of that request: the names are looked up when it is made, and
// NamesFor finds them for the same connection on the same thread.
class RequestClient {
  public:
    RequestClient(const TcpSocket& connection, bool resolveHostName);
    ~RequestClient();
    RequestClient(const RequestClient&) = delete;
    RequestClient& operator=(const RequestClient&) = delete;

    const ClientNames& Names() const { return names; }
    // The names of connection's request being handled on this thread, or null.
    static const ClientNames* NamesFor(const TcpSocket& connection);

  private:
    const TcpSocket& connection;
    ClientNames names;
    RequestClient* outer;
};

// The log file, kept open between lines and opened again when the file at its path is moved away or
// removed (the next line recreates it). Lines are appended whole, one write each, in the order they are
// completed, and their stamps never go backwards (unless the clock is set back). A line is dropped
// without a report when the path names no regular file (a FIFO, a folder) or it cannot be opened. Opening
// never blocks. Thread-safe.
class AccessLogFile {
  public:
    explicit AccessLogFile(std::string path) : file(std::move(path)) {}

    // Appends the time stamp of now, the escaped request text and the tail as one line.
    void Append(std::string_view escapedRequestText, std::string_view tail);

  private:
    platform::Lock lock;
    platform::files::AppendOnlyFile file;  // guarded by lock
};

}  // namespace access_log
