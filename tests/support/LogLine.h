#pragma once

// Reading the access log back: "YYYY/MM/DD HH:MM:SS request status length host address" lines, each ended
// by CR LF. The request text may be empty or hold blanks; the four fields behind it hold none, so they are
// taken from the right.

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

struct LogLine {
    std::string stamp;  // "YYYY/MM/DD HH:MM:SS"
    std::string request;
    std::string status;
    std::string length;
    std::string host;
    std::string address;
};

// One line without its CR LF; nullopt when it does not have the line's shape.
inline std::optional<LogLine> ParseLogLine(const std::string& line) {
    constexpr const char* kStampShape = "dddd/dd/dd dd:dd:dd ";
    constexpr std::size_t kStampLength = 20;
    if (line.size() < kStampLength || line.find_first_of("\r\n") != std::string::npos) {
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
        if (blank == std::string::npos || blank + 1 == rest.size()) {
            return std::nullopt;
        }
        fields[field] = rest.substr(blank + 1);
        rest.resize(blank);
    }
    for (const std::string& number : {fields[0], fields[1]}) {
        for (const char c : number) {
            if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
                return std::nullopt;
            }
        }
    }
    return LogLine{line.substr(0, kStampLength - 1), rest, fields[0], fields[1], fields[2], fields[3]};
}

// Every line of a whole log, each of which must end with CR LF and have the line's shape.
inline std::vector<LogLine> ParseLog(const std::string& text) {
    std::vector<LogLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "unterminated line: " << text.substr(start);
        if (end == std::string::npos) {
            break;
        }
        const std::optional<LogLine> parsed = ParseLogLine(text.substr(start, end - start));
        EXPECT_TRUE(parsed.has_value()) << text.substr(start, end - start);
        lines.push_back(parsed.value_or(LogLine{}));
        start = end + 2;
    }
    return lines;
}
