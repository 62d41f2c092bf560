#include "server/Base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned kDigitMask = 0x3F;
constexpr char kPadding = '=';

}  // namespace

char Base64Digit(unsigned value) {
    return kAlphabet[value & kDigitMask];
}

void Base64Encode(char* destination, const char* source) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    char* out = destination;
    std::size_t i = 0;
    for (; bytes[i] != 0 && bytes[i + 1] != 0 && bytes[i + 2] != 0; i += 3) {
        const unsigned b0 = bytes[i], b1 = bytes[i + 1], b2 = bytes[i + 2];
        *out++ = Base64Digit(b0 >> 2);
        *out++ = Base64Digit(((b0 & 0x03) << 4) | (b1 >> 4));
        *out++ = Base64Digit(((b1 & 0x0F) << 2) | (b2 >> 6));
        *out++ = Base64Digit(b2);
    }
    if (bytes[i] != 0) {
        const unsigned b0 = bytes[i];
        const unsigned b1 = bytes[i + 1];  // 0 when only one byte remains
        *out++ = Base64Digit(b0 >> 2);
        *out++ = Base64Digit(((b0 & 0x03) << 4) | (b1 >> 4));
        *out++ = b1 != 0 ? Base64Digit((b1 & 0x0F) << 2) : kPadding;
        *out++ = kPadding;
    }
    *out = '\0';
}
