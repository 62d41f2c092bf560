#include "service/AccessLog.h"

#include <cstdio>
#include <mutex>

#include "platform/Files.h"

namespace access_log {

std::string FormatTimeStamp(const platform::LocalTime& time) {
    char stamp[kTimeStampBytes];
    std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d ", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    return stamp;
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

void AppendLogLine(const char* logPath, platform::Lock& logLock, std::string_view escapedRequestText,
                   std::string_view tail) {
    std::lock_guard guard(logLock);
    const std::string stamp = FormatTimeStamp(platform::CurrentLocalTime());
    const std::string_view pieces[] = {stamp, escapedRequestText, tail};
    platform::files::AppendToFile(logPath, pieces, std::size(pieces));
}

}  // namespace access_log
