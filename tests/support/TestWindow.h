#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A top-level X window for tests, on a connection of its own: it may carry WM_CLASS, is filled with known
// colours, can take the input focus and records the pointer buttons pressed on it. The test Xvfb runs without
// a window manager, so the window sits exactly where it was asked to and the focus is set directly.
class TestWindow {
  public:
    struct Colour {
        std::uint8_t red = 0;
        std::uint8_t green = 0;
        std::uint8_t blue = 0;
    };

    // Mapped and painted with background before it returns; null when there is no display. An empty
    // className leaves WM_CLASS unset.
    static std::unique_ptr<TestWindow> Create(int x, int y, int width, int height, Colour background,
                                              const std::string& className);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    // Paints a rectangle of the window (window coordinates) and waits until the server has done it.
    void Fill(int x, int y, int width, int height, Colour colour);
    // Gives the window the input focus and waits until the server has done it.
    void Focus();
    // A child window covering the given part of this one, for focus tests; no WM_CLASS.
    Window CreateChild(int x, int y, int width, int height);
    // The next button event of the given type (ButtonPress or ButtonRelease) that the server had sent the
    // window by the time of the call.
    std::optional<XButtonEvent> NextButtonEvent(int type);

    Window Id() const { return window; }
    Display* Connection() const { return display; }

    // The size of the default screen.
    static bool ScreenSize(int& width, int& height);
    // Takes the input focus away from every window (focus None).
    static void ClearFocus();

  private:
    TestWindow(Display* opened, Window created) : display(opened), window(created) {}
    void WaitForEvent(Window target, int type);

    Display* display;
    Window window;
};
