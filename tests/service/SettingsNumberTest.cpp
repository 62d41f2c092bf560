#include <gtest/gtest.h>

#include <cstdint>

#include "service/SettingsKeys.h"

namespace {

struct NumberCase {
    const char* text;
    std::int32_t expected;
};

TEST(SettingsNumber, ParsesLikeTheFileReaderDoes) {
    const NumberCase cases[] = {
        {"75", 75},
        {"  80", 80},
        {"\t+3", 3},
        {"-1", -1},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"+-5", 0},
        {"1 2", 1},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999999999999", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999", INT32_MIN},
    };
    for (const NumberCase& testCase : cases) {
        EXPECT_EQ(settings::ParseNumber(testCase.text), testCase.expected) << '"' << testCase.text << '"';
    }
}

}  // namespace
