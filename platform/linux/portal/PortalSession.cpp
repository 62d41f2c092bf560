#include "platform/linux/portal/PortalSession.h"

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace platform::linux_portal {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";

// How long one method call may take to return (D-Bus's usual limit), and how long a request the user is
// not asked about may take to answer.
constexpr std::uint64_t kCallTimeoutMicroseconds = 25'000'000;
constexpr std::chrono::milliseconds kStepWait{10'000};

constexpr std::uint32_t kMonitorSource = 1;
constexpr std::uint32_t kHiddenCursor = 1;
constexpr std::uint32_t kPointerDevice = 2;
constexpr std::uint32_t kPersistUntilRevoked = 2;
// The interface versions from which the choice can be kept with persist_mode and restore_token.
constexpr std::uint32_t kScreenCastPersistSince = 4;
constexpr std::uint32_t kRemoteDesktopPersistSince = 2;
constexpr std::uint32_t kButtonReleased = 0;
constexpr std::uint32_t kButtonPressed = 1;

struct SlotCloser {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Slot = std::unique_ptr<sd_bus_slot, SlotCloser>;
struct MessageCloser {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageCloser>;

// An error that frees itself.
struct BusError {
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    std::string Text(int result) const {
        return error.message != nullptr ? error.message : std::strerror(-result);
    }
    sd_bus_error error{};  // all zero: SD_BUS_ERROR_NULL, whose C compound literal C++ does not have
};

// One entry of a call's options (a{sv}): a string, a 32-bit number or a truth value.
struct Option {
    const char* key;
    char type;
    std::string text;
    std::uint32_t number = 0;
};
Option TextOption(const char* key, std::string text) {
    return Option{key, SD_BUS_TYPE_STRING, std::move(text)};
}
Option NumberOption(const char* key, std::uint32_t number) {
    return Option{key, SD_BUS_TYPE_UINT32, {}, number};
}
Option FlagOption(const char* key, bool flag) {
    return Option{key, SD_BUS_TYPE_BOOLEAN, {}, flag ? 1u : 0u};
}

int AppendOptions(sd_bus_message* message, const std::vector<Option>& options) {
    int result = sd_bus_message_open_container(message, SD_BUS_TYPE_ARRAY, "{sv}");
    for (const Option& option : options) {
        const char signature[2] = {option.type, '\0'};
        const int flag = option.number != 0 ? 1 : 0;
        if (result >= 0) {
            result = sd_bus_message_open_container(message, SD_BUS_TYPE_DICT_ENTRY, "sv");
        }
        if (result >= 0) {
            result = sd_bus_message_append_basic(message, SD_BUS_TYPE_STRING, option.key);
        }
        if (result >= 0) {
            result = sd_bus_message_open_container(message, SD_BUS_TYPE_VARIANT, signature);
        }
        if (result >= 0) {
            switch (option.type) {
                case SD_BUS_TYPE_STRING:
                    result = sd_bus_message_append_basic(message, option.type, option.text.c_str());
                    break;
                case SD_BUS_TYPE_BOOLEAN:
                    result = sd_bus_message_append_basic(message, option.type, &flag);
                    break;
                default:
                    result = sd_bus_message_append_basic(message, option.type, &option.number);
                    break;
            }
        }
        if (result >= 0) {
            result = sd_bus_message_close_container(message);
        }
        if (result >= 0) {
            result = sd_bus_message_close_container(message);
        }
    }
    return result < 0 ? result : sd_bus_message_close_container(message);
}

struct Response {
    bool answered = false;
    std::uint32_t code = static_cast<std::uint32_t>(RequestOutcome::Ended);
    BusValue results;
};

int OnResponse(sd_bus_message* message, void* data, sd_bus_error*) {
    auto* response = static_cast<Response*>(data);
    std::uint32_t code = 0;
    if (sd_bus_message_read_basic(message, SD_BUS_TYPE_UINT32, &code) < 0 ||
        ReadBusValue(message, response->results) <= 0) {
        code = static_cast<std::uint32_t>(RequestOutcome::Ended);
    }
    response->code = code;
    response->answered = true;
    return 0;
}

std::uint32_t ReadProperty(sd_bus* bus, const char* interface, const char* name) {
    BusError error;
    std::uint32_t value = 0;
    if (sd_bus_get_property_trivial(bus, kPortalName, kPortalPath, interface, name, &error.error,
                                    SD_BUS_TYPE_UINT32, &value) < 0) {
        return 0;
    }
    return value;
}

}  // namespace

PortalOffer AskPortalOffer(sd_bus* bus) {
    PortalOffer offer;
    offer.screenCastVersion = ReadProperty(bus, kScreenCast, "version");
    if (offer.screenCastVersion == 0) {
        return offer;
    }
    offer.cursorModes = ReadProperty(bus, kScreenCast, "AvailableCursorModes");
    offer.remoteDesktopVersion = ReadProperty(bus, kRemoteDesktop, "version");
    if (offer.remoteDesktopVersion != 0) {
        offer.deviceTypes = ReadProperty(bus, kRemoteDesktop, "AvailableDeviceTypes");
    }
    return offer;
}

// One portal request: the call, then its Response signal.
class PortalCall {
  public:
    PortalCall(PortalSession& session, const char* interface, const char* method)
        : session(session), interface(interface), method(method) {}

    // Arguments before the options: the session's handle, and for Start the (empty) parent window.
    PortalCall& OnSession() {
        withSession = true;
        return *this;
    }
    PortalCall& WithParentWindow() {
        withParent = true;
        return *this;
    }

    // Calls with options plus our own handle_token and waits up to wait for the answer. False, with the
    // reason in problem, when the call fails, the answer does not come, or the request was refused.
    bool Run(std::vector<Option> options, std::chrono::milliseconds wait, BusValue& results,
             std::string& problem) {
        sd_bus* bus = session.bus.get();
        const std::string token = "qv" + std::to_string(getpid()) + "_" + std::to_string(++session.nextToken);
        Response response;
        sd_bus_slot* rawSlot = nullptr;
        if (sd_bus_match_signal(bus, &rawSlot, nullptr, RequestPath(session.uniqueName, token).c_str(),
                                kRequestInterface, "Response", OnResponse, &response) < 0) {
            problem = "cannot listen for the desktop portal's answers";
            return false;
        }
        const Slot slot(rawSlot);
        options.push_back(TextOption("handle_token", token));

        sd_bus_message* rawMessage = nullptr;
        int result =
            sd_bus_message_new_method_call(bus, &rawMessage, kPortalName, kPortalPath, interface, method);
        const Message message(rawMessage);
        if (result >= 0 && withSession) {
            result = sd_bus_message_append_basic(rawMessage, SD_BUS_TYPE_OBJECT_PATH, session.handle.c_str());
        }
        if (result >= 0 && withParent) {
            result = sd_bus_message_append_basic(rawMessage, SD_BUS_TYPE_STRING, "");
        }
        if (result >= 0) {
            result = AppendOptions(rawMessage, options);
        }
        BusError error;
        sd_bus_message* rawReply = nullptr;
        if (result >= 0) {
            result = sd_bus_call(bus, rawMessage, kCallTimeoutMicroseconds, &error.error, &rawReply);
        }
        const Message reply(rawReply);
        if (result < 0) {
            problem = std::string("the desktop portal refused ") + method + ": " + error.Text(result);
            return false;
        }

        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!response.answered) {
            result = sd_bus_process(bus, nullptr);
            if (result < 0) {
                problem = "lost the session bus while waiting for the desktop portal";
                return false;
            }
            if (result > 0) {
                continue;
            }
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                problem = std::string("the desktop portal did not answer ") + method;
                return false;
            }
            sd_bus_wait(bus, static_cast<std::uint64_t>(
                                 std::chrono::duration_cast<std::chrono::microseconds>(left).count()));
        }
        problem = OutcomeProblem(response.code, method);
        if (!problem.empty()) {
            return false;
        }
        results = std::move(response.results);
        return true;
    }

  private:
    PortalSession& session;
    const char* interface;
    const char* method;
    bool withSession = false;
    bool withParent = false;
};

PortalSession::PortalSession(BusConnection opened, std::string name)
    : bus(std::move(opened)), uniqueName(std::move(name)) {}

PortalSession::~PortalSession() {
    if (!handle.empty()) {
        BusError error;
        sd_bus_call_method(bus.get(), kPortalName, handle.c_str(), kSessionInterface, "Close", &error.error,
                           nullptr, "");
    }
}

std::unique_ptr<PortalSession> PortalSession::Start(const PortalRequest& request, std::string& problem) {
    BusConnection bus = OpenBus(request.busAddress);
    const char* name = nullptr;
    if (!bus || sd_bus_get_unique_name(bus.get(), &name) < 0) {
        problem = "no D-Bus session bus for the desktop portal";
        return nullptr;
    }
    std::unique_ptr<PortalSession> session(new PortalSession(std::move(bus), name));
    std::lock_guard guard(session->lock);
    if (!session->Begin(request, problem)) {
        return nullptr;
    }
    return session;
}

bool PortalSession::Begin(const PortalRequest& request, std::string& problem) {
    const PortalOffer offer = AskPortalOffer(bus.get());
    if (offer.screenCastVersion == 0) {
        problem = "no desktop portal with ScreenCast answers on the session bus";
        return false;
    }
    const bool remote =
        request.wantPointer && offer.remoteDesktopVersion != 0 && (offer.deviceTypes & kPointerDevice) != 0;
    if (request.wantPointer && !remote) {
        pointerProblem =
            offer.remoteDesktopVersion == 0
                ? "the desktop portal offers no RemoteDesktop, so clicks are not passed on"
                : "the desktop portal's RemoteDesktop offers no pointer, so clicks are not passed on";
    }
    const char* sessionInterface = remote ? kRemoteDesktop : kScreenCast;

    BusValue results;
    if (!PortalCall(*this, sessionInterface, "CreateSession")
             .Run({TextOption("session_handle_token", "qv" + std::to_string(getpid()))}, kStepWait, results,
                  problem)) {
        return false;
    }
    handle = SessionHandleOf(results);
    if (handle.empty()) {
        problem = "the desktop portal named no session";
        return false;
    }

    // The choice is kept by the interface that starts the session.
    std::vector<Option> keep;
    if (remote ? offer.remoteDesktopVersion >= kRemoteDesktopPersistSince
               : offer.screenCastVersion >= kScreenCastPersistSince) {
        keep.push_back(NumberOption("persist_mode", kPersistUntilRevoked));
        if (!request.restoreToken.empty()) {
            keep.push_back(TextOption("restore_token", request.restoreToken));
        }
    }
    if (remote) {
        std::vector<Option> devices{NumberOption("types", kPointerDevice)};
        devices.insert(devices.end(), keep.begin(), keep.end());
        if (!PortalCall(*this, kRemoteDesktop, "SelectDevices")
                 .OnSession()
                 .Run(devices, kStepWait, results, problem)) {
            return false;
        }
    }
    std::vector<Option> sources{NumberOption("types", kMonitorSource), FlagOption("multiple", false)};
    if ((offer.cursorModes & kHiddenCursor) != 0) {
        sources.push_back(NumberOption("cursor_mode", kHiddenCursor));
    }
    if (!remote) {
        sources.insert(sources.end(), keep.begin(), keep.end());
    }
    if (!PortalCall(*this, kScreenCast, "SelectSources")
             .OnSession()
             .Run(sources, kStepWait, results, problem)) {
        return false;
    }

    if (!PortalCall(*this, sessionInterface, "Start")
             .OnSession()
             .WithParentWindow()
             .Run({}, request.answerWait, results, problem)) {
        return false;
    }
    const std::optional<StartAnswer> answer = ReadStartAnswer(results);
    if (!answer) {
        problem = "the desktop portal started no stream";
        return false;
    }
    stream = answer->streams.front();
    restoreToken = answer->restoreToken;
    pointer = remote && (answer->devices & kPointerDevice) != 0;
    if (remote && !pointer) {
        pointerProblem = "the pointer was not granted, so clicks are not passed on";
    }
    return true;
}

int PortalSession::OpenPipeWireRemote() {
    std::lock_guard guard(lock);
    BusError error;
    sd_bus_message* rawReply = nullptr;
    if (sd_bus_call_method(bus.get(), kPortalName, kPortalPath, kScreenCast, "OpenPipeWireRemote",
                           &error.error, &rawReply, "oa{sv}", handle.c_str(), 0) < 0) {
        return -1;
    }
    const Message reply(rawReply);
    int descriptor = -1;
    if (sd_bus_message_read_basic(rawReply, SD_BUS_TYPE_UNIX_FD, &descriptor) < 0) {
        return -1;
    }
    // The message owns the descriptor it carries.
    return fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
}

void PortalSession::MovePointer(double x, double y) {
    std::lock_guard guard(lock);
    if (!pointer) {
        return;
    }
    BusError error;
    sd_bus_call_method(bus.get(), kPortalName, kPortalPath, kRemoteDesktop, "NotifyPointerMotionAbsolute",
                       &error.error, nullptr, "oa{sv}udd", handle.c_str(), 0, stream.node, x, y);
}

void PortalSession::PressLeft(bool pressed) {
    std::lock_guard guard(lock);
    if (!pointer) {
        return;
    }
    BusError error;
    sd_bus_call_method(bus.get(), kPortalName, kPortalPath, kRemoteDesktop, "NotifyPointerButton",
                       &error.error, nullptr, "oa{sv}iu", handle.c_str(), 0,
                       static_cast<std::int32_t>(BTN_LEFT), pressed ? kButtonPressed : kButtonReleased);
}

}  // namespace platform::linux_portal
