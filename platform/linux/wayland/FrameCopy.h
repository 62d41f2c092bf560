#pragma once

// Turns a frame that a Wayland compositor copied out of an output's buffer into the upright picture the
// user sees: the buffer holds the output in the orientation of the display device, stored bottom-up when
// the compositor says so (y-inverted), and the output's transform says how the picture was turned to
// reach it. Pure functions over memory: no Wayland calls.

#include <cstdint>

#include "common/Geometry.h"

namespace platform::linux_wayland {

// The order of the four bytes of one 32-bit pixel in memory.
enum class PixelOrder {
    Bgrx,  // blue, green, red, unused: wl_shm's XRGB8888 and ARGB8888 on little-endian machines
    Rgbx,  // red, green, blue, unused: XBGR8888 and ABGR8888
};

// The values of wl_output.transform.
enum class OutputTransform : std::uint32_t {
    Normal = 0,
    Rotated90 = 1,
    Rotated180 = 2,
    Rotated270 = 3,
    Flipped = 4,
    Flipped90 = 5,
    Flipped180 = 6,
    Flipped270 = 7,
};

struct Frame {
    const std::uint8_t* pixels = nullptr;
    int width = 0;  // of the buffer, in pixels
    int height = 0;
    int stride = 0;  // bytes from one row of the buffer to the next
    PixelOrder order = PixelOrder::Bgrx;
    bool yInverted = false;
    OutputTransform transform = OutputTransform::Normal;
};

// A 24-bit picture as platform/Drawing.h describes it: blue, green, red, rows bottom-up.
struct PictureView {
    std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// The size of the upright picture: the buffer's, with width and height swapped by a quarter turn.
Point UprightSize(const Frame& frame);

// Copies the part of the upright picture inside source (upright coordinates, inside the picture) to the
// target with source's top-left corner at target point at, clipped to the target.
void CopyUpright(const Frame& frame, const Rect& source, PictureView target, Point at);

// Copies source (upright coordinates) to the target's top-left corner as a desktop copies the screen: the
// parts of source outside the picture come out black.
void CopyScreenArea(const Frame& frame, const Rect& source, PictureView target);

// Where an absolute pointer event must say a point of the upright picture is. wlroots takes absolute
// positions on an output through the same turn that made the buffer, so the point goes through the
// opposite turn first; the extent is the buffer's size.
struct AbsolutePosition {
    Point position;
    Point extent;
};
AbsolutePosition PointerPositionFor(Point upright, Point bufferSize, OutputTransform transform);

}  // namespace platform::linux_wayland
