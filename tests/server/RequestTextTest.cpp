#include <gtest/gtest.h>

#include <string>

#include "server/RequestText.h"

namespace {

struct CopyCase {
    const char* source;
    std::size_t capacity;
    char stop;
    int result;
    const char* copied;
};

TEST(CopyToken, StopsAtStopCharacterCarriageReturnEndOrFullDestination) {
    const CopyCase cases[] = {
        {"GET / HTTP/1.1\r\n", 12, ' ', 1, "GET"},
        {"/a%20b HTTP/1.1", 1024, ' ', 1, "/a%20b"},
        {" HTTP/1.1", 1024, ' ', 1, ""},                       // two spaces after the method: empty path
        {"/index.html\r\n\r\n", 1024, ' ', 0, "/index.html"},  // no version
        {"/path", 1024, ' ', 0, "/path"},                      // end of the text first
        {"abcdef ", 4, ' ', 0, "abc"},                         // full: capacity - 1 characters
        {"abc ", 4, ' ', 1, "abc"},                            // the stop test comes before the full test
        {"dmFsdWU=\r\n", 200, '\r', 1, "dmFsdWU="},            // CR as stop character ends successfully
        {"", 8, ' ', 0, ""},
    };
    for (const auto& c : cases) {
        std::string destination(c.capacity, 'x');
        EXPECT_EQ(CopyToken(destination.data(), c.capacity, c.source, c.stop), c.result) << c.source;
        EXPECT_STREQ(destination.c_str(), c.copied) << c.source;
    }
}

TEST(FindAfter, PointsBehindFirstOccurrence) {
    const char text[] = "GET / HTTP/1.1\r\nAuthorization: Basic one\r\nAuthorization: Basic two\r\n";
    const char* found = FindAfter(text, "Authorization: Basic ");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::string(found, 3), "one");
    EXPECT_EQ(FindAfter(text, "authorization: basic "), nullptr);
    EXPECT_EQ(FindAfter("", "x"), nullptr);
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
