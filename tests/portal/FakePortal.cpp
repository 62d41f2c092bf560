#include "tests/portal/FakePortal.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

extern char** environ;

namespace portal_test {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr std::uint64_t kServeWaitMicroseconds = 50'000;
constexpr std::uint32_t kScreenCastVersion = 4;
constexpr std::uint32_t kRemoteDesktopVersion = 2;
constexpr std::uint32_t kHiddenAndEmbedded = 3;
constexpr std::uint32_t kPointerAndKeyboard = 3;
constexpr std::size_t kAddressLimit = 512;

}  // namespace

PrivateBus::PrivateBus() {
    const std::string config = folder.File("bus.conf");
    TempDir::WriteFile(config,
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:path=" +
                           folder.File("bus") +
                           "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                           "<allow own=\"*\"/></policy></busconfig>\n");
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    const std::string configArgument = "--config-file=" + config;
    char program[] = "dbus-daemon";
    char noFork[] = "--nofork";
    char printAddress[] = "--print-address";
    char* arguments[] = {program, const_cast<char*>(configArgument.c_str()), noFork, printAddress, nullptr};
    const int spawned = posix_spawnp(&daemon, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    if (spawned != 0) {
        daemon = -1;
        close(output[0]);
        return;
    }
    char line[kAddressLimit] = {};
    std::size_t length = 0;
    while (length + 1 < sizeof line) {
        const ssize_t got = read(output[0], line + length, 1);
        if (got <= 0 || line[length] == '\n') {
            break;
        }
        ++length;
    }
    close(output[0]);
    address.assign(line, length);
}

PrivateBus::~PrivateBus() {
    if (daemon > 0) {
        kill(daemon, SIGTERM);
        waitpid(daemon, nullptr, 0);
    }
}

FakePortal::FakePortal(const std::string& address, PortalBehaviour wanted) : behaviour(std::move(wanted)) {
    platform::linux_portal::BusConnection opened = platform::linux_portal::OpenBus(address);
    if (!opened || sd_bus_add_fallback(opened.get(), nullptr, kPortalPath, OnMessage, this) < 0 ||
        sd_bus_request_name(opened.get(), kPortalName, 0) < 0) {
        return;
    }
    bus = std::move(opened);
    server = std::thread([this] { Serve(); });
}

FakePortal::~FakePortal() {
    stopping = true;
    if (server.joinable()) {
        server.join();
    }
}

std::vector<ReceivedCall> FakePortal::Calls() {
    std::lock_guard guard(lock);
    return calls;
}

ReceivedCall FakePortal::Call(const std::string& method) {
    std::lock_guard guard(lock);
    for (const ReceivedCall& call : calls) {
        if (call.method == method) {
            return call;
        }
    }
    return {};
}

void FakePortal::Serve() {
    while (!stopping) {
        const int result = sd_bus_process(bus.get(), nullptr);
        if (result < 0) {
            return;
        }
        if (result == 0) {
            sd_bus_wait(bus.get(), kServeWaitMicroseconds);
        }
    }
}

int FakePortal::OnMessage(sd_bus_message* message, void* data, sd_bus_error*) {
    return static_cast<FakePortal*>(data)->Handle(message);
}

int FakePortal::Handle(sd_bus_message* message) {
    if (!sd_bus_message_is_method_call(message, nullptr, nullptr)) {
        return 0;
    }
    const char* interface = sd_bus_message_get_interface(message);
    const char* method = sd_bus_message_get_member(message);
    ReceivedCall call{interface != nullptr ? interface : "",
                      method != nullptr ? method : "",
                      sd_bus_message_get_path(message),
                      {},
                      {}};

    if (call.interface == kProperties && call.method == "Get") {
        const char* askedInterface = nullptr;
        const char* property = nullptr;
        if (sd_bus_message_read(message, "ss", &askedInterface, &property) < 0) {
            return -EINVAL;
        }
        const std::string asked = askedInterface;
        const std::string name = property;
        std::uint32_t value = 0;
        if (asked == kScreenCast) {
            value = name == "version"                ? kScreenCastVersion
                    : name == "AvailableCursorModes" ? kHiddenAndEmbedded
                                                     : 1;
        } else if (asked == kRemoteDesktop && behaviour.remoteDesktop) {
            value = name == "version" ? kRemoteDesktopVersion : kPointerAndKeyboard;
        } else {
            return sd_bus_reply_method_errorf(message, "org.freedesktop.DBus.Error.UnknownInterface",
                                              "no interface %s", askedInterface);
        }
        return sd_bus_reply_method_return(message, "v", "u", value);
    }

    // Everything else is recorded: its arguments, and the options dictionary where the call has one.
    call.arguments.kind = BusValue::Kind::List;
    for (;;) {
        BusValue argument;
        if (platform::linux_portal::ReadBusValue(message, argument) <= 0) {
            break;
        }
        if (argument.kind == BusValue::Kind::Dictionary) {
            call.options = argument;
        }
        call.arguments.items.push_back(std::move(argument));
    }
    {
        std::lock_guard guard(lock);
        calls.push_back(call);
    }

    if (call.method == "CreateSession" || call.method == "SelectSources" || call.method == "SelectDevices" ||
        call.method == "Start") {
        return AnswerRequest(message, call);
    }
    if (call.method == "OpenPipeWireRemote") {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return -errno;
        }
        const ssize_t written = write(ends[1], &kRemoteByte, 1);
        close(ends[1]);
        const int result = written == 1 ? sd_bus_reply_method_return(message, "h", ends[0]) : -EIO;
        close(ends[0]);
        return result;
    }
    if (call.method == "Close" || call.method == "NotifyPointerMotionAbsolute" ||
        call.method == "NotifyPointerButton") {
        return sd_bus_reply_method_return(message, "");
    }
    return sd_bus_reply_method_errorf(message, "org.freedesktop.DBus.Error.UnknownMethod", "no method %s",
                                      method);
}

// Replies with the request's path, then answers on it as the portal does.
int FakePortal::AnswerRequest(sd_bus_message* message, const ReceivedCall& call) {
    const BusValue* token = call.options.Member("handle_token");
    const std::string path = platform::linux_portal::RequestPath(sd_bus_message_get_sender(message),
                                                                 token != nullptr ? token->text : "missing");
    int result = sd_bus_reply_method_return(message, "o", path.c_str());
    if (result < 0) {
        return result;
    }
    sd_bus_message* signal = nullptr;
    result = sd_bus_message_new_signal(bus.get(), &signal, path.c_str(), "org.freedesktop.portal.Request",
                                       "Response");
    if (result < 0) {
        return result;
    }
    const std::string session = "/org/freedesktop/portal/desktop/session/test/1";
    if (call.method == "CreateSession") {
        result = sd_bus_message_append(signal, "ua{sv}", 0, 1, "session_handle", "s", session.c_str());
    } else if (call.method == "Start") {
        result = sd_bus_message_append(signal, "ua{sv}", behaviour.startResponse, 3, "streams", "a(ua{sv})",
                                       1, kNode, 2, "size", "(ii)", kWidth, kHeight, "position", "(ii)", 0, 0,
                                       "restore_token", "s", behaviour.newToken.c_str(), "devices", "u",
                                       behaviour.grantedDevices);
    } else {
        result = sd_bus_message_append(signal, "ua{sv}", 0, 0);
    }
    if (result >= 0) {
        result = sd_bus_send(bus.get(), signal, nullptr);
    }
    sd_bus_message_unref(signal);
    return result < 0 ? result : 1;
}

}  // namespace portal_test
