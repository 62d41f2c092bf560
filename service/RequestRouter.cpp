#include <cstdio>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/Files.h"
#include "service/AccessLog.h"
#include "service/CaptureService.h"
#include "service/RateLimit.h"
#include "service/RemoteClick.h"

namespace {

constexpr std::size_t kClientNoteBytes = 1024;

}  // namespace

namespace pages {

Route RouteRequest(std::string_view path) {
    if (path == kPagePath) {
        return Route::ViewerPage;
    }
    if (path.starts_with(kClickPrefix) && path.find('?') != std::string_view::npos) {
        return Route::Click;
    }
    if (path == kSnapshotPath || path == kSnapshotFolderPath) {
        return Route::Snapshot;
    }
    return Route::NotFound;
}

}  // namespace pages

int CaptureService::HookHandleRequest(const char* path, TcpSocket& connection) {
    // Taken before anything else: the rate limit measures from the moment the request arrived, before the
    // name look-up and a click's pauses.
    const std::uint32_t startTick = tickSource();
    const std::string_view target(path);

    // Named once, for the status note and for the log line of the answer.
    const access_log::RequestClient client(connection, CurrentSettings().resolveHostname);
    ShowClient(client.Names());

    const Settings& settings = CurrentSettings();
    const pages::Route route = pages::RouteRequest(target);
    if (route == pages::Route::Click && settings.enableClick) {
        remoteClick->Perform(target, settings.scaleDown, settings.targetDesktop);
    }

    switch (route) {
        case pages::Route::ViewerPage:
        case pages::Route::Click: {
            const std::string templatePath = WorkingFilePath(pages::kTemplateFileName);
            if (!SendFileAnswer(connection, path, templatePath.c_str(), pages::kPage)) {
                SendPageAnswer(connection, path, pages::kPage);
            }
            break;
        }
        case pages::Route::Snapshot:
            SendSnapshot(connection, path, startTick);
            break;
        case pages::Route::NotFound:
            SendPageAnswer(connection, path, pages::kNotFound);
            break;
    }
    return 1;
}

void CaptureService::ShowClient(const access_log::ClientNames& client) {
    char note[kClientNoteBytes];
    std::snprintf(note, sizeof note, "%s(%s)", client.hostName, client.address);
    Status().SetStatusClient(note);
}

void CaptureService::SendSnapshot(TcpSocket& connection, const char* path, std::uint32_t startTick) {
    const std::string snapshotPath = WorkingFilePath(pages::kSnapshotFileName);
    {
        std::lock_guard guard(captureLock);
        ++hitCount;
        Status().SetHitCount(hitCount);
        // Once the server is stopping, requests still queued here get the picture there is: captures
        // that nobody waits for would only hold up the end.
        const auto minRemake = static_cast<std::uint32_t>(CurrentSettings().minRemake);
        if (IsRunning() && CaptureIntervalPassed(startTick, lastCaptureTick, minRemake)) {
            RunCaptureJob(snapshotPath.c_str());
            Status().SetStatusActivity("");
            lastCaptureTick = startTick;
        }
    }
    // The capture replaces the file in one step, so this opens either the old picture or the new one,
    // whole, and keeps reading it even when the next capture replaces it meanwhile.
    if (!SendFileAnswer(connection, path, snapshotPath.c_str(), pages::kSnapshot)) {
        SendPageAnswer(connection, path, pages::kServerError);
    }
}

void CaptureService::SendPageAnswer(TcpSocket& connection, const char* path, const pages::Answer& answer) {
    const HttpStatusEntry& status = LookupStatus(answer.status);
    const int length = static_cast<int>(answer.body.size());
    HookLogAccess(connection, status.Code(), length, path);
    WriteResponseHead(connection, status.Code(), length, status.statusText, answer.contentType, nullptr);
    connection.SendAll(answer.body.data(), length);
}

bool CaptureService::SendFileAnswer(TcpSocket& connection, const char* path, const char* filePath,
                                    const pages::Answer& answer) {
    const std::unique_ptr<platform::files::InputFile> file = platform::files::InputFile::Open(filePath);
    if (!file) {
        return false;
    }
    const HttpStatusEntry& status = LookupStatus(answer.status);
    const int length = static_cast<int>(file->Size());
    HookLogAccess(connection, status.Code(), length, path);
    WriteResponseHead(connection, status.Code(), length, status.statusText, answer.contentType, nullptr);
    // The body is the file as large as it was when opened; a failed send ends the answer.
    connection.SendFile(*file, file->Size());
    return true;
}
