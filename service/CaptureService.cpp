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
    accessLog = std::make_unique<access_log::AccessLogFile>(logPath);
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
    // A request the request hook handles was named once when it came in. The engine's own answers are
    // named here, outside the log's lock, so that a slow look-up delays only its own request; the 503 is
    // given on the accept thread, which must never wait for the name service, and is logged with the
    // address alone.
    const access_log::ClientNames* known = access_log::RequestClient::NamesFor(connection);
    const bool mayLookUp = resolveHostname != 0 && status != static_cast<int>(HttpStatusCode::ServiceUnavailable);
    const access_log::ClientNames names = known != nullptr ? *known : access_log::NameClient(connection, mayLookUp);
    const std::string tail = access_log::FormatTail(status, length, names.hostName, names.address);
    const std::string escaped = access_log::EscapeRequestText(requestText);
    accessLog->Append(escaped, tail);
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
