#include "server/RequestText.h"

#include <algorithm>

namespace {

// The shortest head the end test recognises ends at byte 4: a head of nothing but CR LF CR LF is not one.
constexpr std::size_t kFirstHeadEnd = 4;
// The path starts behind "GET" and its space.
constexpr std::size_t kPathStart = 4;
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kGet = "GET";
constexpr std::string_view kAuthorizationName = "Authorization";
constexpr std::string_view kBasicScheme = "Basic";

char LowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerCase(x) == LowerCase(y); });
}

// "<one space><scheme><one space><value>" with the scheme Basic in any case: the value.
std::optional<std::string_view> BasicCredentials(std::string_view fieldValue) {
    const std::size_t schemeEnd = 1 + kBasicScheme.size();
    if (fieldValue.size() <= schemeEnd || fieldValue[0] != ' ' || fieldValue[schemeEnd] != ' ' ||
        !EqualIgnoringCase(fieldValue.substr(1, kBasicScheme.size()), kBasicScheme)) {
        return std::nullopt;
    }
    return fieldValue.substr(schemeEnd + 1);
}

}  // namespace

Token TakeToken(std::string_view text, char stop, std::size_t capacity) {
    for (std::size_t i = 0;; ++i) {
        if (i < text.size() && text[i] == stop) {
            return {text.substr(0, i), true};
        }
        if (i == text.size() || text[i] == '\r' || text[i] == '\0' || i + 1 == capacity) {
            return {text.substr(0, i), false};
        }
    }
}

std::optional<std::string_view> FindHeaderValue(std::string_view head, std::string_view name) {
    std::size_t lineStart = head.find(kLineEnd);
    while (lineStart != std::string_view::npos) {
        lineStart += kLineEnd.size();
        const std::size_t lineEnd = head.find(kLineEnd, lineStart);
        if (lineEnd == std::string_view::npos || lineEnd == lineStart) {
            return std::nullopt;  // the blank line, or a head cut short
        }
        const std::string_view line = head.substr(lineStart, lineEnd - lineStart);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            EqualIgnoringCase(line.substr(0, name.size()), name)) {
            const std::string_view value = line.substr(name.size() + 1);
            return value.substr(0, value.find('\r'));
        }
        lineStart = lineEnd;
    }
    return std::nullopt;
}

ParsedRequest ParseRequestHead(std::string_view head) {
    const std::string_view text = head.substr(0, head.find('\0'));
    ParsedRequest request;
    request.fixedAnswer = HttpStatusCode::BadRequest;
    request.method = TakeToken(text, ' ', kMethodBytes).text;
    if (request.method != kGet || text.size() <= kPathStart) {
        return request;
    }
    const Token path = TakeToken(text.substr(kPathStart), ' ', kPathBytes);
    if (!path.stopped) {
        return request;
    }
    request.fixedAnswer.reset();
    request.path = path.text;
    if (const auto field = FindHeaderValue(text, kAuthorizationName)) {
        request.basicCredentials = BasicCredentials(*field);
    }
    return request;
}

std::size_t FindHeadEnd(const char* bytes, std::size_t from, std::size_t to) {
    for (std::size_t i = from < kFirstHeadEnd ? kFirstHeadEnd : from; i < to; ++i) {
        if (bytes[i] == '\n' && bytes[i - 1] == '\r' && bytes[i - 2] == '\n' && bytes[i - 3] == '\r') {
            return i + 1;
        }
    }
    return 0;
}

bool SameTextInConstantTime(std::string_view presented, std::string_view expected) {
    unsigned difference = presented.size() == expected.size() ? 0u : 1u;
    for (std::size_t i = 0; i < presented.size(); ++i) {
        const unsigned char wanted = i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0u;
        difference |= static_cast<unsigned char>(presented[i]) ^ wanted;
    }
    return difference == 0;
}
