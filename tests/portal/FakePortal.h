#pragma once

// A stand-in for the desktop portal on a private session bus that the test starts for itself: it owns
// org.freedesktop.portal.Desktop, answers the ScreenCast (and, when asked to, the RemoteDesktop) calls with
// Response signals on the request paths the portal would use, and records what it was asked.

#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/portal/PortalAnswers.h"
#include "platform/linux/portal/PortalBus.h"
#include "tests/support/TempDir.h"

namespace portal_test {

using platform::linux_portal::BusValue;

// A dbus-daemon of the test's own, without service activation, ended by its process id.
class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon did not start.
    const std::string& Address() const { return address; }

  private:
    TempDir folder;
    pid_t daemon = -1;
    std::string address;
};

struct PortalBehaviour {
    bool remoteDesktop = false;       // offer org.freedesktop.portal.RemoteDesktop with a pointer
    std::uint32_t startResponse = 0;  // 0 granted, 1 cancelled, 2 ended
    std::uint32_t grantedDevices = 2;
    std::string newToken = "fresh-token";
};

// One call the portal received: interface, method, and its options (the last a{sv} argument) or, for the
// pointer calls, its arguments in order.
struct ReceivedCall {
    std::string interface;
    std::string method;
    std::string path;
    BusValue options;
    BusValue arguments;
};

class FakePortal {
  public:
    static constexpr std::uint32_t kNode = 42;
    static constexpr std::int32_t kWidth = 1280;
    static constexpr std::int32_t kHeight = 720;
    static constexpr char kRemoteByte = 'w';  // what the PipeWire remote's descriptor carries

    FakePortal(const std::string& address, PortalBehaviour behaviour);
    ~FakePortal();
    FakePortal(const FakePortal&) = delete;
    FakePortal& operator=(const FakePortal&) = delete;

    bool Running() const { return bus != nullptr; }
    std::vector<ReceivedCall> Calls();
    // The first call of method; an empty call when there was none.
    ReceivedCall Call(const std::string& method);

  private:
    static int OnMessage(sd_bus_message* message, void* data, sd_bus_error* error);
    int Handle(sd_bus_message* message);
    int AnswerRequest(sd_bus_message* message, const ReceivedCall& call);
    void Serve();

    PortalBehaviour behaviour;
    platform::linux_portal::BusConnection bus;
    std::mutex lock;
    std::vector<ReceivedCall> calls;  // guarded by lock
    std::atomic<bool> stopping{false};
    std::thread server;
};

}  // namespace portal_test
