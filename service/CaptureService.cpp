#include "service/CaptureService.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "service/AccessLog.h"
#include "service/RemoteClick.h"
#include "service/SettingsKeys.h"

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
    ApplySettings(Settings{});
}

CaptureService::~CaptureService() {
    // No worker may run a hook of this object once its members start to go.
    Shutdown();
}

StartResult CaptureService::Start(const Settings& settings) {
    if (!ApplySettings(settings)) {
        return StartResult::AlreadyRunning;
    }
    return Start(settings.port);
}

bool CaptureService::ApplySettings(const Settings& settings) {
    if (IsRunning()) {
        return false;
    }
    auto applied = std::make_unique<AppliedSettings>();
    applied->settings = settings;
    applied->settings.quality = std::min(settings.quality, settings::kMaxQuality);
    for (const settings::SettingKey& key : settings::Keys()) {
        if (key.kind == settings::ValueKind::Text && (applied->settings.*key.text).size() > key.maxBytes) {
            (applied->settings.*key.text).resize(key.maxBytes);
        }
    }
    applied->credentials = applied->settings.user + ":" + applied->settings.password;
    // A copy equal to one applied before is used again, so that a slider moved back and forth does not
    // keep more copies than it has positions.
    for (const auto& copy : appliedCopies) {
        if (copy->settings == applied->settings) {
            current.store(copy.get());
            return true;
        }
    }
    appliedCopies.push_back(std::move(applied));
    current.store(appliedCopies.back().get());
    return true;
}

void CaptureService::SetCredentials(const char* realmText, const char* user, const char* password) {
    EditSettings([&](Settings& settings) {
        settings.realm = realmText;
        settings.user = user;
        settings.password = password;
    });
}

void CaptureService::SetCaptureObserver(std::function<void(imaging::CaptureResult)> observer) {
    captureObserver = std::move(observer);
}

void CaptureService::ShowStartupPicture() const {
    const std::string snapshotPath = WorkingFilePath(pages::kSnapshotFileName);
    const std::string startupPath = WorkingFilePath(pages::kStartupPictureFileName);
    platform::files::RemoveLeftoverReplacements(snapshotPath.c_str());
    platform::files::RemoveFile(snapshotPath.c_str());
    platform::files::CopyFileUnlessExists(startupPath.c_str(), snapshotPath.c_str());
}

void CaptureService::SetStatusSink(StatusSink* sink) {
    statusSink.store(sink != nullptr ? sink : &silentSink);
}

void CaptureService::SetTickSource(std::function<std::uint32_t()> source) {
    tickSource = source ? std::move(source) : std::function<std::uint32_t()>(platform::TickCount);
}

std::string CaptureService::WorkingFilePath(const char* fileName) const {
    return locations.PathOf(fileName);
}

int CaptureService::HookAuthenticate(const char*, const char** realmOut, const char** credentialsOut) {
    const AppliedSettings& applied = *current.load();
    if (!applied.settings.authenticate) {
        return 0;
    }
    *realmOut = applied.settings.realm.c_str();
    *credentialsOut = applied.credentials.c_str();
    return 1;
}

int CaptureService::HookLogAccess(TcpSocket& connection, int status, int length, const char* requestText) {
    // A request the request hook handles was named once when it came in. The engine's own answers are
    // named here, outside the log's lock, so that a slow look-up delays only its own request; the 503 is
    // given on the accept thread, which must never wait for the name service, and is logged with the
    // address alone.
    const access_log::ClientNames* known = access_log::RequestClient::NamesFor(connection);
    const bool mayLookUp =
        CurrentSettings().resolveHostname && status != static_cast<int>(HttpStatusCode::ServiceUnavailable);
    const access_log::ClientNames names =
        known != nullptr ? *known : access_log::NameClient(connection, mayLookUp);
    const std::string tail = access_log::FormatTail(status, length, names.hostName, names.address);
    const std::string escaped = access_log::EscapeRequestText(requestText);
    accessLog->Append(escaped, tail);
    return 1;
}

imaging::CaptureResult CaptureService::RunCaptureJob(const char* fileName) {
    const imaging::CaptureResult result = captureJob->RunCaptureJob(CurrentSettings(), fileName);
    if (captureObserver) {
        captureObserver(result);
    }
    return result;
}
