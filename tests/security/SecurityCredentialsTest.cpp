#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/Base64.h"
#include "tests/support/ServiceFixture.h"

namespace {

std::string Encoded(const std::string& credentials) {
    std::string encoded(Base64Capacity(credentials.size()), '\0');
    Base64Encode(encoded.data(), credentials.c_str());
    encoded.resize(encoded.size() - 1);
    return encoded;
}

class CredentialMatch : public testing::Test {
  protected:
    void SetUp() override {
        harness.service.SetCredentials("Guarded", "admin", "s3cret:pass");
        harness.service.EditSettings([&](Settings& settings) { settings.authenticate = 1; });
        ASSERT_TRUE(harness.Start());
    }

    int StatusFor(const std::string& presented) {
        return Exchange(harness.port, "GET / HTTP/1.1\r\nAuthorization: Basic " + presented + "\r\n\r\n")
            .status;
    }

    ServiceHarness<> harness;
    const std::string expected = Encoded("admin:s3cret:pass");
};

// The comparison takes every presented byte whatever matched before it (reviewed in RequestText.cpp), so
// its time says nothing about how much was guessed right; what it must still be is an exact match. Every
// near miss a guesser could walk through is refused: each proper prefix, the value with any one
// character changed, and the value with anything behind it.
TEST_F(CredentialMatch, OnlyTheExactEncodedValuePasses) {
    EXPECT_EQ(StatusFor(expected), 200);
    std::vector<std::string> nearMisses;
    for (std::size_t length = 0; length < expected.size(); ++length) {
        nearMisses.push_back(expected.substr(0, length));
    }
    for (std::size_t position = 0; position < expected.size(); ++position) {
        std::string changed = expected;
        changed[position] = changed[position] == 'A' ? 'B' : 'A';
        nearMisses.push_back(changed);
    }
    for (const char* tail : {"=", "A", "AAAA", " ", "\t", "\x01", "\x80"}) {
        nearMisses.push_back(expected + tail);
    }
    nearMisses.push_back(Encoded("admin:s3cret:pas"));
    nearMisses.push_back(Encoded("admin:s3cret:passs"));
    nearMisses.push_back(Encoded("Admin:s3cret:pass"));
    for (const std::string& presented : nearMisses) {
        EXPECT_EQ(StatusFor(presented), 401) << presented;
    }
}

}  // namespace
