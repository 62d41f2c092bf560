#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class StatusSink;
namespace platform {
class Desktop;
class JoinableThread;
}  // namespace platform

namespace imaging {

class DibImage;

inline constexpr std::size_t kWindowClassBytes = 200;

// The settings one capture reads: a copy of the service's members at the moment the job starts.
struct CaptureSettings {
    int targetDesktop = 0;                  // 1: the whole desktop; 0: the foreground window's client area
    char windowClass[kWindowClassBytes]{};  // window mode: capture only a window of exactly this class
    int scaleDown = 0;                      // halve the picture in both directions
    int drawTime = 0;                       // stamp the local date and time in the top-right corner
    int quality = 75;                       // JPEG quality, 0..100
    int priority = 0;                       // capture thread priority level 0 (idle) .. 4 (highest)
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
