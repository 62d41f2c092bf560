#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "server/HttpStatus.h"

// Pure operations on the text of a request head: no sockets, no state. Texts are 8-bit; the method, the
// path and the credentials are compared byte for byte, case-sensitively, while header names and the
// scheme word are matched without regard to case, as HTTP has them.

// The method token: at most 11 characters.
inline constexpr std::size_t kMethodBytes = 12;
// The path: at most 1023 characters.
inline constexpr std::size_t kPathBytes = 1024;

// What a request head asks for. When fixedAnswer is set, that answer is given and nothing else is looked
// at; otherwise the head is a GET of path, and basicCredentials holds the encoded credentials of its
// Authorization header line when it has one with the Basic scheme. The views point into the parsed head.
struct ParsedRequest {
    std::optional<HttpStatusCode> fixedAnswer;
    std::string_view method;
    std::string_view path;
    std::optional<std::string_view> basicCredentials;
};

// Parses a head as ReadRequestHead delivers it (up to and including its blank line); the head's text
// ends at its first NUL. The method is what comes before the first space, CR or end, at most 11
// characters, and must be exactly "GET"; the path is the raw text from the fifth character to the next
// space (no decoding; a CR or the end first, or 1024 characters or more, make the head a bad request).
// Only the first header line named Authorization counts, and only when it reads "Authorization: Basic "
// (one space after the colon and one after the scheme word) followed by the value up to its CR.
ParsedRequest ParseRequestHead(std::string_view head);

// A token of text up to the stop character: stopped is true when the stop character ended it, false when
// a CR or the end of the text came first or capacity - 1 characters were taken. The stop test comes
// first, so a token taken with CR as its stop character ends successfully at the CR.
struct Token {
    std::string_view text;
    bool stopped = false;
};
Token TakeToken(std::string_view text, char stop, std::size_t capacity);

// The value of the first header line of head whose name equals name without regard to case: the text
// behind the colon up to the line's CR, leading blanks included. Lines end with CR LF; the request line
// is not a header line, and nothing behind the blank line is looked at.
std::optional<std::string_view> FindHeaderValue(std::string_view head, std::string_view name);

// Looks at bytes[from] to bytes[to - 1] of a head being read for its end: byte i is LF, i is at least 4,
// and bytes i-1, i-2 and i-3 are CR, LF and CR. Returns the length of the head up to that LF (i + 1), or
// 0 when it is not there. Bytes before from may be looked at, never bytes from to on.
std::size_t FindHeadEnd(const char* bytes, std::size_t from, std::size_t to);

// Whether the presented text equals the expected one. Every byte of presented is compared, whatever
// matched before, so the time taken tells nothing about how much of expected was guessed right.
bool SameTextInConstantTime(std::string_view presented, std::string_view expected);
