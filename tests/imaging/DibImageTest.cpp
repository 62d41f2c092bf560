#include <gtest/gtest.h>

#include <cstddef>

#include "imaging/DibImage.h"

using imaging::DibImage;
using imaging::DibStatus;

namespace {

struct StrideCase {
    int width;
    std::size_t stride;
};

class DibImageStride : public testing::TestWithParam<StrideCase> {};

TEST_P(DibImageStride, PadsRowsAndPointsRowZeroAtTheLastRowInMemory) {
    const StrideCase& c = GetParam();
    constexpr int kHeight = 3;
    DibImage image;
    ASSERT_EQ(image.Create(c.width, kHeight, 24), 1);
    EXPECT_EQ(image.status, DibStatus::Ok);
    EXPECT_EQ(image.imageSize, c.stride * kHeight);
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, kHeight);
    ASSERT_NE(image.GetMemoryDC(), nullptr);
    EXPECT_EQ(image.GetMemoryDC()->Stride(), static_cast<int>(c.stride));
    EXPECT_EQ(image.GetMemoryDC()->Bits(), image.bits);

    std::uint8_t** rows = image.GetRows();
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows[0], image.bits + (kHeight - 1) * c.stride);
    EXPECT_EQ(rows[1], image.bits + c.stride);
    EXPECT_EQ(rows[kHeight - 1], image.bits);
}

INSTANTIATE_TEST_SUITE_P(Widths, DibImageStride,
                         testing::Values(StrideCase{1, 4}, StrideCase{2, 8}, StrideCase{4, 12},
                                         StrideCase{1025, 3076}));

TEST(DibImage, FillsTheHeaderOfA24BitBottomUpPicture) {
    DibImage image;
    ASSERT_EQ(image.Create(7, 5, 24), 1);
    ASSERT_NE(image.infoHeader, nullptr);
    EXPECT_EQ(image.headerSize, 40u);
    EXPECT_EQ(image.infoHeader->size, 40u);
    EXPECT_EQ(image.infoHeader->width, 7);
    EXPECT_EQ(image.infoHeader->height, 5);
    EXPECT_EQ(image.infoHeader->planes, 1);
    EXPECT_EQ(image.infoHeader->bitCount, 24);
    EXPECT_EQ(image.infoHeader->compression, 0u);
    // A new picture is black, like a fresh bitmap.
    for (std::size_t i = 0; i < image.imageSize; ++i) {
        ASSERT_EQ(image.bits[i], 0) << i;
    }
}

TEST(DibImage, ZeroByZeroOnAFreshImageFailsWithoutSurface) {
    DibImage image;
    EXPECT_EQ(image.Create(0, 0, 24), 0);
    EXPECT_EQ(image.status, DibStatus::NoMemory);
    EXPECT_EQ(image.bits, nullptr);
    EXPECT_EQ(image.GetMemoryDC(), nullptr);
    EXPECT_EQ(image.GetRows(), nullptr);
}

TEST(DibImage, RefusesSizesAndDepthsItCannotHold) {
    DibImage image;
    EXPECT_EQ(image.Create(-3, 4, 24), 0);
    EXPECT_EQ(image.Create(4, 0, 24), 0);
    EXPECT_EQ(image.Create(70000, 1, 24), 0);
    EXPECT_EQ(image.Create(4, 4, 32), 0);
    EXPECT_EQ(image.status, DibStatus::NoMemory);
    EXPECT_EQ(image.GetMemoryDC(), nullptr);
}

TEST(DibImage, ZeroByZeroRecreatesAtTheCurrentSize) {
    DibImage image;
    ASSERT_EQ(image.Create(5, 3, 24), 1);
    image.bits[0] = 99;
    ASSERT_EQ(image.Create(0, 0, 24), 1);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.bits[0], 0);
}

TEST(DibImage, KeepsTheRowTableUntilTheNextCreate) {
    DibImage image;
    ASSERT_EQ(image.Create(3, 4, 24), 1);
    std::uint8_t** first = image.GetRows();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(image.GetRows(), first);

    ASSERT_EQ(image.Create(6, 2, 24), 1);
    std::uint8_t** rebuilt = image.GetRows();
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(rebuilt[0], image.bits + 20);
    EXPECT_EQ(rebuilt[1], image.bits);
}

TEST(DibImage, ReleaseReturnsToTheFreshState) {
    DibImage never;
    EXPECT_EQ(never.Release(), 1);
    EXPECT_EQ(never.bits, nullptr);
    EXPECT_EQ(never.width, 0);

    DibImage image;
    ASSERT_EQ(image.Create(2, 2, 24), 1);
    ASSERT_NE(image.GetRows(), nullptr);
    EXPECT_EQ(image.Release(), 1);
    EXPECT_EQ(image.bits, nullptr);
    EXPECT_EQ(image.rowTable, nullptr);
    EXPECT_EQ(image.GetMemoryDC(), nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    // Like a fresh image, a 0 x 0 request now fails.
    EXPECT_EQ(image.Create(0, 0, 24), 0);
}

}  // namespace
