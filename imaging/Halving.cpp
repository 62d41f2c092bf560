#include "imaging/Halving.h"

#include <cstddef>

namespace imaging {
namespace {

constexpr int kBytesPerPixel = 3;

// One output row from two source rows. The byte loop with fixed 3-byte pixels and restrict pointers is
// written so that the compiler can vectorise it.
void HalveRow(const std::uint8_t* __restrict upper, const std::uint8_t* __restrict lower, int halfWidth,
              std::uint8_t* __restrict out) {
    for (int m = 0; m < halfWidth; ++m) {
        const std::uint8_t* a = upper + 2 * kBytesPerPixel * m;
        const std::uint8_t* b = lower + 2 * kBytesPerPixel * m;
        std::uint8_t* o = out + kBytesPerPixel * m;
        for (int c = 0; c < kBytesPerPixel; ++c) {
            const unsigned sum = unsigned{a[c]} + a[c + kBytesPerPixel] + b[c] + b[c + kBytesPerPixel];
            o[c] = static_cast<std::uint8_t>(sum >> 2);
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
