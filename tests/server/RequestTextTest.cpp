#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "server/RequestText.h"

namespace {

struct TokenCase {
    const char* source;
    std::size_t capacity;
    char stop;
    bool stopped;
    const char* token;
};

TEST(TakeToken, StopsAtStopCharacterCarriageReturnEndOrCapacity) {
    const TokenCase cases[] = {
        {"GET / HTTP/1.1\r\n", 12, ' ', true, "GET"},
        {"/a%20b HTTP/1.1", 1024, ' ', true, "/a%20b"},
        {" HTTP/1.1", 1024, ' ', true, ""},                        // two spaces after the method: empty path
        {"/index.html\r\n\r\n", 1024, ' ', false, "/index.html"},  // no version
        {"/path", 1024, ' ', false, "/path"},                      // end of the text first
        {"abcdef ", 4, ' ', false, "abc"},                         // full: capacity - 1 characters
        {"abc ", 4, ' ', true, "abc"},                             // the stop test comes before the full test
        {"dmFsdWU=\r\n", 200, '\r', true, "dmFsdWU="},             // CR as stop character ends successfully
        {"", 8, ' ', false, ""},
    };
    for (const auto& c : cases) {
        const Token token = TakeToken(c.source, c.stop, c.capacity);
        EXPECT_EQ(token.stopped, c.stopped) << c.source;
        EXPECT_EQ(token.text, c.token) << c.source;
    }
    EXPECT_EQ(TakeToken(std::string_view("ab\0c d", 6), ' ', 12).text, "ab") << "a NUL ends the text";
}

TEST(FindHeaderValue, FirstHeaderLineOfTheNameInAnyCase) {
    const std::string_view head =
        "GET / HTTP/1.1\r\nAuthorization: Basic one\r\nAuthorization: Basic two\r\n\r\n";
    EXPECT_EQ(FindHeaderValue(head, "Authorization"), " Basic one");
    EXPECT_EQ(FindHeaderValue(head, "AUTHORIZATION"), " Basic one");
    EXPECT_EQ(FindHeaderValue("GET / HTTP/1.1\r\nhost:x\r\n\r\n", "Host"), "x");
    EXPECT_EQ(FindHeaderValue("GET / HTTP/1.1\r\nHost: a\rb\r\n\r\n", "Host"), " a") << "ends at the CR";
    const char* absent[] = {
        "GET / HTTP/1.1\r\n\r\n",
        "GET /?Host:x HTTP/1.1\r\n\r\n",            // the request line is no header line
        "GET / HTTP/1.1\r\nX-Host: x\r\n\r\n",      // only the whole name counts
        "GET / HTTP/1.1\r\nHost : x\r\n\r\n",       // the colon follows the name at once
        "GET / HTTP/1.1\r\nX: a\nHost: x\r\n\r\n",  // a bare LF does not start a line
        "GET / HTTP/1.1\r\n\r\nHost: x\r\n\r\n",    // behind the blank line
        "GET / HTTP/1.1\r\nX: 1\r\nHost: x",        // a line without its end
    };
    for (const char* text : absent) {
        EXPECT_EQ(FindHeaderValue(text, "Host"), std::nullopt) << text;
    }
}

TEST(HeadEnd, RecognisedFromTheFifthByteOnOnly) {
    struct Case {
        std::string bytes;
        std::size_t from;
        std::size_t end;
    };
    const Case cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", 0, 18},
        {"\r\n\r\n", 0, 0},      // nothing but the blank line is not a head
        {"\r\n\r\n\r\n", 0, 6},  // ... but the next CR LF ends one
        {"x\r\n\r\n", 0, 5},
        {"GET / HTTP/1.1\r\n\r\nbody\r\n\r\n", 0, 18},  // the first end counts
        {"GET / HTTP/1.1\n\n\r\n", 0, 0},
        {std::string("GET /\0\r\n\r\n", 10), 0, 10},  // NUL bytes do not end the scan
        {"GET / HTTP/1.1\r\n\r\n", 17, 18},           // scanning new bytes looks back at old ones
        {"GET / HTTP/1.1\r\n\r\n", 18, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindHeadEnd(c.bytes.data(), c.from, c.bytes.size()), c.end) << c.bytes;
    }
}

TEST(ConstantTimeCompare, EqualOnlyForTheSameBytes) {
    EXPECT_TRUE(SameTextInConstantTime("dXNlcjpwYXNz", "dXNlcjpwYXNz"));
    EXPECT_TRUE(SameTextInConstantTime("", ""));
    EXPECT_FALSE(SameTextInConstantTime("dXNlcjpwYXNz ", "dXNlcjpwYXNz"));
    EXPECT_FALSE(SameTextInConstantTime("dXNlcjpwYXN", "dXNlcjpwYXNz"));
    EXPECT_FALSE(SameTextInConstantTime("eXNlcjpwYXNz", "dXNlcjpwYXNz"));
    EXPECT_FALSE(SameTextInConstantTime("", "Og=="));
    EXPECT_FALSE(SameTextInConstantTime("\xC3\xA9", "\xC3\xA8"));
}

}  // namespace
