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
// Files go out in blocks of this size; a larger block means the same bytes in far fewer calls.
constexpr std::size_t kFileBlockBytes = 64 * 1024;

}  // namespace

int CaptureService::HookHandleRequest(const char* path, TcpSocket& connection) {
    // Taken before anything else: the rate limit measures from the moment the request arrived, before the
    // name look-up and a click's pauses.
    const std::uint32_t startTick = tickSource();
    const std::string_view target(path);
    const bool hasQuery = target.find('?') != std::string_view::npos;

    ShowClient(connection);

    const Settings& settings = CurrentSettings();
    const bool isClick = target.starts_with(pages::kClickPrefix) && hasQuery;
    if (isClick && settings.enableClick) {
        remoteClick->Perform(target, settings.scaleDown, settings.targetDesktop);
    }

    if (target == pages::kPagePath || isClick) {
        char templatePath[kMaxPath];
        WorkingFilePath(templatePath, pages::kTemplateFileName);
        if (!SendFileAnswer(connection, path, templatePath, pages::kPage)) {
            SendFixedAnswer(connection, path, pages::kPage);
        }
    } else if (target == pages::kSnapshotFolderPath || target == pages::kSnapshotPath) {
        SendSnapshot(connection, path, startTick);
    } else {
        SendFixedAnswer(connection, path, pages::kNotFound);
    }
    return 1;
}

void CaptureService::ShowClient(TcpSocket& connection) {
    char hostName[access_log::kHostNameBytes] = "";
    if (CurrentSettings().resolveHostname) {
        connection.PeerHostName(hostName, sizeof hostName);
    }
    char address[access_log::kAddressBytes] = "";
    connection.PeerAddressText(address);
    char note[kClientNoteBytes];
    std::snprintf(note, sizeof note, "%s(%s)", hostName, address);
    Status().SetStatusClient(note);
}

void CaptureService::SendSnapshot(TcpSocket& connection, const char* path, std::uint32_t startTick) {
    char snapshotPath[kMaxPath];
    WorkingFilePath(snapshotPath, pages::kSnapshotFileName);
    {
        std::lock_guard guard(captureLock);
        ++hitCount;
        Status().SetHitCount(hitCount);
        // Once the server is stopping, requests still queued here get the picture there is: captures
        // that nobody waits for would only hold up the end.
        const auto minRemake = static_cast<std::uint32_t>(CurrentSettings().minRemake);
        if (IsRunning() && CaptureIntervalPassed(startTick, lastCaptureTick, minRemake)) {
            RunCaptureJob(snapshotPath);
            Status().SetStatusActivity("");
            lastCaptureTick = startTick;
        }
    }
    // The capture replaces the file in one step, so this opens either the old picture or the new one,
    // whole, and keeps reading it even when the next capture replaces it meanwhile.
    if (!SendFileAnswer(connection, path, snapshotPath, pages::kSnapshot)) {
        SendFixedAnswer(connection, path, pages::kServerError);
    }
}

void CaptureService::SendFixedAnswer(TcpSocket& connection, const char* path, const pages::FixedAnswer& answer) {
    const int length = static_cast<int>(answer.body.size());
    HookLogAccess(connection, answer.status, length, path);
    WriteResponseHead(connection, answer.status, length, answer.reason, answer.contentType, nullptr);
    connection.SendAll(answer.body.data(), length);
}

bool CaptureService::SendFileAnswer(TcpSocket& connection, const char* path, const char* filePath,
                                    const pages::FixedAnswer& answer) {
    const std::unique_ptr<platform::files::InputFile> file = platform::files::InputFile::Open(filePath);
    if (!file) {
        return false;
    }
    const int length = static_cast<int>(file->Size());
    HookLogAccess(connection, answer.status, length, path);
    WriteResponseHead(connection, answer.status, length, answer.reason, answer.contentType, nullptr);
    // The body is whatever the reads deliver; a failed send does not stop them.
    char block[kFileBlockBytes];
    std::size_t count;
    while ((count = file->Read(block, sizeof block)) > 0) {
        connection.SendAll(block, static_cast<int>(count));
    }
    return true;
}
