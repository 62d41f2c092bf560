#include "platform/linux/gnome/MutterSession.h"

#include "platform/linux/gnome/GnomeBackend.h"

#include <linux/input-event-codes.h>
#include <systemd/sd-bus.h>

#include <cstdlib>
#include <cstring>

namespace platform::linux_gnome {
namespace {

constexpr const char* kRemoteDesktopService = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kRemoteDesktopPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* kRemoteDesktopSession = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* kScreenCastPath = "/org/gnome/Mutter/ScreenCast";
constexpr const char* kScreenCastSession = "org.gnome.Mutter.ScreenCast.Session";
constexpr const char* kScreenCastStream = "org.gnome.Mutter.ScreenCast.Stream";
constexpr const char* kPrimaryMonitor = "";
constexpr std::uint32_t kCursorHidden = 0;  // as X11 captures show no pointer either
// How long mutter may take to start the stream and name its PipeWire node.
constexpr std::chrono::milliseconds kStartWait{5000};

// An sd-bus error and reply freed on every path.
struct BusAnswer {
    BusAnswer() = default;
    BusAnswer(const BusAnswer&) = delete;
    BusAnswer& operator=(const BusAnswer&) = delete;
    ~BusAnswer() {
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
    }
    std::string Why(int result) const {
        if (error.message != nullptr) {
            return error.message;
        }
        return std::strerror(result < 0 ? -result : result);
    }
    sd_bus_error error{};  // all zero: SD_BUS_ERROR_NULL, whose C compound literal C++ does not have
    sd_bus_message* reply = nullptr;
};

// Reads the object path a call answered with.
bool ReadPath(sd_bus_message* reply, std::string& path) {
    const char* text = nullptr;
    if (sd_bus_message_read(reply, "o", &text) < 0 || text == nullptr) {
        return false;
    }
    path = text;
    return true;
}

}  // namespace

std::shared_ptr<MutterSession> MutterSession::Shared(std::string& problem) {
    static std::mutex sharedLock;
    static std::weak_ptr<MutterSession> current;  // guarded by sharedLock
    std::lock_guard guard(sharedLock);
    if (std::shared_ptr<MutterSession> session = current.lock(); session && session->Alive()) {
        return session;
    }
    std::shared_ptr<MutterSession> session(new MutterSession());
    if (!session->Start(problem)) {
        return nullptr;
    }
    current = session;
    return session;
}

MutterSession::~MutterSession() {
    frames.reset();
    if (bus == nullptr) {
        return;
    }
    if (!remoteDesktopPath.empty() && !closed) {
        BusAnswer answer;
        sd_bus_call_method(bus, kRemoteDesktopService, remoteDesktopPath.c_str(), kRemoteDesktopSession,
                           "Stop", &answer.error, nullptr, "");
    }
    sd_bus_slot_unref(streamAddedSlot);
    sd_bus_slot_unref(closedSlot);
    sd_bus_slot_unref(ownerSlot);
    sd_bus_flush_close_unref(bus);
}

bool MutterSession::Start(std::string& problem) {
    std::lock_guard guard(busLock);
    if (int result = sd_bus_open_user(&bus); result < 0) {
        bus = nullptr;
        problem =
            std::string("no session bus to reach GNOME's ScreenCast service: ") + std::strerror(-result);
        return false;
    }
    const auto refused = [&problem](const char* what, const BusAnswer& answer, int result) {
        problem = std::string("GNOME's remote desktop refused ") + what + ": " + answer.Why(result);
        return false;
    };

    BusAnswer created;
    int result = sd_bus_call_method(bus, kRemoteDesktopService, kRemoteDesktopPath, kRemoteDesktopService,
                                    "CreateSession", &created.error, &created.reply, "");
    if (result < 0 || !ReadPath(created.reply, remoteDesktopPath)) {
        return refused("a session", created, result);
    }
    BusAnswer named;
    char* sessionId = nullptr;
    result = sd_bus_get_property_string(bus, kRemoteDesktopService, remoteDesktopPath.c_str(),
                                        kRemoteDesktopSession, "SessionId", &named.error, &sessionId);
    if (result < 0) {
        return refused("to name its session", named, result);
    }
    const std::string id = sessionId;
    std::free(sessionId);

    BusAnswer cast;
    result = sd_bus_call_method(bus, kScreenCastService, kScreenCastPath, kScreenCastService, "CreateSession",
                                &cast.error, &cast.reply, "a{sv}", 1, "remote-desktop-session-id", "s",
                                id.c_str());
    std::string screenCastPath;
    if (result < 0 || !ReadPath(cast.reply, screenCastPath)) {
        return refused("a screen cast", cast, result);
    }
    BusAnswer recorded;
    result = sd_bus_call_method(bus, kScreenCastService, screenCastPath.c_str(), kScreenCastSession,
                                "RecordMonitor", &recorded.error, &recorded.reply, "sa{sv}", kPrimaryMonitor,
                                1, "cursor-mode", "u", kCursorHidden);
    if (result < 0 || !ReadPath(recorded.reply, streamPath)) {
        return refused("to record the monitor", recorded, result);
    }

    // Heard before Start, so that the stream's node id cannot pass unseen.
    if (sd_bus_match_signal(bus, &streamAddedSlot, nullptr, streamPath.c_str(), kScreenCastStream,
                            "PipeWireStreamAdded", OnStreamAdded, this) < 0 ||
        sd_bus_match_signal(bus, &closedSlot, nullptr, remoteDesktopPath.c_str(), kRemoteDesktopSession,
                            "Closed", OnClosed, this) < 0 ||
        sd_bus_match_signal(bus, &ownerSlot, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "NameOwnerChanged", OnOwnerChanged, this) < 0) {
        problem = "cannot listen to GNOME's screen cast on the session bus";
        return false;
    }
    BusAnswer started;
    result = sd_bus_call_method(bus, kRemoteDesktopService, remoteDesktopPath.c_str(), kRemoteDesktopSession,
                                "Start", &started.error, nullptr, "");
    if (result < 0) {
        return refused("to start", started, result);
    }

    const auto deadline = std::chrono::steady_clock::now() + kStartWait;
    while (!nodeKnown && !closed) {
        result = sd_bus_process(bus, nullptr);
        if (result > 0) {
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (result < 0 || left.count() <= 0) {
            break;
        }
        sd_bus_wait(bus, static_cast<std::uint64_t>(left.count()));
    }
    if (!nodeKnown) {
        problem = "GNOME's screen cast started no stream";
        return false;
    }
    // Mutter makes its virtual pointer on the first pointer event, and clients hear of a new pointer only
    // a moment later: a click in that moment would be lost. A motion by nothing makes it now.
    BusAnswer still;
    sd_bus_call_method(bus, kRemoteDesktopService, remoteDesktopPath.c_str(), kRemoteDesktopSession,
                       "NotifyPointerMotionRelative", &still.error, nullptr, "dd", 0.0, 0.0);
    frames = linux_pipewire::PipeWireFrames::Connect(-1, nodeId, problem);
    return frames != nullptr;
}

void MutterSession::ProcessPending() {
    while (sd_bus_process(bus, nullptr) > 0) {
    }
}

bool MutterSession::Alive() {
    std::lock_guard guard(busLock);
    ProcessPending();
    return !closed && !streamEnded && sd_bus_is_open(bus) > 0;
}

bool MutterSession::WithNewestFrame(std::chrono::milliseconds wait,
                                    const std::function<void(const linux_wayland::Frame&)>& use) {
    const bool given = frames->WithNewestFrame(wait, use);
    if (given) {
        delivered = true;
    } else if (delivered) {
        streamEnded = true;
    }
    return given;
}

void MutterSession::MovePointerTo(double x, double y) {
    std::lock_guard guard(busLock);
    BusAnswer answer;
    sd_bus_call_method(bus, kRemoteDesktopService, remoteDesktopPath.c_str(), kRemoteDesktopSession,
                       "NotifyPointerMotionAbsolute", &answer.error, nullptr, "sdd", streamPath.c_str(), x,
                       y);
}

void MutterSession::LeftButton(bool pressed) {
    std::lock_guard guard(busLock);
    BusAnswer answer;
    sd_bus_call_method(bus, kRemoteDesktopService, remoteDesktopPath.c_str(), kRemoteDesktopSession,
                       "NotifyPointerButton", &answer.error, nullptr, "ib", std::int32_t{BTN_LEFT},
                       static_cast<int>(pressed));
}

int MutterSession::OnStreamAdded(sd_bus_message* message, void* data, sd_bus_error*) {
    auto* self = static_cast<MutterSession*>(data);
    std::uint32_t node = 0;
    if (sd_bus_message_read(message, "u", &node) >= 0) {
        self->nodeId = node;
        self->nodeKnown = true;
    }
    return 0;
}

int MutterSession::OnClosed(sd_bus_message*, void* data, sd_bus_error*) {
    static_cast<MutterSession*>(data)->closed = true;
    return 0;
}

// Mutter leaving the bus ends the session without a word.
int MutterSession::OnOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) >= 0 && name != nullptr &&
        newOwner != nullptr && std::strcmp(name, kRemoteDesktopService) == 0 && newOwner[0] == '\0') {
        static_cast<MutterSession*>(data)->closed = true;
    }
    return 0;
}

bool ScreenCastServiceOnBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return false;
    }
    BusAnswer answer;
    int owned = 0;
    const bool asked =
        sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", &answer.error, &answer.reply, "s", kScreenCastService) >= 0 &&
        sd_bus_message_read(answer.reply, "b", &owned) >= 0;
    sd_bus_flush_close_unref(bus);
    return asked && owned != 0;
}

}  // namespace platform::linux_gnome
