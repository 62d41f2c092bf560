#include <gtest/gtest.h>

#include <string>

#include "server/Base64.h"

namespace {

std::string Encode(const std::string& source) {
    std::string destination(Base64Capacity(source.size()), '#');
    Base64Encode(destination.data(), source.c_str());
    EXPECT_EQ(destination.back(), '\0') << "the terminator sits in the last byte of the capacity";
    return destination.c_str();
}

TEST(Base64, MatchesTheVectorsOfRfc4648) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(Encode(plain), encoded) << plain;
    }
}

TEST(Base64, EncodesCredentialsAsBrowsersSendThem) {
    EXPECT_EQ(Encode("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(Encode(":"), "Og==");
}

TEST(Base64, TakesBytesAbove0x7FAsUnsigned) {
    // Shift-JIS "user" in katakana and bytes at the top of the range.
    EXPECT_EQ(Encode("\x83\x86\x81\x5B\x83\x55:pw"), "g4aBW4NVOnB3");
    EXPECT_EQ(Encode("\xFF\xFF\xFF"), "////");
    EXPECT_EQ(Encode("\xFB\xEF"), "++8=");
    EXPECT_EQ(Encode("\x80"), "gA==");
}

TEST(Base64, DigitsCoverTheWholeAlphabet) {
    std::string digits;
    for (unsigned value = 0; value < 64; ++value) {
        digits += Base64Digit(value);
    }
    EXPECT_EQ(digits, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(Base64, CapacityHoldsTheLongestForm) {
    EXPECT_EQ(Base64Capacity(0), 1u);
    EXPECT_EQ(Base64Capacity(1), 5u);
    EXPECT_EQ(Base64Capacity(3), 5u);
    EXPECT_EQ(Base64Capacity(4), 9u);
    EXPECT_EQ(Encode(std::string(148, 'a')).size(), 200u);
}

}  // namespace
