#pragma once

// What a PipeWire video buffer holds, worked out from the negotiated format and the buffer's own
// description (its chunk and an optional crop region) before a byte of it is read. Pure functions: no
// PipeWire calls, so the checks that keep a short or odd buffer from being read past its end can be
// tested with tables.

#include <cstdint>
#include <optional>

#include "platform/linux/wayland/FrameCopy.h"

namespace platform::linux_pipewire {

// The order of a 32-bit video format's bytes, from SPA's video format number; nullopt for the formats
// we do not ask for (anything but BGRx, RGBx, BGRA and RGBA).
std::optional<linux_wayland::PixelOrder> OrderOfVideoFormat(std::uint32_t spaVideoFormat);

// The 32-bit formats a stream is offered, the preferred one first.
inline constexpr std::uint32_t kOfferedFormatCount = 4;
extern const std::uint32_t kOfferedVideoFormats[kOfferedFormatCount];

struct BufferFacts {
    int formatWidth = 0;  // the negotiated video size
    int formatHeight = 0;
    std::uint32_t mappedBytes = 0;  // the size of the buffer's memory
    std::uint32_t chunkOffset = 0;  // where the picture starts in it
    std::uint32_t chunkSize = 0;    // 0: the buffer holds no picture (a cursor-only update)
    std::int32_t chunkStride = 0;   // 0: rows packed at four bytes a pixel
    bool corrupted = false;
    // The part of the picture that shows, when the producer says (a crop region of non-zero size).
    std::optional<Rect> crop;
};

// Where the picture's rows lie in the buffer: its first pixel at offset, rows stride bytes apart.
struct PictureArea {
    std::uint32_t offset = 0;
    int width = 0;
    int height = 0;
    int stride = 0;

    bool operator==(const PictureArea&) const = default;
};

// The area to read, or nullopt when the buffer holds no picture or one that does not fit in it.
std::optional<PictureArea> PictureAreaOf(const BufferFacts& facts);

}  // namespace platform::linux_pipewire
