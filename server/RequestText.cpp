#include "server/RequestText.h"

#include <cstring>

namespace {

// The shortest head the end test recognises ends at byte 4: a head of nothing but CR LF CR LF is not one.
constexpr std::size_t kFirstHeadEnd = 4;

}  // namespace

int CopyToken(char* destination, std::size_t capacity, const char* source, char stop) {
    for (std::size_t i = 0;; ++i) {
        const char c = source[i];
        if (c == stop) {
            destination[i] = '\0';
            return 1;
        }
        if (c == '\r' || c == '\0' || i + 1 == capacity) {
            destination[i] = '\0';
            return 0;
        }
        destination[i] = c;
    }
}

const char* FindAfter(const char* text, const char* needle) {
    const char* found = std::strstr(text, needle);
    return found == nullptr ? nullptr : found + std::strlen(needle);
}

std::size_t FindHeadEnd(const char* bytes, std::size_t from, std::size_t to) {
    for (std::size_t i = from < kFirstHeadEnd ? kFirstHeadEnd : from; i < to; ++i) {
        if (bytes[i] == '\n' && bytes[i - 1] == '\r' && bytes[i - 2] == '\n' && bytes[i - 3] == '\r') {
            return i + 1;
        }
    }
    return 0;
}

bool SameTextInConstantTime(const char* presented, const char* expected) {
    const std::size_t presentedLength = std::strlen(presented);
    const std::size_t expectedLength = std::strlen(expected);
    unsigned difference = presentedLength == expectedLength ? 0u : 1u;
    for (std::size_t i = 0; i < presentedLength; ++i) {
        const unsigned char wanted = i < expectedLength ? static_cast<unsigned char>(expected[i]) : 0u;
        difference |= static_cast<unsigned char>(presented[i]) ^ wanted;
    }
    return difference == 0;
}
