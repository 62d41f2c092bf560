#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/DibImage.h"
#include "platform/Drawing.h"

using platform::DrawingSurface;

namespace {

TEST(DrawingSurface, RefusesAPixelArrayItCannotCover) {
    std::vector<std::uint8_t> pixels(64);
    EXPECT_EQ(DrawingSurface::Create(nullptr, 4, 4, 12), nullptr);
    EXPECT_EQ(DrawingSurface::Create(pixels.data(), 0, 4, 12), nullptr);
    EXPECT_EQ(DrawingSurface::Create(pixels.data(), 4, 4, 11), nullptr);
    EXPECT_NE(DrawingSurface::Create(pixels.data(), 4, 4, 12), nullptr);
}

// Text hanging over every edge only touches the pixels inside; the guard bytes around the picture stay.
TEST(DrawingSurface, ClipsTextAtEveryEdge) {
    constexpr int kWidth = 30;
    constexpr int kHeight = 10;
    const std::size_t stride = imaging::DibStride(kWidth);
    constexpr std::size_t kGuard = 64;
    std::vector<std::uint8_t> memory(kGuard + stride * kHeight + kGuard, 0xAB);
    std::uint8_t* bits = memory.data() + kGuard;
    std::memset(bits, 0, stride * kHeight);
    auto surface = DrawingSurface::Create(bits, kWidth, kHeight, static_cast<int>(stride));
    ASSERT_TRUE(surface);
    surface->SetTextColor(platform::Rgb{255, 255, 255});
    surface->DrawText(-6, -6, "WWWWWWWW");
    surface->DrawText(20, 4, "WWWWWWWW");
    surface->SetTextAlign(platform::TextAlign::Right);
    surface->DrawText(4, 4, "JPEG圧縮中");
    int lit = 0;
    for (std::size_t i = 0; i < stride * kHeight; ++i) {
        lit += bits[i] != 0;
    }
    EXPECT_GT(lit, 0);
    for (std::size_t i = 0; i < kGuard; ++i) {
        ASSERT_EQ(memory[i], 0xAB);
        ASSERT_EQ(memory[kGuard + stride * kHeight + i], 0xAB);
    }
}

}  // namespace
