#pragma once

#include <cctype>
#include <optional>
#include <string>

// One access-log line without its CR LF: "YYYY/MM/DD HH:MM:SS request status length host address". The
// request text may be empty; the four fields behind it hold no blanks, so they are taken from the right.
struct LogLine {
    std::string request;
    std::string status;
    std::string length;
    std::string host;
    std::string address;
};

inline std::optional<LogLine> ParseLogLine(const std::string& line) {
    constexpr const char* kStampShape = "dddd/dd/dd dd:dd:dd ";
    constexpr std::size_t kStampLength = 20;
    if (line.size() < kStampLength) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kStampLength; ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
        if (kStampShape[i] == 'd' ? !digit : line[i] != kStampShape[i]) {
            return std::nullopt;
        }
    }
    std::string rest = line.substr(kStampLength);
    std::string fields[4];
    for (int field = 3; field >= 0; --field) {
        const std::size_t blank = rest.rfind(' ');
        if (blank == std::string::npos) {
            return std::nullopt;
        }
        fields[field] = rest.substr(blank + 1);
        rest.resize(blank);
    }
    for (const char c : line) {
        if (c == '\r' || c == '\n') {
            return std::nullopt;
        }
    }
    return LogLine{rest, fields[0], fields[1], fields[2], fields[3]};
}
