#include "platform/linux/ScreenConnection.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace platform::linux_x11 {
namespace {

std::once_flag xlibPrepared;
std::atomic<XErrorHandler> previousHandler{nullptr};

// The connections opened here; an error on any other display goes to the handler that was there before.
std::mutex registryLock;
std::vector<ScreenConnection*> registry;  // guarded by registryLock

}  // namespace

std::unique_ptr<ScreenConnection> ScreenConnection::Open() {
    std::call_once(xlibPrepared, [] {
        XInitThreads();
        previousHandler = XSetErrorHandler(&ScreenConnection::OnError);
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

int ScreenConnection::OnError(Display* display, XErrorEvent* event) {
    {
        std::lock_guard<std::mutex> guard(registryLock);
        for (ScreenConnection* connection : registry) {
            if (connection->display == display) {
                connection->errors.fetch_add(1, std::memory_order_relaxed);
                return 0;
            }
        }
    }
    const XErrorHandler previous = previousHandler.load();
    return previous != nullptr ? previous(display, event) : 0;
}

void ScreenConnection::OnConnectionLost(Display*, void* connection) {
    static_cast<ScreenConnection*>(connection)->broken.store(true, std::memory_order_relaxed);
}

}  // namespace platform::linux_x11
