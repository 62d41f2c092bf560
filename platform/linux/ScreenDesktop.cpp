#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>

#include "platform/Drawing.h"
#include "platform/Screen.h"
#include "platform/linux/ScreenConnection.h"
#include "platform/linux/ScreenGrabber.h"
#include "platform/linux/X11Backend.h"

namespace platform {
namespace {

using linux_x11::ScreenConnection;
using linux_x11::ScreenGrabber;

// A deeper window tree than this is taken for a loop and abandoned.
constexpr int kMaxTreeDepth = 64;

struct XFreeDeleter {
    void operator()(void* memory) const { XFree(memory); }
};

// The desktop is the root window of the default screen; windows are asked about through the connection,
// and a window that vanished between two requests simply yields empty answers. When the server goes away,
// every answer is empty until a server can be reached again, and then a new connection is used.
class XDesktop final : public Desktop {
  public:
    explicit XDesktop(std::unique_ptr<ScreenConnection> opened) { Adopt(std::move(opened)); }

    Rect DesktopRect() override { return Connected() ? RootRect() : Rect{}; }

    std::optional<WindowId> ForegroundWindow() override {
        if (!Connected()) {
            return std::nullopt;
        }
        if (const Window active = ActiveWindowProperty(); active != None) {
            return active;
        }
        Window focus = None;
        int revertTo = 0;
        XGetInputFocus(display, &focus, &revertTo);
        if (focus == None || focus == PointerRoot || focus == root) {
            return std::nullopt;
        }
        return TopLevelOf(focus);
    }

    bool ClassName(WindowId window, char* buffer, std::size_t capacity) override {
        if (capacity == 0) {
            return false;
        }
        buffer[0] = '\0';
        if (!Connected()) {
            return false;
        }
        XClassHint hint{};
        if (XGetClassHint(display, static_cast<Window>(window), &hint) == 0) {
            return false;
        }
        const bool found = hint.res_class != nullptr;
        if (found) {
            const std::size_t length = std::min(std::strlen(hint.res_class), capacity - 1);
            std::memcpy(buffer, hint.res_class, length);
            buffer[length] = '\0';
        }
        XFree(hint.res_name);
        XFree(hint.res_class);
        return found;
    }

    // A window that is not on the screen (unmapped, which is what minimising does) has no client area.
    Rect ClientRect(WindowId window) override {
        if (!Connected()) {
            return Rect{};
        }
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, static_cast<Window>(window), &attributes) == 0 ||
            attributes.map_state != IsViewable) {
            return Rect{};
        }
        return Rect{0, 0, attributes.width, attributes.height};
    }

    Point ClientToScreen(WindowId window, Point point) override {
        if (!Connected()) {
            return point;
        }
        int x = 0;
        int y = 0;
        Window child = None;
        if (XTranslateCoordinates(display, static_cast<Window>(window), root, point.x, point.y, &x, &y,
                                  &child) == 0) {
            return point;
        }
        return Point{x, y};
    }

    bool CopyPixels(const Rect& source, DrawingSurface& target) override {
        if (!Connected()) {
            return false;
        }
        const Rect screen = RootRect();
        const Rect visible{std::max(source.left, screen.left), std::max(source.top, screen.top),
                           std::min(source.right, screen.right), std::min(source.bottom, screen.bottom)};
        if (visible != source) {
            ClearSurface(target);
        }
        if (visible.IsEmpty()) {
            return !connection->Broken();
        }
        const XImage* image = grabber->Grab(visible.left, visible.top, static_cast<int>(visible.Width()),
                                            static_cast<int>(visible.Height()));
        if (image == nullptr) {
            return false;
        }
        linux_x11::WriteToSurface(*image, target, visible.left - source.left, visible.top - source.top);
        return true;
    }

  private:
    // Replaces a broken connection by a new one when a server can be reached; false when there is none.
    bool Connected() {
        if (connection && connection->Broken()) {
            grabber.reset();
            connection.reset();
        }
        if (!connection) {
            std::unique_ptr<ScreenConnection> opened = ScreenConnection::Open();
            if (!opened) {
                return false;
            }
            Adopt(std::move(opened));
        }
        return true;
    }

    void Adopt(std::unique_ptr<ScreenConnection> opened) {
        connection = std::move(opened);
        display = connection->Get();
        root = DefaultRootWindow(display);
        grabber = std::make_unique<ScreenGrabber>(*connection);
    }

    Rect RootRect() {
        Window rootReturn = None;
        int x = 0;
        int y = 0;
        unsigned width = 0;
        unsigned height = 0;
        unsigned border = 0;
        unsigned depth = 0;
        if (XGetGeometry(display, root, &rootReturn, &x, &y, &width, &height, &border, &depth) == 0) {
            return Rect{};
        }
        return Rect{0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
    }

    // The window the window manager marks active; None without a window manager.
    Window ActiveWindowProperty() {
        // Asked every time: a window manager may start after this connection was opened.
        const Atom activeWindowAtom = XInternAtom(display, "_NET_ACTIVE_WINDOW", True);
        if (activeWindowAtom == None) {
            return None;
        }
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        const int status = XGetWindowProperty(display, root, activeWindowAtom, 0, 1, False, XA_WINDOW, &type,
                                              &format, &count, &remaining, &data);
        const std::unique_ptr<unsigned char, XFreeDeleter> owned(data);
        if (status != Success || type != XA_WINDOW || format != 32 || count == 0 || data == nullptr) {
            return None;
        }
        // Format-32 properties arrive as an array of long.
        return static_cast<Window>(*reinterpret_cast<const unsigned long*>(data));
    }

    bool HasClass(Window window) {
        XClassHint hint{};
        if (XGetClassHint(display, window, &hint) == 0) {
            return false;
        }
        XFree(hint.res_name);
        XFree(hint.res_class);
        return true;
    }

    // The nearest window on the way from focus up to the root that carries WM_CLASS, or else the top-level
    // window (the child of the root) on that way.
    std::optional<WindowId> TopLevelOf(Window focus) {
        Window window = focus;
        for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
            if (HasClass(window)) {
                return window;
            }
            Window rootReturn = None;
            Window parent = None;
            Window* children = nullptr;
            unsigned count = 0;
            if (XQueryTree(display, window, &rootReturn, &parent, &children, &count) == 0) {
                return std::nullopt;
            }
            XFree(children);
            if (parent == root || parent == None) {
                return window;
            }
            window = parent;
        }
        return std::nullopt;
    }

    static void ClearSurface(DrawingSurface& target) {
        const auto stride = static_cast<std::size_t>(target.Stride());
        const auto rowBytes = static_cast<std::size_t>(target.Width()) * kBytesPerPixel;
        for (int y = 0; y < target.Height(); ++y) {
            std::memset(target.Bits() + static_cast<std::size_t>(y) * stride, 0, rowBytes);
        }
    }

    std::unique_ptr<ScreenConnection> connection;
    Display* display = nullptr;
    Window root = None;
    std::unique_ptr<ScreenGrabber> grabber;
};

}  // namespace

std::unique_ptr<Desktop> linux_x11::OpenX11Desktop() {
    std::unique_ptr<ScreenConnection> connection = ScreenConnection::Open();
    if (!connection) {
        return nullptr;
    }
    return std::make_unique<XDesktop>(std::move(connection));
}

}  // namespace platform
