#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/FileLocations.h"
#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"
#include "platform/Lock.h"
#include "server/HttpServer.h"
#include "service/Pages.h"
#include "service/Settings.h"

namespace platform {
class Desktop;
class PointerInput;
}  // namespace platform
class RemoteClick;
namespace access_log {
struct ClientNames;
class AccessLogFile;
}  // namespace access_log

// The application's server: the settings that request handling, the access log and the capture job read,
// and the engine's three hooks. The settings are applied by the controlling thread while the server is
// stopped; a copy once applied never changes, so the worker and capture threads read it without locking.
class CaptureService : public HttpServer {
  public:
    // The working files live where locations says; with an executable's path, all beside it.
    explicit CaptureService(FileLocations locations);
    explicit CaptureService(std::string executablePath);
    ~CaptureService() override;

    using HttpServer::Start;
    // Applies the settings and starts the server on their port: what Start does in the panel and in the
    // headless host. AlreadyRunning, with nothing changed, while the server runs.
    StartResult Start(const Settings& settings);
    // Takes the settings for the next run, as the service uses them: the quality capped at 100 and the
    // texts cut to what the panel's fields hold. False, and nothing changes, while the server runs.
    bool ApplySettings(const Settings& settings);
    // Changes some of the current settings; the same rules as ApplySettings.
    template <typename Edit>
    bool EditSettings(Edit edit) {
        Settings changed = CurrentSettings();
        edit(changed);
        return ApplySettings(changed);
    }
    // The settings the service runs with. The reference stays valid for the service's life.
    const Settings& CurrentSettings() const { return current.load()->settings; }
    // "user:password", as a client must present it when authentication is on.
    const char* Credentials() const { return current.load()->credentials.c_str(); }
    // Sets the realm, user name and password; the same rules as ApplySettings.
    void SetCredentials(const char* realmText, const char* user, const char* password);
    // Hears the outcome of every screen capture, on the capture's requesting thread, under captureLock.
    // Set while stopped.
    void SetCaptureObserver(std::function<void(imaging::CaptureResult)> observer);
    // Puts the start-up picture in place of the snapshot, and removes the temporary pictures that a
    // capture interrupted by a crash left behind. Missing files are not reported. While stopped.
    void ShowStartupPicture() const;
    // The panel's status notifications; null restores the silent sink. Set while stopped.
    void SetStatusSink(StatusSink* sink);
    // Millisecond tick used for the rate limit; tests inject their own. Set while stopped.
    void SetTickSource(std::function<std::uint32_t()> source);

    // The full path of a working file.
    std::string WorkingFilePath(const char* fileName) const;

    std::string logPath;

    // Program-wide state that survives Stop and Start.
    platform::Lock captureLock;  // serialises the hit counter, the rate-limit test and the whole capture
    std::uint32_t hitCount = 0;  // guarded by captureLock
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
    bool SendFileAnswer(TcpSocket& connection, const char* path, const char* filePath,
                        const pages::Answer& answer);

    FileLocations locations;
    // One applied copy of the settings with what is derived from it.
    struct AppliedSettings {
        Settings settings;
        std::string credentials;
    };

    // Every copy ever applied stays alive: a worker of an earlier run may still read one after Stop.
    std::vector<std::unique_ptr<const AppliedSettings>> appliedCopies;  // controlling thread only
    std::atomic<const AppliedSettings*> current{nullptr};
    std::function<void(imaging::CaptureResult)> captureObserver;
    NullStatusSink silentSink;
    std::atomic<StatusSink*> statusSink{&silentSink};
    std::function<std::uint32_t()> tickSource;
    std::unique_ptr<StatusForwarder> captureStatus;   // the capture job's sink: forwards to statusSink
    std::unique_ptr<imaging::CaptureJob> captureJob;  // used only under captureLock
    std::unique_ptr<RemoteClick> remoteClick;
    std::unique_ptr<access_log::AccessLogFile> accessLog;  // of logPath
};
