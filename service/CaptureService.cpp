#include "service/CaptureService.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "service/AccessLog.h"
#include "service/RemoteClick.h"

// The capture job keeps one sink for its life; this one passes its notifications on to whichever sink
// the service has at the moment.
class CaptureService::StatusForwarder final : public StatusSink {
public:
    explicit StatusForwarder(const CaptureService& service) : service(service) {}
    void SetStatusClient(const char* text) override { service.Status().SetStatusClient(text); }
    void SetStatusActivity(const char* text) override { service.Status().SetStatusActivity(text); }
    void SetHitCount(std::uint32_t count) override { service.Status().SetHitCount(count); }

private:
    const CaptureService& service;
};

CaptureService::CaptureService(std::string executablePath)
    : CaptureService(FileLocations::BesideExecutable(executablePath, platform::files::kPathSeparator)) {}

CaptureService::CaptureService(FileLocations locations)
    : locations(std::move(locations)),
      tickSource(platform::TickCount),
      captureStatus(std::make_unique<StatusForwarder>(*this)),
      captureJob(std::make_unique<imaging::CaptureJob>(*captureStatus)),
      remoteClick(std::make_unique<RemoteClick>()) {
    logPath = WorkingFilePath(pages::kLogFileName);
}

CaptureService::~CaptureService() {
    // No worker may run a hook of this object once its members start to go.
    Shutdown();
}

void CaptureService::SetCredentials(const char* realmText, const char* user, const char* password) {
    std::snprintf(credentials, sizeof credentials, "%s:%s", user, password);
    std::snprintf(realm, sizeof realm, "%s", realmText);
}

void CaptureService::SetStatusSink(StatusSink* sink) { statusSink.store(sink != nullptr ? sink : &silentSink); }

void CaptureService::SetTickSource(std::function<std::uint32_t()> source) {
    tickSource = source ? std::move(source) : std::function<std::uint32_t()>(platform::TickCount);
}

std::string CaptureService::WorkingFilePath(const char* fileName) const { return locations.PathOf(fileName); }

int CaptureService::HookAuthenticate(const char*, const char** realmOut, const char** credentialsOut) {
    if (authenticate == 0) {
        return 0;
    }
    *realmOut = realm;
    *credentialsOut = credentials;
    return 1;
}

int CaptureService::HookLogAccess(TcpSocket& connection, int status, int length, const char* requestText) {
    // The look-ups can take long: they run before the log lock, and only delay their own request.
    char hostName[access_log::kHostNameBytes] = "";
    if (resolveHostname != 0) {
        connection.PeerHostName(hostName, sizeof hostName);
    }
    char address[access_log::kAddressBytes] = "";
    connection.PeerAddressText(address);
    const std::string tail = access_log::FormatTail(status, length, hostName, address);
    const std::string escaped = access_log::EscapeRequestText(requestText);
    access_log::AppendLogLine(logPath.c_str(), logLock, escaped, tail);
    return 1;
}

imaging::CaptureResult CaptureService::RunCaptureJob(const char* fileName) {
    imaging::CaptureSettings settings;
    settings.targetDesktop = targetDesktop;
    static_assert(sizeof settings.windowClass == sizeof windowClass);
    std::memcpy(settings.windowClass, windowClass, sizeof windowClass);
    settings.windowClass[sizeof settings.windowClass - 1] = '\0';
    settings.scaleDown = scaleDown;
    settings.drawTime = drawTime;
    settings.quality = quality;
    settings.priority = priority;
    return captureJob->RunCaptureJob(settings, fileName);
}
