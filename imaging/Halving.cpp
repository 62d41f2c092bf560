#include "imaging/Halving.h"

#include <algorithm>
#include <cstddef>

#include "platform/Drawing.h"

namespace imaging {
namespace {

using platform::kBytesPerPixel;
// Output pixels handled per pass; their column sums live on the stack.
constexpr int kChunkPixels = 128;
constexpr int kChunkBytes = 2 * kBytesPerPixel * kChunkPixels;

// Two plain loops per chunk, which the compiler vectorises: the column sums of the two source rows in
// 16-bit lanes, then the sum of each pair of neighbouring pixels, shifted. A full chunk has a constant
// trip count, so even the cheap vectoriser of -O2 takes it.
template <int kCount>
void HalveChunk(const std::uint8_t* __restrict upper, const std::uint8_t* __restrict lower, int count,
                std::uint8_t* __restrict out) {
    std::uint16_t sums[kChunkBytes];
    const int pixels = kCount > 0 ? kCount : count;
    for (int i = 0; i < 2 * kBytesPerPixel * pixels; ++i) {
        sums[i] = static_cast<std::uint16_t>(upper[i] + lower[i]);
    }
    for (int m = 0; m < pixels; ++m) {
        const std::uint16_t* pair = sums + 2 * kBytesPerPixel * m;
        out[kBytesPerPixel * m] = static_cast<std::uint8_t>((pair[0] + pair[3]) >> 2);
        out[kBytesPerPixel * m + 1] = static_cast<std::uint8_t>((pair[1] + pair[4]) >> 2);
        out[kBytesPerPixel * m + 2] = static_cast<std::uint8_t>((pair[2] + pair[5]) >> 2);
    }
}

void HalveRow(const std::uint8_t* upper, const std::uint8_t* lower, int halfWidth, std::uint8_t* out) {
    for (int start = 0; start < halfWidth; start += kChunkPixels) {
        const std::size_t in = static_cast<std::size_t>(2 * kBytesPerPixel) * start;
        const std::size_t at = static_cast<std::size_t>(kBytesPerPixel) * start;
        const int count = std::min(kChunkPixels, halfWidth - start);
        if (count == kChunkPixels) {
            HalveChunk<kChunkPixels>(upper + in, lower + in, count, out + at);
        } else {
            HalveChunk<0>(upper + in, lower + in, count, out + at);
        }
    }
}

}  // namespace

void HalvePicture(const std::uint8_t* const* fullRows, int fullWidth, int fullHeight,
                  std::uint8_t* const* halfRows) {
    const int halfWidth = fullWidth / 2;
    const int halfHeight = fullHeight / 2;
    for (int k = 0; k < halfHeight; ++k) {
        HalveRow(fullRows[2 * k], fullRows[2 * k + 1], halfWidth, halfRows[k]);
    }
}

}  // namespace imaging
