#pragma once

// Copies one row of 32-bit pixels stored as blue, green, red, unused (the usual little-endian layout of a
// 24-bit X screen) into 3-byte blue, green, red pixels. Exactly 3 * count bytes of target are written.

#include <cstdint>

namespace platform::linux_x11 {

// The fastest copy this processor offers.
void CopyBgrxRow(const std::uint8_t* source, int count, std::uint8_t* target);
// The copy that works everywhere; CopyBgrxRow gives the same bytes.
void CopyBgrxRowPortable(const std::uint8_t* source, int count, std::uint8_t* target);

}  // namespace platform::linux_x11
