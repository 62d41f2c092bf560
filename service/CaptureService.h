#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/FileLocations.h"
#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"
#include "platform/Lock.h"
#include "server/HttpServer.h"
#include "service/Pages.h"

namespace platform {
class Desktop;
class PointerInput;
}  // namespace platform
class RemoteClick;
namespace access_log {
struct ClientNames;
class AccessLogFile;
}  // namespace access_log

inline constexpr std::size_t kTextBytes = 200;

// The application's server: the snapshot of the user's settings that request handling, the access log and
// the capture job read, and the engine's three hooks. The setting members are written by the controlling
// (GUI) thread only while the server is stopped, and read without locking by the worker and capture
// threads while it runs.
class CaptureService : public HttpServer {
public:
    // The working files live where locations says; with an executable's path, all beside it.
    explicit CaptureService(FileLocations locations);
    explicit CaptureService(std::string executablePath);
    ~CaptureService() override;

    // credentials = "user:password", realm = the realm text.
    void SetCredentials(const char* realmText, const char* user, const char* password);
    // The panel's status notifications; null restores the silent sink. Set while stopped.
    void SetStatusSink(StatusSink* sink);
    // Millisecond tick used for the rate limit; tests inject their own. Set while stopped.
    void SetTickSource(std::function<std::uint32_t()> source);

    // The full path of a working file.
    std::string WorkingFilePath(const char* fileName) const;

    int quality = 75;
    char credentials[kTextBytes]{};
    char realm[kTextBytes]{};
    std::string logPath;
    int authenticate = 0;
    int enableClick = 0;
    int targetDesktop = 0;
    int scaleDown = 0;
    int drawTime = 0;
    int resolveHostname = 0;
    char windowClass[kTextBytes]{};
    int priority = 0;
    std::uint32_t minRemake = 0;

    // Program-wide state that survives Stop and Start.
    platform::Lock captureLock;  // serialises the hit counter, the rate-limit test and the whole capture
    std::uint32_t hitCount = 0;         // guarded by captureLock
    std::uint32_t lastCaptureTick = 0;  // guarded by captureLock

protected:
    int HookAuthenticate(const char* path, const char** realmOut, const char** credentialsOut) override;
    int HookHandleRequest(const char* path, TcpSocket& connection) override;
    int HookLogAccess(TcpSocket& connection, int status, int length, const char* requestText) override;

    // Takes one snapshot into fileName; the capture job's result. Tests may replace it.
    virtual imaging::CaptureResult RunCaptureJob(const char* fileName);

private:
    class StatusForwarder;

    StatusSink& Status() const { return *statusSink.load(); }
    void ShowClient(const access_log::ClientNames& client);
    void SendSnapshot(TcpSocket& connection, const char* path, std::uint32_t startTick);
    // Log, head, body of an answer whose body is a page in memory.
    void SendPageAnswer(TcpSocket& connection, const char* path, const pages::Answer& answer);
    // Log, head, body of a file answer; false (nothing logged or sent) when the file cannot be opened.
    bool SendFileAnswer(TcpSocket& connection, const char* path, const char* filePath, const pages::Answer& answer);

    FileLocations locations;
    NullStatusSink silentSink;
    std::atomic<StatusSink*> statusSink{&silentSink};
    std::function<std::uint32_t()> tickSource;
    std::unique_ptr<StatusForwarder> captureStatus;  // the capture job's sink: forwards to statusSink
    std::unique_ptr<imaging::CaptureJob> captureJob;  // used only under captureLock
    std::unique_ptr<RemoteClick> remoteClick;
    std::unique_ptr<access_log::AccessLogFile> accessLog;  // of logPath
};
