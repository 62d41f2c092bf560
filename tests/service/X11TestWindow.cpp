#include "tests/service/X11TestWindow.h"

X11TestWindow::X11TestWindow(int x, int y, int width, int height, unsigned long background) {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return;
    }
    XSetWindowAttributes attributes{};
    attributes.background_pixel = background;
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | StructureNotifyMask | ExposureMask;
    window = XCreateWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                           CWBackPixel | CWEventMask, &attributes);
    XMapRaised(display, window);
    XEvent event;
    do {
        XWindowEvent(display, window, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    XSync(display, False);
}

X11TestWindow::~X11TestWindow() {
    if (display != nullptr) {
        if (window != 0) {
            XDestroyWindow(display, window);
        }
        XCloseDisplay(display);
    }
}

void X11TestWindow::Focus() {
    XSetInputFocus(display, window, RevertToNone, CurrentTime);
    XSync(display, False);
}

void X11TestWindow::ClearFocus() {
    XSetInputFocus(display, None, RevertToNone, CurrentTime);
    XSync(display, False);
}

std::optional<XButtonEvent> X11TestWindow::NextButtonEvent(int type) {
    XSync(display, False);
    XEvent event;
    if (XCheckTypedWindowEvent(display, window, type, &event)) {
        return event.xbutton;
    }
    return std::nullopt;
}
