#pragma once

// A drawing surface over a caller's 24-bit pixel array: rows bottom-up (the first row in memory is the
// bottom of the picture), 3 bytes per pixel in the order blue, green, red, rows padded to 4 bytes. It
// can receive a block copy from the screen (Desktop::CopyPixels) and draw text. It belongs to one thread.

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {

// Bytes per pixel of every picture in memory: blue, green, red.
constexpr int kBytesPerPixel = 3;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

enum class TextAlign { Left, Right };

class DrawingSurface {
  public:
    // Null when the platform cannot draw on it (the pixel array must outlive the surface).
    static std::unique_ptr<DrawingSurface> Create(std::uint8_t* bits, int width, int height, int stride);
    virtual ~DrawingSurface() = default;

    virtual std::uint8_t* Bits() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int Stride() const = 0;

    virtual void SetTextAlign(TextAlign align) = 0;
    virtual void SetTextColor(Rgb color) = 0;
    // Draws text on a transparent background with the surface's default font (a plain sans-serif face
    // close to a 16-pixel system font). (x, y) is the top-left corner of the text's cell, or its top-right
    // corner when right-aligned; y grows downwards from the top of the picture. Pixels outside the
    // surface are skipped.
    virtual void DrawText(int x, int y, std::string_view text) = 0;
};

}  // namespace platform
