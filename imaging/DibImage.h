#pragma once

// A 24-bit picture that plain code and the platform's drawing both work on: rows bottom-up (the first row in
// memory is the bottom of the picture), 3 bytes per pixel in the order blue, green, red, each row padded to
// a multiple of 4 bytes. The drawing surface (GetMemoryDC) targets the same pixels, so a block copy from
// the screen or drawn text lands where the row table points. An image belongs to one thread.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/Drawing.h"

namespace imaging {

enum class DibStatus { Ok = 0, NoMemory = 4 };

// The classic bitmap header, as the picture's own description of itself.
struct BitmapInfoHeader {
    std::uint32_t size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// Bytes per row: width * 3 rounded up to a multiple of 4 (1 -> 4, 2 -> 8, 4 -> 12, 1025 -> 3076).
constexpr std::size_t DibStride(std::int64_t width) {
    return static_cast<std::size_t>((width * platform::kBytesPerPixel + 3) / 4 * 4);
}

class DibImage {
  public:
    DibImage() = default;
    ~DibImage() { Release(); }
    DibImage(const DibImage&) = delete;
    DibImage& operator=(const DibImage&) = delete;

    // Makes a fresh zeroed width x height picture; 0 x 0 re-creates the current size. Only 24 bits per
    // pixel are supported. 1 on success; 0 with status NoMemory when memory, the drawing surface or a
    // valid size is missing, and the image then has no pixels and no surface.
    int Create(int newWidth, int newHeight, int bitCount);
    // Frees everything and returns to the state after construction. Always 1.
    int Release();
    // Frees the pixels and the drawing surface. Always 1.
    int ReleaseBitmap();
    // Row pointers, entry 0 = the top row = the last row in memory; built once and kept until the next
    // Create or Release. Null (status NoMemory) when the table cannot be built.
    std::uint8_t** GetRows();
    int BuildRowTable();
    // The drawing surface over the pixels; null when there is no bitmap.
    platform::DrawingSurface* GetMemoryDC() { return memoryDC.get(); }

    DibStatus status = DibStatus::Ok;
    const BitmapInfoHeader* infoHeader = nullptr;
    std::uint32_t headerSize = 0;
    std::uint8_t* bits = nullptr;
    std::size_t imageSize = 0;
    std::uint8_t** rowTable = nullptr;
    int width = 0;
    int height = 0;

  private:
    struct FreeDeleter {
        void operator()(void* memory) const { std::free(memory); }
    };

    std::unique_ptr<BitmapInfoHeader> headerMemory;
    std::unique_ptr<std::uint8_t*[]> rowTableMemory;
    std::unique_ptr<std::uint8_t, FreeDeleter> pixelMemory;
    std::unique_ptr<platform::DrawingSurface> memoryDC;
};

}  // namespace imaging
