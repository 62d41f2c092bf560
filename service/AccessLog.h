#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/Lock.h"

// The access log: one line per response, "date time request status length host address" and CR LF,
// appended to log.txt next to the executable.
namespace access_log {

inline constexpr std::size_t kHostNameBytes = 100;   // a longer name is logged as "-"
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

// Appends one line (time stamp of now, the escaped request text, the tail) to the file at logPath, all
// under logLock, so that lines never interleave and their stamps never go backwards. The file is opened
// and closed for every line; when it cannot be opened the line is dropped without a report.
void AppendLogLine(const char* logPath, platform::Lock& logLock, std::string_view escapedRequestText,
                   std::string_view tail);

}  // namespace access_log
