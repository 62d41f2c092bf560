#pragma once

// Counts the bytes of the C heap in use, for the benchmark's memory figures. Linking
// CountingAllocator.cpp into a program replaces malloc and its family for the whole process (libjpeg and
// Xlib included) with glibc's own allocator plus counting.

#include <cstdint>

namespace bench {

// Bytes in use now, and the most in use since the last ResetPeak.
std::int64_t HeapInUse();
std::int64_t HeapPeak();
void ResetPeak();

}  // namespace bench
