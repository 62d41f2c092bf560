#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/LogLine.h"
#include "tests/support/ServiceFixture.h"

namespace {

std::vector<std::string> SplitLines(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(log.substr(start));  // an unterminated tail: never matches the format
            break;
        }
        lines.push_back(log.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

struct Forged {
    std::string path;    // as sent in the request line
    std::string logged;  // as the log must show it
    int status;
};

// A client controls the request text that goes into the log. Whatever bytes it puts there, each answer
// stays one line of the format: control bytes appear as %XX, so a bare LF or an escape sequence can
// neither start a forged line nor reach a terminal that shows the log; other bytes are kept.
TEST(LogInjection, EveryControlByteIsEscapedAndEachAnswerIsOneLine) {
    ServiceHarness<> harness;
    harness.service.EditSettings([&](Settings& settings) { settings.resolveHostname = 0; });
    ASSERT_TRUE(harness.Start());

    std::vector<Forged> cases;
    for (int byte = 0x01; byte < 0x20; ++byte) {
        if (byte == '\r') {
            continue;  // ends the path: the request is malformed, see below
        }
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
        cases.push_back(
            {"/a" + std::string(1, static_cast<char>(byte)) + "b", "/a" + std::string(escaped) + "b", 404});
    }
    cases.push_back(
        {"/a\x7f"
         "b",
         "/a%7Fb", 404});
    // The blank after the forged date ends the path.
    cases.push_back({"/x\n2024/01/01 00:00:00 /forged 200 180 - 10.0.0.1", "/x%0A2024/01/01", 404});
    cases.push_back({"/\x1b[2J\x1b]0;title\x07", "/%1B[2J%1B]0;title%07", 404});
    cases.push_back({"/\x80\xff\xe3\x81\x82%0A", "/\x80\xff\xe3\x81\x82%0A", 404});
    cases.push_back({"/a\rb", "-", 400});

    for (const Forged& testCase : cases) {
        EXPECT_EQ(Exchange(harness.port, "GET " + testCase.path + " HTTP/1.1\r\n\r\n").status,
                  testCase.status);
    }

    const std::string log = harness.LogText();
    const std::vector<std::string> lines = SplitLines(log);
    ASSERT_EQ(lines.size(), cases.size()) << log;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::optional<LogLine> line = ParseLogLine(lines[i]);
        ASSERT_TRUE(line) << lines[i];
        EXPECT_EQ(line->request, cases[i].logged) << "line " << i;
        EXPECT_EQ(line->request.find(' '), std::string::npos) << "line " << i;
        EXPECT_EQ(line->status, std::to_string(cases[i].status)) << "line " << i;
        EXPECT_EQ(line->host + " " + line->address, "- 127.0.0.1") << "line " << i;
    }
}

}  // namespace
