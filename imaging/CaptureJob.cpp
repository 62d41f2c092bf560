#include "imaging/CaptureJob.h"

#include <cstring>
#include <limits>
#include <optional>

#include "common/ClientRectToScreen.h"
#include "common/StatusSink.h"
#include "imaging/DibImage.h"
#include "imaging/Halving.h"
#include "imaging/JpegWriter.h"
#include "imaging/TimeStamp.h"
#include "platform/Screen.h"
#include "platform/Thread.h"

namespace imaging {
namespace {

constexpr const char* kCompressingText = "JPEG圧縮中";
constexpr int kBitCount = 24;
constexpr std::uint8_t kColourComponents = 3;
// Halving needs at least one 2 x 2 block.
constexpr int kMinHalvingSide = 2;

std::optional<platform::ThreadPriority> PriorityFor(int level) {
    switch (level) {
        case 0:
            return platform::ThreadPriority::Idle;
        case 1:
            return platform::ThreadPriority::Lowest;
        case 2:
            return platform::ThreadPriority::Normal;
        case 3:
            return platform::ThreadPriority::AboveNormal;
        case 4:
            return platform::ThreadPriority::Highest;
        default:
            return std::nullopt;
    }
}

// A bitmap of the wanted size: the one from the last capture when the size is the same, or a new one.
// Every pixel of it is written again by the capture, the halving or both.
bool Prepare(DibImage& image, std::int64_t width, std::int64_t height) {
    if (width > std::numeric_limits<int>::max() || height > std::numeric_limits<int>::max()) {
        return false;
    }
    if (image.bits != nullptr && image.width == width && image.height == height) {
        return true;
    }
    return image.Create(static_cast<int>(width), static_cast<int>(height), kBitCount) == 1;
}

}  // namespace

CaptureJob::CaptureJob(StatusSink& statusSink)
    : status(statusSink), fullImage(std::make_unique<DibImage>()), halfImage(std::make_unique<DibImage>()) {}

CaptureJob::~CaptureJob() = default;

void CaptureJob::SetStageHook(CaptureStageHook hook, void* context) {
    stageHook = hook;
    stageContext = context;
}

void CaptureJob::StageEnded(CaptureStage stage) const {
    if (stageHook != nullptr) {
        stageHook(stageContext, stage);
    }
}

CaptureResult CaptureJob::RunCaptureJob(const CaptureSettings& captureSettings, const char* fileName) {
    settings = &captureSettings;
    captureFileName = fileName;
    std::unique_ptr<platform::JoinableThread> thread = platform::JoinableThread::Start(
        PriorityFor(captureSettings.priority), [this] { CaptureThreadMain(); });
    if (!thread) {
        settings = nullptr;
        captureFileName = nullptr;
        return CaptureResult::ThreadFailed;
    }
    thread->Join();
    settings = nullptr;
    captureFileName = nullptr;
    return captureResult;
}

void CaptureJob::CaptureThreadMain() {
    try {
        status.SetStatusActivity(kCompressingText);
        StageEnded(CaptureStage::Started);
        captureResult = Capture();
    } catch (...) {
        // Only memory exhaustion can get here; the previous picture stays.
        captureResult = CaptureResult::NothingToCapture;
    }
}

CaptureResult CaptureJob::Capture() {
    if (!desktop) {
        desktop = platform::Desktop::Open();
        if (!desktop) {
            return CaptureResult::NothingToCapture;
        }
    }

    Rect source;
    if (settings->targetDesktop) {
        source = desktop->DesktopRect();
    } else {
        const std::optional<platform::WindowId> window = desktop->ForegroundWindow();
        if (!window) {
            return CaptureResult::NothingToCapture;
        }
        if (!settings->windowClass.empty()) {
            char className[kWindowClassBytes]{};
            desktop->ClassName(*window, className, sizeof className);
            if (std::strncmp(className, settings->windowClass.c_str(), kWindowClassBytes) != 0) {
                return CaptureResult::ClassMismatch;
            }
        }
        source = desktop->ClientRect(*window);
        ClientRectToScreen(source, [&](Point point) { return desktop->ClientToScreen(*window, point); });
    }
    if (source.IsEmpty()) {
        return CaptureResult::NothingToCapture;
    }

    DibImage& full = *fullImage;
    if (!Prepare(full, source.Width(), source.Height())) {
        return CaptureResult::NothingToCapture;
    }
    if (!desktop->CopyPixels(source, *full.GetMemoryDC())) {
        return CaptureResult::NothingToCapture;
    }
    StageEnded(CaptureStage::Captured);

    DibImage& half = *halfImage;
    DibImage* picture = &full;
    if (settings->scaleDown) {
        if (full.width < kMinHalvingSide || full.height < kMinHalvingSide ||
            !Prepare(half, full.width / 2, full.height / 2)) {
            return CaptureResult::NothingToCapture;
        }
        std::uint8_t** fullRows = full.GetRows();
        std::uint8_t** halfRows = half.GetRows();
        if (fullRows == nullptr || halfRows == nullptr) {
            return CaptureResult::NothingToCapture;
        }
        HalvePicture(fullRows, full.width, full.height, halfRows);
        picture = &half;
    } else {
        half.Release();
    }
    StageEnded(CaptureStage::Halved);

    if (settings->drawTime) {
        DrawTimeStamp(*picture);
    }
    StageEnded(CaptureStage::Stamped);

    JpegImageInfo info;
    info.width = picture->width;
    info.height = picture->height;
    info.components = kColourComponents;
    info.quality = settings->quality;
    info.progressive = 1;
    // A picture that cannot be written leaves the previous file in place and still counts as captured: the
    // caller serves whatever file is there.
    WriteJpegFile(captureFileName, info, picture->bits);
    StageEnded(CaptureStage::Encoded);
    return CaptureResult::Captured;
}

}  // namespace imaging
