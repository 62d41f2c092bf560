#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "imaging/DibImage.h"
#include "imaging/Halving.h"

using imaging::DibImage;
using imaging::HalvePicture;

namespace {

void SetPixel(DibImage& image, int x, int y, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    std::uint8_t* pixel = image.GetRows()[y] + 3 * x;
    pixel[0] = blue;
    pixel[1] = green;
    pixel[2] = red;
}

TEST(Halving, TruncatesTheSumOfFourBytes) {
    DibImage full;
    DibImage half;
    ASSERT_EQ(full.Create(2, 2, 24), 1);
    ASSERT_EQ(half.Create(1, 1, 24), 1);
    // Per channel: blue 10+20+30+41 = 101 -> 25 (not 26); green 4 x 255 -> 255; red 1+1+1+0 -> 0.
    SetPixel(full, 0, 0, 10, 255, 1);
    SetPixel(full, 1, 0, 20, 255, 1);
    SetPixel(full, 0, 1, 30, 255, 1);
    SetPixel(full, 1, 1, 41, 255, 0);
    HalvePicture(full.GetRows(), full.width, full.height, half.GetRows());
    const std::uint8_t* pixel = half.GetRows()[0];
    EXPECT_EQ(pixel[0], 25);
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[2], 0);
}

struct OddSize {
    int width;
    int height;
};

class HalvingOddSizes : public testing::TestWithParam<OddSize> {};

// Each 2 x 2 block carries its own block coordinates; the odd last column and row are white and must not
// show anywhere in the result.
TEST_P(HalvingOddSizes, KeepsEachBlockInPlaceAndLeavesOddEdgesOut) {
    const int width = GetParam().width;
    const int height = GetParam().height;
    DibImage full;
    DibImage half;
    ASSERT_EQ(full.Create(width, height, 24), 1);
    ASSERT_EQ(half.Create(width / 2, height / 2, 24), 1);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool edge = x == width - 1 || y == height - 1;
            const auto blue = static_cast<std::uint8_t>(edge ? 255 : (x / 2) & 0xFF);
            const auto green = static_cast<std::uint8_t>(edge ? 255 : (y / 2) & 0xFF);
            const auto red = static_cast<std::uint8_t>(edge ? 255 : (x / 2) >> 8);
            SetPixel(full, x, y, blue, green, red);
        }
    }
    HalvePicture(full.GetRows(), full.width, full.height, half.GetRows());
    for (int k = 0; k < half.height; ++k) {
        for (int m = 0; m < half.width; ++m) {
            const std::uint8_t* pixel = half.GetRows()[k] + 3 * m;
            ASSERT_EQ(pixel[0], m & 0xFF) << m << "," << k;
            ASSERT_EQ(pixel[1], k & 0xFF) << m << "," << k;
            ASSERT_EQ(pixel[2], m >> 8) << m << "," << k;
        }
    }
}

// 1025 x 769 halves to 512 x 384; 267 leaves a short run after whole runs of output pixels.
INSTANTIATE_TEST_SUITE_P(Sizes, HalvingOddSizes,
                         testing::Values(OddSize{1025, 769}, OddSize{267, 5}, OddSize{3, 3}));

TEST(Halving, WritesOnlyThePixelsOfEachRow) {
    // 5 x 4 halves to 2 x 2: 6 bytes per row of an 8-byte stride; the 2 padding bytes stay as they were.
    DibImage full;
    DibImage half;
    ASSERT_EQ(full.Create(5, 4, 24), 1);
    ASSERT_EQ(half.Create(2, 2, 24), 1);
    std::memset(full.bits, 200, full.imageSize);
    std::memset(half.bits, 7, half.imageSize);
    HalvePicture(full.GetRows(), full.width, full.height, half.GetRows());
    for (int k = 0; k < 2; ++k) {
        const std::uint8_t* row = half.GetRows()[k];
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(row[i], 200);
        }
        EXPECT_EQ(row[6], 7);
        EXPECT_EQ(row[7], 7);
    }
}

}  // namespace
