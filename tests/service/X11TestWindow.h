#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <optional>

// A plain top-level window on the test display that records the pointer buttons pressed on it.
class X11TestWindow {
public:
    X11TestWindow(int x, int y, int width, int height, unsigned long background = 0xffffff);
    ~X11TestWindow();
    X11TestWindow(const X11TestWindow&) = delete;
    X11TestWindow& operator=(const X11TestWindow&) = delete;

    bool Ready() const { return window != 0; }
    Display* GetDisplay() const { return display; }
    // Gives the window the input focus (without a window manager, that makes it the foreground window).
    void Focus();
    // Leaves no window with the focus.
    void ClearFocus();
    // The next button event of the given type (ButtonPress or ButtonRelease) that has arrived by now.
    std::optional<XButtonEvent> NextButtonEvent(int type);

private:
    Display* display = nullptr;
    Window window = 0;
};
