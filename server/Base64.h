#pragma once

#include <cstddef>

// Base64 as RFC 4648 section 4 defines it: the alphabet A-Z, a-z, 0-9, "+", "/", "=" as padding, no line
// breaks. Credentials are compared in this form and never decoded.

// The character for a 6-bit value (0..63).
char Base64Digit(unsigned value);

// Bytes that the Base64 form of length source bytes takes, its terminating NUL included.
constexpr std::size_t Base64Capacity(std::size_t length) {
    return (length + 2) / 3 * 4 + 1;
}

// Writes the Base64 form of the source's bytes up to its NUL, each taken as unsigned, and a NUL. The
// destination holds at least Base64Capacity(strlen(source)) bytes.
void Base64Encode(char* destination, const char* source);
