#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/Drawing.h"
#include "platform/Screen.h"
#include "platform/windows/GdiHandles.h"
#include "platform/windows/WideText.h"

namespace platform {
namespace {

using windows_gdi::Bitmap;
using windows_gdi::MemoryDC;
using windows_gdi::Selection;
using windows_gdi::WindowDC;

HWND AsWindow(WindowId window) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

// The screen through GDI: the desktop window's device context is read with BitBlt into a bitmap of the
// screen's format, which GetDIBits then converts into the surface's 24-bit rows (bottom-up on both sides).
class GdiDesktop final : public Desktop {
  public:
    Rect DesktopRect() override {
        RECT bounds{};
        GetWindowRect(GetDesktopWindow(), &bounds);
        return Rect{bounds.left, bounds.top, bounds.right, bounds.bottom};
    }

    std::optional<WindowId> ForegroundWindow() override {
        const HWND window = GetForegroundWindow();
        if (window == nullptr) {
            return std::nullopt;
        }
        return static_cast<WindowId>(reinterpret_cast<std::uintptr_t>(window));
    }

    bool ClassName(WindowId window, char* buffer, std::size_t capacity) override {
        if (capacity == 0) {
            return false;
        }
        buffer[0] = '\0';
        // A class name is at most 256 characters.
        wchar_t wide[257];
        const int length = GetClassNameW(AsWindow(window), wide, static_cast<int>(std::size(wide)));
        if (length <= 0) {
            return false;
        }
        const std::string name =
            windows::WideToUtf8(std::wstring_view(wide, static_cast<std::size_t>(length)));
        const std::string_view fitted = windows::Utf8Prefix(name, capacity - 1);
        std::memcpy(buffer, fitted.data(), fitted.size());
        buffer[fitted.size()] = '\0';
        return true;
    }

    Rect ClientRect(WindowId window) override {
        if (!IsWindow(AsWindow(window)) || IsIconic(AsWindow(window))) {
            return Rect{};
        }
        RECT client{};
        if (!GetClientRect(AsWindow(window), &client)) {
            return Rect{};
        }
        return Rect{client.left, client.top, client.right, client.bottom};
    }

    Point ClientToScreen(WindowId window, Point point) override {
        POINT converted{point.x, point.y};
        ::ClientToScreen(AsWindow(window), &converted);
        return Point{converted.x, converted.y};
    }

    bool CopyPixels(const Rect& source, DrawingSurface& target) override {
        const int width = std::min(source.right - source.left, target.Width());
        const int height = std::min(source.bottom - source.top, target.Height());
        if (width <= 0 || height <= 0) {
            return false;
        }
        WindowDC screen(nullptr);
        if (screen.Get() == nullptr || !EnsureBuffer(screen.Get(), target.Width(), target.Height())) {
            return false;
        }
        {
            Selection selected(memory.get(), buffer.get());
            // Parts of the source outside the screen are not copied: they stay black.
            PatBlt(memory.get(), 0, 0, bufferWidth, bufferHeight, BLACKNESS);
            if (!BitBlt(memory.get(), 0, 0, width, height, screen.Get(), source.left, source.top,
                        SRCCOPY | CAPTUREBLT)) {
                return false;
            }
        }
        BITMAPINFO header = windows_gdi::Rgb24Header(target.Width(), target.Height());
        return GetDIBits(memory.get(), buffer.get(), 0, static_cast<UINT>(target.Height()), target.Bits(),
                         &header, DIB_RGB_COLORS) == target.Height();
    }

  private:
    // The screen-format bitmap is kept between captures of the same size.
    bool EnsureBuffer(HDC screen, int width, int height) {
        if (!memory) {
            memory.reset(CreateCompatibleDC(screen));
        }
        if (!buffer || bufferWidth != width || bufferHeight != height) {
            buffer.reset(CreateCompatibleBitmap(screen, width, height));
            bufferWidth = width;
            bufferHeight = height;
        }
        return memory && buffer;
    }

    MemoryDC memory;
    Bitmap buffer;
    int bufferWidth = 0;
    int bufferHeight = 0;
};

}  // namespace

std::unique_ptr<Desktop> Desktop::Open() {
    // A process without a window station (a service) has no screen to read.
    if (GetDesktopWindow() == nullptr) {
        return nullptr;
    }
    return std::make_unique<GdiDesktop>();
}

}  // namespace platform
