#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/linux/wayland/FrameCopy.h"

namespace {

using platform::linux_wayland::CopyScreenArea;
using platform::linux_wayland::CopyUpright;
using platform::linux_wayland::Frame;
using platform::linux_wayland::OutputTransform;
using platform::linux_wayland::PictureView;
using platform::linux_wayland::PixelOrder;

// A 3 x 2 buffer whose pixels are numbered 1..6 row by row, in the blue byte, with green = 10 * blue and
// red = 20 * blue, stored with a padded stride.
constexpr int kWidth = 3;
constexpr int kHeight = 2;
constexpr int kStride = kWidth * 4 + 4;

std::vector<std::uint8_t> NumberedBuffer(PixelOrder order) {
    std::vector<std::uint8_t> bytes(kStride * kHeight, 0xEE);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const auto number = static_cast<std::uint8_t>(y * kWidth + x + 1);
            std::uint8_t* pixel = bytes.data() + y * kStride + x * 4;
            const bool bgrx = order == PixelOrder::Bgrx;
            pixel[bgrx ? 0 : 2] = number;
            pixel[1] = static_cast<std::uint8_t>(10 * number);
            pixel[bgrx ? 2 : 0] = static_cast<std::uint8_t>(20 * number);
        }
    }
    return bytes;
}

// The upright picture as numbers, rows top-down, read from a bottom-up 24-bit picture; checks that each
// pixel's three bytes agree with its number.
std::vector<std::vector<int>> Numbers(const std::vector<std::uint8_t>& bits, int width, int height,
                                      int stride) {
    std::vector<std::vector<int>> rows;
    for (int y = 0; y < height; ++y) {
        std::vector<int> row;
        const std::uint8_t* line = bits.data() + (height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const int number = line[3 * x];
            EXPECT_EQ(line[3 * x + 1], static_cast<std::uint8_t>(10 * number))
                << "green at " << x << "," << y;
            EXPECT_EQ(line[3 * x + 2], static_cast<std::uint8_t>(20 * number)) << "red at " << x << "," << y;
            row.push_back(number);
        }
        rows.push_back(row);
    }
    return rows;
}

struct TransformCase {
    OutputTransform transform;
    bool yInverted;
    std::vector<std::vector<int>> upright;
};

class FrameCopyTransform : public testing::TestWithParam<TransformCase> {};

// The buffer reads   1 2 3   top-down in memory.
//                    4 5 6
TEST_P(FrameCopyTransform, TurnsTheBufferUpright) {
    const TransformCase& test = GetParam();
    for (const PixelOrder order : {PixelOrder::Bgrx, PixelOrder::Rgbx}) {
        const std::vector<std::uint8_t> buffer = NumberedBuffer(order);
        const Frame frame{buffer.data(), kWidth, kHeight, kStride, order, test.yInverted, test.transform};
        const Point size = UprightSize(frame);
        ASSERT_EQ(size.y, static_cast<int>(test.upright.size()));
        ASSERT_EQ(size.x, static_cast<int>(test.upright[0].size()));
        const int stride = (size.x * 3 + 3) / 4 * 4;
        std::vector<std::uint8_t> bits(stride * size.y, 0);
        CopyUpright(frame, Rect{0, 0, size.x, size.y}, PictureView{bits.data(), size.x, size.y, stride},
                    Point{});
        EXPECT_EQ(Numbers(bits, size.x, size.y, stride), test.upright);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryTransform, FrameCopyTransform,
    testing::Values(TransformCase{OutputTransform::Normal, false, {{1, 2, 3}, {4, 5, 6}}},
                    TransformCase{OutputTransform::Normal, true, {{4, 5, 6}, {1, 2, 3}}},
                    TransformCase{OutputTransform::Rotated180, false, {{6, 5, 4}, {3, 2, 1}}},
                    TransformCase{OutputTransform::Flipped, false, {{3, 2, 1}, {6, 5, 4}}},
                    TransformCase{OutputTransform::Flipped180, false, {{4, 5, 6}, {1, 2, 3}}},
                    TransformCase{OutputTransform::Rotated90, false, {{4, 1}, {5, 2}, {6, 3}}},
                    TransformCase{OutputTransform::Rotated90, true, {{1, 4}, {2, 5}, {3, 6}}},
                    TransformCase{OutputTransform::Rotated270, false, {{3, 6}, {2, 5}, {1, 4}}},
                    TransformCase{OutputTransform::Flipped90, false, {{1, 4}, {2, 5}, {3, 6}}},
                    TransformCase{OutputTransform::Flipped270, false, {{6, 3}, {5, 2}, {4, 1}}}));

// A window's part of the picture lands at the target's origin; what lies outside the picture or the
// target is left alone.
TEST(FrameCopyRegion, CopiesOnlyTheSourceAndClipsToTheTarget) {
    const std::vector<std::uint8_t> buffer = NumberedBuffer(PixelOrder::Bgrx);
    const Frame frame{buffer.data(),          kWidth, kHeight, kStride, PixelOrder::Bgrx, false,
                      OutputTransform::Normal};
    const int stride = 8;
    std::vector<std::uint8_t> bits(stride * 2, 0);
    CopyUpright(frame, Rect{1, 0, 3, 2}, PictureView{bits.data(), 2, 2, stride}, Point{});
    EXPECT_EQ(Numbers(bits, 2, 2, stride), (std::vector<std::vector<int>>{{2, 3}, {5, 6}}));

    std::vector<std::uint8_t> small(stride * 1, 0);
    CopyUpright(frame, Rect{0, 0, 3, 2}, PictureView{small.data(), 2, 1, stride}, Point{1, 0});
    EXPECT_EQ(Numbers(small, 2, 1, stride), (std::vector<std::vector<int>>{{0, 1}}));
    EXPECT_EQ(small[6], 0) << "the row padding was written";
}

// A desktop's copy of an area reaching past the picture's edge: black there, whatever the target held.
TEST(FrameCopyRegion, AScreenAreaPastThePictureIsBlackThere) {
    const std::vector<std::uint8_t> buffer = NumberedBuffer(PixelOrder::Bgrx);
    const Frame frame{buffer.data(),          kWidth, kHeight, kStride, PixelOrder::Bgrx, false,
                      OutputTransform::Normal};
    const int stride = 12;
    std::vector<std::uint8_t> bits(stride * 2, 0xff);
    CopyScreenArea(frame, Rect{1, 0, 4, 2}, PictureView{bits.data(), 3, 2, stride});
    EXPECT_EQ(Numbers(bits, 3, 2, stride), (std::vector<std::vector<int>>{{2, 3, 0}, {5, 6, 0}}));
}

}  // namespace
