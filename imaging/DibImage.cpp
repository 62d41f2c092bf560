#include "imaging/DibImage.h"

#include <new>

namespace imaging {
namespace {

constexpr std::uint32_t kHeaderBytes = sizeof(BitmapInfoHeader);
constexpr int kSupportedBitCount = 24;
// The largest side libjpeg accepts; anything larger could never be written out.
constexpr int kMaxSide = 65500;

}  // namespace

int DibImage::Create(int newWidth, int newHeight, int bitCount) {
    if (newWidth == 0 && newHeight == 0) {
        newWidth = width;
        newHeight = height;
    }
    rowTableMemory.reset();
    rowTable = nullptr;
    headerMemory.reset();
    infoHeader = nullptr;
    ReleaseBitmap();

    headerSize = kHeaderBytes;
    headerMemory.reset(new (std::nothrow) BitmapInfoHeader{});
    if (!headerMemory) {
        status = DibStatus::NoMemory;
        return 0;
    }
    infoHeader = headerMemory.get();
    BitmapInfoHeader& header = *headerMemory;
    header.size = kHeaderBytes;
    header.width = newWidth;
    header.height = newHeight;
    header.planes = 1;
    header.bitCount = static_cast<std::uint16_t>(bitCount);

    const std::size_t stride = DibStride(newWidth);
    imageSize = static_cast<std::size_t>(newHeight > 0 ? newHeight : 0) * stride;

    const bool validSize = newWidth > 0 && newHeight > 0 && newWidth <= kMaxSide && newHeight <= kMaxSide;
    if (!validSize || bitCount != kSupportedBitCount) {
        status = DibStatus::NoMemory;
        return 0;
    }
    // calloc hands out fresh zero pages without touching them, like a new DIB section.
    pixelMemory.reset(static_cast<std::uint8_t*>(std::calloc(imageSize, 1)));
    if (!pixelMemory) {
        status = DibStatus::NoMemory;
        return 0;
    }
    bits = pixelMemory.get();
    memoryDC = platform::DrawingSurface::Create(bits, newWidth, newHeight, static_cast<int>(stride));
    if (!memoryDC) {
        ReleaseBitmap();
        status = DibStatus::NoMemory;
        return 0;
    }
    width = header.width;
    height = header.height;
    status = DibStatus::Ok;
    return 1;
}

int DibImage::ReleaseBitmap() {
    memoryDC.reset();
    pixelMemory.reset();
    bits = nullptr;
    return 1;
}

int DibImage::Release() {
    headerMemory.reset();
    infoHeader = nullptr;
    ReleaseBitmap();
    rowTableMemory.reset();
    rowTable = nullptr;
    width = 0;
    height = 0;
    return 1;
}

std::uint8_t** DibImage::GetRows() {
    if (rowTableMemory) {
        return rowTable;
    }
    return BuildRowTable() ? rowTable : nullptr;
}

int DibImage::BuildRowTable() {
    const std::size_t stride = DibStride(width);
    rowTableMemory.reset();
    rowTable = nullptr;
    if (bits == nullptr || height <= 0) {
        status = DibStatus::NoMemory;
        return 0;
    }
    rowTableMemory.reset(new (std::nothrow) std::uint8_t*[static_cast<std::size_t>(height)]);
    if (!rowTableMemory) {
        status = DibStatus::NoMemory;
        return 0;
    }
    rowTable = rowTableMemory.get();
    std::uint8_t* row = bits;
    for (int k = height - 1; k >= 0; --k) {
        rowTable[k] = row;
        row += stride;
    }
    status = DibStatus::Ok;
    return 1;
}

}  // namespace imaging
