#include "platform/linux/ScreenRowCopy.h"

#include <bit>
#include <cstring>

#include "platform/Drawing.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QV_HAVE_SSSE3_COPY 1
#endif

namespace platform::linux_x11 {
namespace {

constexpr int kSourceBytesPerPixel = 4;

void CopyTail(const std::uint8_t* source, int from, int count, std::uint8_t* target) {
    for (int x = from; x < count; ++x) {
        target[kBytesPerPixel * x] = source[kSourceBytesPerPixel * x];
        target[kBytesPerPixel * x + 1] = source[kSourceBytesPerPixel * x + 1];
        target[kBytesPerPixel * x + 2] = source[kSourceBytesPerPixel * x + 2];
    }
}

#ifdef QV_HAVE_SSSE3_COPY
// Four pixels per step: one byte shuffle packs 16 source bytes into 12, written with a 16-byte store whose
// last 4 bytes the next step overwrites. A step at x writes bytes 3x..3x+15, so it runs only while
// x + 6 <= count; the rest goes byte by byte.
__attribute__((target("ssse3"))) void CopyBgrxRowSsse3(const std::uint8_t* source, int count,
                                                       std::uint8_t* target) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 6 <= count; x += 4) {
        const __m128i pixels =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + kSourceBytesPerPixel * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + kBytesPerPixel * x),
                         _mm_shuffle_epi8(pixels, pack));
    }
    CopyTail(source, x, count, target);
}

bool HasSsse3() {
    static const bool supported = __builtin_cpu_supports("ssse3") != 0;
    return supported;
}
#endif

}  // namespace

void CopyBgrxRowPortable(const std::uint8_t* __restrict source, int count, std::uint8_t* __restrict target) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Two pixels per step: an 8-byte load, its two triples joined, an overlapping 8-byte store.
        for (; x + 3 < count; x += 2) {
            std::uint64_t pair;
            std::memcpy(&pair, source + kSourceBytesPerPixel * x, sizeof pair);
            const std::uint64_t packed = (pair & 0xFFFFFFu) | ((pair >> 8) & 0xFFFFFF000000u);
            std::memcpy(target + kBytesPerPixel * x, &packed, sizeof packed);
        }
    }
    CopyTail(source, x, count, target);
}

void CopyBgrxRow(const std::uint8_t* source, int count, std::uint8_t* target) {
#ifdef QV_HAVE_SSSE3_COPY
    if (HasSsse3()) {
        CopyBgrxRowSsse3(source, count, target);
        return;
    }
#endif
    CopyBgrxRowPortable(source, count, target);
}

}  // namespace platform::linux_x11
