#pragma once

// A screen cast of one monitor through the desktop portal (org.freedesktop.portal.Desktop), and, where the
// portal offers its RemoteDesktop interface, a pointer on the same session. Each portal request answers
// through a Response signal on a request object whose path the portal derives from our bus name and our
// handle_token; the signal is subscribed to before the call, so no answer is missed. The session lives as
// long as this object (and its own bus connection).
//
// Start may wait as long as the user takes to answer the portal's question. The other calls are
// serialised by the session's lock: the capture thread and the click path may share one session.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/portal/PortalAnswers.h"
#include "platform/linux/portal/PortalBus.h"

namespace platform::linux_portal {

struct PortalRequest {
    std::string busAddress;    // empty: the user's session bus
    bool wantPointer = true;   // use RemoteDesktop when the portal offers a pointer there
    std::string restoreToken;  // from an earlier run; empty to ask the user
    std::chrono::milliseconds answerWait{std::chrono::minutes(2)};  // how long the user may take
};

// What the portal offers, read from its interfaces' properties; all zero when it does not answer.
struct PortalOffer {
    std::uint32_t screenCastVersion = 0;  // 0: no ScreenCast interface
    std::uint32_t cursorModes = 0;
    std::uint32_t remoteDesktopVersion = 0;  // 0: no RemoteDesktop interface
    std::uint32_t deviceTypes = 0;
};
PortalOffer AskPortalOffer(sd_bus* bus);

class PortalSession {
  public:
    // Null, with the reason in problem (one line), when no portal answers, the user refuses, or the
    // answer names no stream.
    static std::unique_ptr<PortalSession> Start(const PortalRequest& request, std::string& problem);
    ~PortalSession();  // closes the portal's session
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

    // The stream published (the first the portal names).
    const CastStream& Stream() const { return stream; }
    // The token to restore this choice next time; empty when the portal gave none.
    const std::string& RestoreToken() const { return restoreToken; }
    // Whether the user granted a pointer (a RemoteDesktop session with the pointer device).
    bool HasPointer() const { return pointer; }
    // Why there is no pointer, in one line; empty when there is one.
    const std::string& PointerProblem() const { return pointerProblem; }

    // A descriptor of the PipeWire remote that carries the stream, owned by the caller; -1 on failure.
    int OpenPipeWireRemote();
    // Pointer events in the stream's logical coordinates; ignored without a pointer.
    void MovePointer(double x, double y);
    void PressLeft(bool pressed);

  private:
    PortalSession(BusConnection bus, std::string uniqueName);
    bool Begin(const PortalRequest& request, std::string& problem);

    std::mutex lock;  // guards bus and every call made through it
    BusConnection bus;
    std::string uniqueName;
    std::string handle;  // the portal's session object
    std::uint32_t nextToken = 0;
    CastStream stream;
    std::string restoreToken;
    bool pointer = false;
    std::string pointerProblem;

    friend class PortalCall;
};

}  // namespace platform::linux_portal
