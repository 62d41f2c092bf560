#include "platform/linux/ScreenConnection.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace platform::linux_x11 {
namespace {

std::once_flag xlibPrepared;
std::atomic<XErrorHandler> previousHandler{nullptr};
std::atomic<XIOErrorHandler> previousConnectionHandler{nullptr};

// The connections opened here; an error on any other display goes to the handler that was there before.
std::mutex registryLock;
std::vector<ScreenConnection*> registry;  // guarded by registryLock

}  // namespace

std::unique_ptr<ScreenConnection> ScreenConnection::Open() {
    std::call_once(xlibPrepared, [] {
        XInitThreads();
        previousHandler = XSetErrorHandler(&ScreenConnection::OnError);
        previousConnectionHandler = XSetIOErrorHandler(&ScreenConnection::OnConnectionError);
    });
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    std::unique_ptr<ScreenConnection> connection(new ScreenConnection(display));
    {
        std::lock_guard<std::mutex> guard(registryLock);
        registry.push_back(connection.get());
    }
    XSetIOErrorExitHandler(display, &ScreenConnection::OnConnectionLost, connection.get());
    return connection;
}

ScreenConnection::~ScreenConnection() {
    XCloseDisplay(display);
    std::lock_guard<std::mutex> guard(registryLock);
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
}

ScreenConnection* ScreenConnection::Find(Display* display) {
    std::lock_guard<std::mutex> guard(registryLock);
    for (ScreenConnection* connection : registry) {
        if (connection->display == display) {
            return connection;
        }
    }
    return nullptr;
}

int ScreenConnection::OnError(Display* display, XErrorEvent* event) {
    if (ScreenConnection* connection = Find(display)) {
        connection->errors.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    const XErrorHandler previous = previousHandler.load();
    return previous != nullptr ? previous(display, event) : 0;
}

int ScreenConnection::OnConnectionError(Display* display) {
    if (ScreenConnection* connection = Find(display)) {
        // Returning hands over to the connection's exit handler, which marks it broken.
        connection->broken.store(true, std::memory_order_relaxed);
        return 0;
    }
    const XIOErrorHandler previous = previousConnectionHandler.load();
    return previous != nullptr ? previous(display) : 0;
}

void ScreenConnection::OnConnectionLost(Display* display, void* connection) {
    static_cast<ScreenConnection*>(connection)->broken.store(true, std::memory_order_relaxed);
    // Xlib took the display's user lock for the exit it expected and would keep it for ever; give it back
    // so that any thread can still close the connection.
    XUnlockDisplay(display);
}

}  // namespace platform::linux_x11
