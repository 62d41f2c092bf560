#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/Drawing.h"
#include "platform/windows/GdiHandles.h"

namespace platform {
namespace {

using windows_gdi::Bitmap;
using windows_gdi::MemoryDC;
using windows_gdi::Selection;

std::wstring Widen(std::string_view text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// Text is drawn by GDI with a memory device context's default font. GDI can draw only into its own
// bitmaps, so the text's cell is copied from the caller's pixels into a small DIB section, drawn on there
// and copied back: the caller's rows stay its own, and only the cell's pixels are touched.
class GdiDrawingSurface final : public DrawingSurface {
  public:
    GdiDrawingSurface(MemoryDC dc, std::uint8_t* bits, int width, int height, int stride)
        : dc(std::move(dc)), bits(bits), width(width), height(height), stride(stride) {}

    std::uint8_t* Bits() const override { return bits; }
    int Width() const override { return width; }
    int Height() const override { return height; }
    int Stride() const override { return stride; }

    void SetTextAlign(TextAlign newAlign) override { align = newAlign; }
    void SetTextColor(Rgb newColor) override { color = newColor; }

    void DrawText(int x, int y, std::string_view text) override {
        const std::wstring wide = Widen(text);
        if (wide.empty()) {
            return;
        }
        SIZE extent{};
        GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &extent);
        const int cellLeft = align == TextAlign::Right ? x - extent.cx : x;
        // The cell clipped to the surface.
        const int left = std::max(cellLeft, 0);
        const int top = std::max(y, 0);
        const int right = std::min(cellLeft + static_cast<int>(extent.cx), width);
        const int bottom = std::min(y + static_cast<int>(extent.cy), height);
        if (left >= right || top >= bottom) {
            return;
        }
        const int cellWidth = right - left;
        const int cellHeight = bottom - top;
        BITMAPINFO header = windows_gdi::Rgb24Header(cellWidth, -cellHeight);  // top-down
        void* cellBits = nullptr;
        Bitmap cell(CreateDIBSection(dc.get(), &header, DIB_RGB_COLORS, &cellBits, nullptr, 0));
        if (!cell || cellBits == nullptr) {
            return;
        }
        const int cellStride = (cellWidth * kBytesPerPixel + 3) & ~3;
        auto* cellRows = static_cast<std::uint8_t*>(cellBits);
        CopyCell(cellRows, cellStride, left, top, cellWidth, cellHeight, true);
        {
            Selection selected(dc.get(), cell.get());
            SetBkMode(dc.get(), TRANSPARENT);
            ::SetTextColor(dc.get(), RGB(color.red, color.green, color.blue));
            ::SetTextAlign(dc.get(), TA_LEFT | TA_TOP | TA_NOUPDATECP);
            TextOutW(dc.get(), cellLeft - left, y - top, wide.c_str(), static_cast<int>(wide.size()));
            GdiFlush();
        }
        CopyCell(cellRows, cellStride, left, top, cellWidth, cellHeight, false);
    }

  private:
    // Copies the cell between the caller's bottom-up rows and the top-down cell, in either direction.
    void CopyCell(std::uint8_t* cellRows, int cellStride, int left, int top, int cellWidth, int cellHeight,
                  bool intoCell) {
        for (int row = 0; row < cellHeight; ++row) {
            std::uint8_t* surfaceRow =
                bits + static_cast<std::ptrdiff_t>(height - 1 - (top + row)) * stride + left * kBytesPerPixel;
            std::uint8_t* cellRow = cellRows + static_cast<std::ptrdiff_t>(row) * cellStride;
            const std::size_t length = static_cast<std::size_t>(cellWidth) * kBytesPerPixel;
            if (intoCell) {
                std::memcpy(cellRow, surfaceRow, length);
            } else {
                std::memcpy(surfaceRow, cellRow, length);
            }
        }
    }

    MemoryDC dc;
    std::uint8_t* bits;
    int width;
    int height;
    int stride;
    TextAlign align = TextAlign::Left;
    Rgb color{};
};

}  // namespace

std::unique_ptr<DrawingSurface> DrawingSurface::Create(std::uint8_t* bits, int width, int height,
                                                       int stride) {
    if (bits == nullptr || width <= 0 || height <= 0 || stride < width * kBytesPerPixel) {
        return nullptr;
    }
    MemoryDC dc(CreateCompatibleDC(nullptr));
    if (!dc) {
        return nullptr;
    }
    return std::make_unique<GdiDrawingSurface>(std::move(dc), bits, width, height, stride);
}

}  // namespace platform
