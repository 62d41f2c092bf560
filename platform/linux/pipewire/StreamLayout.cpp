#include "platform/linux/pipewire/StreamLayout.h"

#include <spa/param/video/raw.h>

namespace platform::linux_pipewire {

namespace {
constexpr std::int64_t kBytesPerPixel = 4;
}

const std::uint32_t kOfferedVideoFormats[kOfferedFormatCount] = {
    SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA};

std::optional<linux_wayland::PixelOrder> OrderOfVideoFormat(std::uint32_t spaVideoFormat) {
    switch (spaVideoFormat) {
        case SPA_VIDEO_FORMAT_BGRx:
        case SPA_VIDEO_FORMAT_BGRA:
            return linux_wayland::PixelOrder::Bgrx;
        case SPA_VIDEO_FORMAT_RGBx:
        case SPA_VIDEO_FORMAT_RGBA:
            return linux_wayland::PixelOrder::Rgbx;
        default:
            return std::nullopt;
    }
}

std::optional<PictureArea> PictureAreaOf(const BufferFacts& facts) {
    if (facts.corrupted || facts.chunkSize == 0 || facts.formatWidth <= 0 || facts.formatHeight <= 0) {
        return std::nullopt;
    }
    const std::int64_t stride =
        facts.chunkStride != 0 ? facts.chunkStride : facts.formatWidth * kBytesPerPixel;
    if (stride < facts.formatWidth * kBytesPerPixel) {
        return std::nullopt;
    }
    Rect shown{0, 0, facts.formatWidth, facts.formatHeight};
    if (facts.crop && !facts.crop->IsEmpty()) {
        const Rect& crop = *facts.crop;
        if (crop.left < 0 || crop.top < 0 || crop.right > facts.formatWidth ||
            crop.bottom > facts.formatHeight) {
            return std::nullopt;
        }
        shown = crop;
    }
    // Every byte read must lie inside both the chunk and the mapped memory.
    const std::int64_t start =
        std::int64_t{facts.chunkOffset} + shown.top * stride + shown.left * kBytesPerPixel;
    const std::int64_t end = start + (static_cast<std::int64_t>(shown.Height()) - 1) * stride +
                             static_cast<std::int64_t>(shown.Width()) * kBytesPerPixel;
    const std::int64_t chunkEnd = std::int64_t{facts.chunkOffset} + facts.chunkSize;
    if (end > chunkEnd || end > std::int64_t{facts.mappedBytes}) {
        return std::nullopt;
    }
    return PictureArea{static_cast<std::uint32_t>(start), static_cast<int>(shown.Width()),
                       static_cast<int>(shown.Height()), static_cast<int>(stride)};
}

}  // namespace platform::linux_pipewire
