#include "tests/support/TestWindow.h"

#include <X11/Xutil.h>

#include <cstring>
#include <vector>

namespace {

unsigned long PixelOf(TestWindow::Colour colour) {
    // The test Xvfb has a 24-bit TrueColor visual with red in the high byte.
    return (static_cast<unsigned long>(colour.red) << 16) | (static_cast<unsigned long>(colour.green) << 8) |
           colour.blue;
}

}  // namespace

std::unique_ptr<TestWindow> TestWindow::Create(int x, int y, int width, int height, Colour background,
                                               const std::string& className) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    XSetWindowAttributes attributes{};
    attributes.background_pixel = PixelOf(background);
    attributes.event_mask = StructureNotifyMask | ExposureMask | ButtonPressMask | ButtonReleaseMask;
    const Window window =
        XCreateWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixel | CWEventMask, &attributes);
    std::unique_ptr<TestWindow> created(new TestWindow(display, window));
    if (!className.empty()) {
        std::vector<char> name(className.begin(), className.end());
        name.push_back('\0');
        std::vector<char> instance = name;
        XClassHint hint{};
        hint.res_name = instance.data();
        hint.res_class = name.data();
        XSetClassHint(display, window, &hint);
    }
    XMapRaised(display, window);
    created->WaitForEvent(window, Expose);
    created->Fill(0, 0, width, height, background);
    return created;
}

TestWindow::~TestWindow() {
    XDestroyWindow(display, window);
    XSync(display, False);
    XCloseDisplay(display);
}

void TestWindow::WaitForEvent(Window target, int type) {
    XEvent event{};
    do {
        XWindowEvent(display, target, StructureNotifyMask | ExposureMask, &event);
    } while (event.type != type);
}

void TestWindow::Fill(int x, int y, int width, int height, Colour colour) {
    const GC gc = XCreateGC(display, window, 0, nullptr);
    XSetForeground(display, gc, PixelOf(colour));
    XFillRectangle(display, window, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFreeGC(display, gc);
    XSync(display, False);
}

void TestWindow::Focus() {
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
}

Window TestWindow::CreateChild(int x, int y, int width, int height) {
    const Window child = XCreateSimpleWindow(display, window, x, y, static_cast<unsigned>(width),
                                             static_cast<unsigned>(height), 0, 0, 0);
    XSelectInput(display, child, StructureNotifyMask);
    XMapWindow(display, child);
    XEvent event{};
    do {
        XWindowEvent(display, child, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    return child;
}

std::optional<XButtonEvent> TestWindow::NextButtonEvent(int type) {
    XSync(display, False);
    XEvent event{};
    if (XCheckTypedWindowEvent(display, window, type, &event)) {
        return event.xbutton;
    }
    return std::nullopt;
}

bool TestWindow::ScreenSize(int& width, int& height) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    width = DisplayWidth(display, DefaultScreen(display));
    height = DisplayHeight(display, DefaultScreen(display));
    XCloseDisplay(display);
    return true;
}

void TestWindow::ClearFocus() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return;
    }
    XSetInputFocus(display, None, RevertToNone, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
}
