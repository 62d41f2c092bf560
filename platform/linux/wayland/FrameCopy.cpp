#include "platform/linux/wayland/FrameCopy.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/linux/ScreenRowCopy.h"

namespace platform::linux_wayland {
namespace {

constexpr int kFrameBytesPerPixel = 4;
constexpr int kPictureBytesPerPixel = 3;

bool IsQuarterTurn(OutputTransform transform) {
    return (static_cast<std::uint32_t>(transform) & 1u) != 0;
}

// Where the buffer pixel of upright point (x, y) lies: buffer = column * x + row * y + origin, with the
// buffer's own y taken before any inversion. The compositor turned the upright picture into the buffer;
// this is that turn, applied to each upright point.
struct BufferWalk {
    int columnX, columnY;  // buffer step for one upright pixel to the right
    int rowX, rowY;        // buffer step for one upright pixel down
    int originX, originY;  // buffer pixel of upright (0, 0)
};

BufferWalk WalkFor(OutputTransform transform, int width, int height) {
    const int lastX = width - 1;
    const int lastY = height - 1;
    switch (transform) {
        case OutputTransform::Normal:
            return {1, 0, 0, 1, 0, 0};
        case OutputTransform::Rotated90:
            return {0, -1, 1, 0, 0, lastY};
        case OutputTransform::Rotated180:
            return {-1, 0, 0, -1, lastX, lastY};
        case OutputTransform::Rotated270:
            return {0, 1, -1, 0, lastX, 0};
        case OutputTransform::Flipped:
            return {-1, 0, 0, 1, lastX, 0};
        case OutputTransform::Flipped90:
            return {0, 1, 1, 0, 0, 0};
        case OutputTransform::Flipped180:
            return {1, 0, 0, -1, 0, lastY};
        case OutputTransform::Flipped270:
            return {0, -1, -1, 0, lastX, lastY};
    }
    return {1, 0, 0, 1, 0, 0};
}

std::uint8_t* TargetRow(const PictureView& target, int y) {
    return target.bits + static_cast<std::ptrdiff_t>(target.height - 1 - y) * target.stride;
}

const std::uint8_t* FrameRow(const Frame& frame, int y) {
    const int stored = frame.yInverted ? frame.height - 1 - y : y;
    return frame.pixels + static_cast<std::ptrdiff_t>(stored) * frame.stride;
}

void CopyRgbxRow(const std::uint8_t* source, int count, std::uint8_t* target) {
    for (int x = 0; x < count; ++x) {
        target[kPictureBytesPerPixel * x] = source[kFrameBytesPerPixel * x + 2];
        target[kPictureBytesPerPixel * x + 1] = source[kFrameBytesPerPixel * x + 1];
        target[kPictureBytesPerPixel * x + 2] = source[kFrameBytesPerPixel * x];
    }
}

}  // namespace

Point UprightSize(const Frame& frame) {
    return IsQuarterTurn(frame.transform) ? Point{frame.height, frame.width}
                                          : Point{frame.width, frame.height};
}

void CopyUpright(const Frame& frame, const Rect& source, PictureView target, Point at) {
    const Point size = UprightSize(frame);
    // The part of source that is inside the picture and lands inside the target.
    const int left = std::max({source.left, 0, source.left - at.x});
    const int top = std::max({source.top, 0, source.top - at.y});
    const int right = std::min({source.right, size.x, source.left - at.x + target.width});
    const int bottom = std::min({source.bottom, size.y, source.top - at.y + target.height});
    if (left >= right || top >= bottom) {
        return;
    }
    const int count = right - left;
    const int shiftX = at.x - source.left;
    const int shiftY = at.y - source.top;
    const bool bgrx = frame.order == PixelOrder::Bgrx;

    if (frame.transform == OutputTransform::Normal) {
        for (int y = top; y < bottom; ++y) {
            const std::uint8_t* from =
                FrameRow(frame, y) + static_cast<std::ptrdiff_t>(left) * kFrameBytesPerPixel;
            std::uint8_t* to = TargetRow(target, y + shiftY) +
                               static_cast<std::ptrdiff_t>(left + shiftX) * kPictureBytesPerPixel;
            if (bgrx) {
                linux_x11::CopyBgrxRow(from, count, to);
            } else {
                CopyRgbxRow(from, count, to);
            }
        }
        return;
    }

    const BufferWalk walk = WalkFor(frame.transform, frame.width, frame.height);
    const int blue = bgrx ? 0 : 2;
    const int red = bgrx ? 2 : 0;
    for (int y = top; y < bottom; ++y) {
        std::uint8_t* to = TargetRow(target, y + shiftY) +
                           static_cast<std::ptrdiff_t>(left + shiftX) * kPictureBytesPerPixel;
        for (int x = left; x < right; ++x) {
            const int bufferX = walk.columnX * x + walk.rowX * y + walk.originX;
            const int bufferY = walk.columnY * x + walk.rowY * y + walk.originY;
            const std::uint8_t* pixel =
                FrameRow(frame, bufferY) + static_cast<std::ptrdiff_t>(bufferX) * kFrameBytesPerPixel;
            to[0] = pixel[blue];
            to[1] = pixel[1];
            to[2] = pixel[red];
            to += kPictureBytesPerPixel;
        }
    }
}

void CopyScreenArea(const Frame& frame, const Rect& source, PictureView target) {
    const Point size = UprightSize(frame);
    if (source.left < 0 || source.top < 0 || source.right > size.x || source.bottom > size.y) {
        constexpr std::size_t kBytesPerPixel = 3;
        for (int y = 0; y < target.height; ++y) {
            std::memset(target.bits + static_cast<std::ptrdiff_t>(y) * target.stride, 0,
                        static_cast<std::size_t>(target.width) * kBytesPerPixel);
        }
    }
    CopyUpright(frame, source, target, Point{0, 0});
}

AbsolutePosition PointerPositionFor(Point upright, Point bufferSize, OutputTransform transform) {
    const Point size =
        UprightSize(Frame{nullptr, bufferSize.x, bufferSize.y, 0, PixelOrder::Bgrx, false, transform});
    const Point clamped{std::clamp(upright.x, 0, std::max(size.x - 1, 0)),
                        std::clamp(upright.y, 0, std::max(size.y - 1, 0))};
    const BufferWalk walk = WalkFor(transform, bufferSize.x, bufferSize.y);
    return AbsolutePosition{Point{walk.columnX * clamped.x + walk.rowX * clamped.y + walk.originX,
                                  walk.columnY * clamped.x + walk.rowY * clamped.y + walk.originY},
                            bufferSize};
}

}  // namespace platform::linux_wayland
