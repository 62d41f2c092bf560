#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class StatusSink;
namespace platform {
class Desktop;
class JoinableThread;
}  // namespace platform

namespace imaging {

class DibImage;

inline constexpr std::size_t kWindowClassBytes = 200;

// The settings a capture reads. The service's settings are made of these and more, so a new capture
// option is a member here, its key in the settings table and its control in the panel.
struct CaptureSettings {
    bool targetDesktop = false;  // the whole desktop; otherwise the foreground window's client area
    std::string windowClass;  // window mode: capture only a window of exactly this class (at most 199 bytes)
    bool scaleDown = false;   // halve the picture in both directions
    bool drawTime = false;    // stamp the local date and time in the top-right corner
    int quality = 75;         // JPEG quality, 0..100
    int priority = 0;         // capture thread priority level 0 (idle) .. 4 (highest)

    bool operator==(const CaptureSettings&) const = default;
};

enum class CaptureResult {
    ThreadFailed = -1,     // no capture thread could be started: nothing happened
    Captured = 0,          // the picture was taken and handed to the JPEG writer
    ClassMismatch = 1,     // the foreground window's class differed: nothing captured or written
    NothingToCapture = 2,  // no foreground window, an empty area, or no memory: file untouched
};

// The steps of one capture, in order; a stage hook hears of each as it ends (the halving and time-stamp
// steps also when they are switched off). Meant for measurements.
enum class CaptureStage { Started, Captured, Halved, Stamped, Encoded };
using CaptureStageHook = void (*)(void* context, CaptureStage finished);

// Takes snapshots of the screen into a JPEG file. One job runs at a time: the caller serialises
// RunCaptureJob (the service holds its capture lock around it). The screen connection is opened on first
// use and kept for later captures.
class CaptureJob {
  public:
    explicit CaptureJob(StatusSink& status);
    ~CaptureJob();
    CaptureJob(const CaptureJob&) = delete;
    CaptureJob& operator=(const CaptureJob&) = delete;

    // Runs one capture on a thread of the settings' priority and waits for it to end. The thread shows
    // "JPEG圧縮中" through the status sink when it starts; the caller clears it afterwards. The file is
    // replaced in one step, or left untouched.
    CaptureResult RunCaptureJob(const CaptureSettings& settings, const char* fileName);

    // Called on the capture thread as each stage ends; none by default. Set while no capture runs.
    void SetStageHook(CaptureStageHook hook, void* context);

    CaptureResult captureResult = CaptureResult::Captured;  // outcome of the last capture

  private:
    void CaptureThreadMain();
    CaptureResult Capture();
    void StageEnded(CaptureStage stage) const;

    StatusSink& status;
    const CaptureSettings* settings = nullptr;
    const char* captureFileName = nullptr;
    std::unique_ptr<platform::Desktop> desktop;
    // The bitmaps are kept from one capture to the next and made anew only when the size changes: fresh
    // memory for a full-screen picture costs thousands of page faults on every capture.
    std::unique_ptr<DibImage> fullImage;
    std::unique_ptr<DibImage> halfImage;
    CaptureStageHook stageHook = nullptr;
    void* stageContext = nullptr;
};

}  // namespace imaging
