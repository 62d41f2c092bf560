#pragma once

// An Xlib connection to the default display, for one thread at a time. The first connection prepares Xlib
// for threads (other threads may hold connections of their own) and installs an error handler that counts
// protocol errors on these connections instead of ending the process: a window may vanish between two
// requests. When the server goes away the connection is marked broken instead of ending the process: every
// later request fails at once, and the connection can still be closed from any thread.

#include <X11/Xlib.h>

#include <atomic>
#include <memory>

namespace platform::linux_x11 {

class ScreenConnection {
  public:
    // Null when no display can be opened.
    static std::unique_ptr<ScreenConnection> Open();
    ~ScreenConnection();
    ScreenConnection(const ScreenConnection&) = delete;
    ScreenConnection& operator=(const ScreenConnection&) = delete;

    Display* Get() const { return display; }
    // Protocol errors so far. To check a request, read it, make the request, XSync and read it again.
    unsigned long ErrorCount() const { return errors.load(std::memory_order_relaxed); }
    bool Broken() const { return broken.load(std::memory_order_relaxed); }

  private:
    explicit ScreenConnection(Display* opened) : display(opened) {}
    static ScreenConnection* Find(Display* display);
    static int OnError(Display* display, XErrorEvent* event);
    static int OnConnectionError(Display* display);
    static void OnConnectionLost(Display* display, void* connection);

    Display* display;
    std::atomic<unsigned long> errors{0};
    std::atomic<bool> broken{false};
};

}  // namespace platform::linux_x11
