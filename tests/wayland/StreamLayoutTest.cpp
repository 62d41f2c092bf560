#include "platform/linux/pipewire/StreamLayout.h"

#include <gtest/gtest.h>

#include <spa/param/video/raw.h>

namespace {

using platform::linux_pipewire::BufferFacts;
using platform::linux_pipewire::OrderOfVideoFormat;
using platform::linux_pipewire::PictureArea;
using platform::linux_pipewire::PictureAreaOf;
using platform::linux_wayland::PixelOrder;

TEST(StreamFormat, AlphaIsIgnoredAndOnlyThe32BitOrdersWeOfferAreRead) {
    EXPECT_EQ(OrderOfVideoFormat(SPA_VIDEO_FORMAT_BGRx), PixelOrder::Bgrx);
    EXPECT_EQ(OrderOfVideoFormat(SPA_VIDEO_FORMAT_BGRA), PixelOrder::Bgrx);
    EXPECT_EQ(OrderOfVideoFormat(SPA_VIDEO_FORMAT_RGBx), PixelOrder::Rgbx);
    EXPECT_EQ(OrderOfVideoFormat(SPA_VIDEO_FORMAT_RGBA), PixelOrder::Rgbx);
    // Alpha or padding first would shift every byte: those are never offered, so never read.
    for (const std::uint32_t format : {SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_RGB,
                                       SPA_VIDEO_FORMAT_I420, SPA_VIDEO_FORMAT_UNKNOWN}) {
        EXPECT_EQ(OrderOfVideoFormat(format), std::nullopt) << format;
    }
    for (const std::uint32_t format : platform::linux_pipewire::kOfferedVideoFormats) {
        EXPECT_NE(OrderOfVideoFormat(format), std::nullopt) << format;
    }
}

constexpr std::uint32_t kFullSize = 64 * 4 * 32;  // a 64 x 32 picture, rows packed

BufferFacts Packed() {
    BufferFacts facts;
    facts.formatWidth = 64;
    facts.formatHeight = 32;
    facts.mappedBytes = kFullSize;
    facts.chunkSize = kFullSize;
    facts.chunkStride = 64 * 4;
    return facts;
}

struct AreaCase {
    const char* name;
    BufferFacts facts;
    std::optional<PictureArea> expected;
};

TEST(StreamBuffer, PictureAreaFollowsChunkAndCropAndNeverReachesPastTheBuffer) {
    const auto with = [](auto change) {
        BufferFacts facts = Packed();
        change(facts);
        return facts;
    };
    const AreaCase cases[] = {
        {"packed rows", Packed(), PictureArea{0, 64, 32, 256}},
        {"no stride given", with([](BufferFacts& f) { f.chunkStride = 0; }), PictureArea{0, 64, 32, 256}},
        {"padded rows", with([](BufferFacts& f) {
             f.chunkStride = 320;
             f.chunkSize = f.mappedBytes = 320 * 32;
         }),
         PictureArea{0, 64, 32, 320}},
        // The last row need not carry its padding.
        {"padded rows, short last row", with([](BufferFacts& f) {
             f.chunkStride = 320;
             f.chunkSize = f.mappedBytes = 320 * 31 + 256;
         }),
         PictureArea{0, 64, 32, 320}},
        {"picture after an offset", with([](BufferFacts& f) {
             f.chunkOffset = 100;
             f.mappedBytes = kFullSize + 100;
         }),
         PictureArea{100, 64, 32, 256}},
        {"crop region", with([](BufferFacts& f) {
             f.crop = Rect{8, 4, 40, 20};
         }),
         PictureArea{4 * 256 + 8 * 4, 32, 16, 256}},
        {"empty crop means the whole picture", with([](BufferFacts& f) {
             f.crop = Rect{0, 0, 0, 0};
         }),
         PictureArea{0, 64, 32, 256}},
        {"crop past the picture", with([](BufferFacts& f) {
             f.crop = Rect{40, 0, 80, 10};
         }),
         std::nullopt},
        {"cursor-only update", with([](BufferFacts& f) { f.chunkSize = 0; }), std::nullopt},
        {"corrupted", with([](BufferFacts& f) { f.corrupted = true; }), std::nullopt},
        {"stride narrower than a row", with([](BufferFacts& f) { f.chunkStride = 200; }), std::nullopt},
        {"negative stride", with([](BufferFacts& f) { f.chunkStride = -256; }), std::nullopt},
        {"chunk one byte short", with([](BufferFacts& f) { f.chunkSize = kFullSize - 1; }), std::nullopt},
        {"mapping one byte short", with([](BufferFacts& f) { f.mappedBytes = kFullSize - 1; }), std::nullopt},
        {"offset pushes the end out", with([](BufferFacts& f) { f.chunkOffset = 4; }), std::nullopt},
        {"no format yet", with([](BufferFacts& f) { f.formatWidth = f.formatHeight = 0; }), std::nullopt},
        {"huge stride does not wrap", with([](BufferFacts& f) { f.chunkStride = 0x7fffffff; }), std::nullopt},
    };
    for (const AreaCase& test : cases) {
        EXPECT_EQ(PictureAreaOf(test.facts), test.expected) << test.name;
    }
}

}  // namespace
