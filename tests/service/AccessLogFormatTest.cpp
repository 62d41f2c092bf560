#include <gtest/gtest.h>

#include <string>

#include "service/AccessLog.h"

namespace {

TEST(AccessLogFormat, StampsDateAndTimeWithZeroPadding) {
    platform::LocalTime time;
    time.year = 2024;
    time.month = 3;
    time.day = 7;
    time.hour = 4;
    time.minute = 5;
    time.second = 9;
    EXPECT_EQ(access_log::FormatTimeStamp(time), "2024/03/07 04:05:09 ");
}

TEST(AccessLogFormat, TailNamesStatusLengthHostAndAddress) {
    EXPECT_EQ(access_log::FormatTail(200, 180, "", "127.0.0.1"), " 200 180 - 127.0.0.1\r\n");
    EXPECT_EQ(access_log::FormatTail(404, 99, "client.example", "10.0.0.5"),
              " 404 99 client.example 10.0.0.5\r\n");
    EXPECT_EQ(access_log::FormatTail(500, -1, "-", "1.2.3.4"), " 500 -1 - 1.2.3.4\r\n");
}

TEST(AccessLogFormat, EscapesControlBytesOnly) {
    struct EscapeCase {
        std::string text;
        std::string expected;
    };
    const EscapeCase cases[] = {
        {"/click?12,34", "/click?12,34"},
        {"-", "-"},
        {"/a\nb", "/a%0Ab"},
        {"/a\r\n2024/01/01 00:00:00 /forged 200 0 - 1.1.1.1",
         "/a%0D%0A2024/01/01 00:00:00 /forged 200 0 - 1.1.1.1"},
        {std::string("/\x00\x1f\x7f", 4), "/%00%1F%7F"},
        {"/\t x", "/%09 x"},
        {"/%0A stays", "/%0A stays"},
        {"/\x80\xff\x82\xa0", "/\x80\xff\x82\xa0"},
    };
    for (const EscapeCase& testCase : cases) {
        EXPECT_EQ(access_log::EscapeRequestText(testCase.text), testCase.expected);
    }
}

}  // namespace
