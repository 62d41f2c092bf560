// capture_bench OUTPUT_FOLDER [ITERATIONS] -- times the capture job on the current display against the floor
// of the same frame taken with MIT-SHM and encoded by libjpeg-turbo alone with the job's parameters, with
// and without halving; prints per-stage medians, JPEG sizes and the job's peak memory.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "bench/capture/CountingAllocator.h"
#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"
#include "imaging/DibImage.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultIterations = 30;
constexpr int kWarmUpIterations = 3;
constexpr int kQuality = 75;
constexpr int kNormalPriority = 2;
// Fewer distinct colours than this means the desktop picture did not reach the screen.
constexpr std::size_t kMinDesktopColours = 1000;
constexpr double kMegabyte = 1024.0 * 1024.0;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long FileSize(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return -1;
    }
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return size;
}

// The stage boundaries of one job, as the job's stage hook reports them.
struct StageTimes {
    Clock::time_point at[5];
};

void RecordStage(void* context, imaging::CaptureStage finished) {
    static_cast<StageTimes*>(context)->at[static_cast<int>(finished)] = Clock::now();
}

// The floor: one shared-memory image of the whole root window, kept between captures like the job's.
class ShmFrame {
  public:
    explicit ShmFrame(Display* connection) : display(connection) {
        const int screen = DefaultScreen(display);
        width = DisplayWidth(display, screen);
        height = DisplayHeight(display, screen);
        image = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                                ZPixmap, nullptr, &segment, width, height);
        segment.shmid =
            shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
        segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
        segment.readOnly = False;
        XShmAttach(display, &segment);
        XSync(display, False);
        shmctl(segment.shmid, IPC_RMID, nullptr);
    }
    ~ShmFrame() {
        XShmDetach(display, &segment);
        XSync(display, False);
        XDestroyImage(image);
        shmdt(segment.shmaddr);
    }
    bool Grab() { return XShmGetImage(display, DefaultRootWindow(display), image, 0, 0, AllPlanes) == True; }

    Display* display;
    XImage* image = nullptr;
    XShmSegmentInfo segment{};
    int width = 0;
    int height = 0;
};

// Encodes 4-byte BGRX rows with the job's parameters, straight from the given rows.
void EncodeBgrx(const std::string& path, const std::uint8_t* rows, int width, int height,
                std::size_t stride) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    jpeg_compress_struct compressor{};
    jpeg_error_mgr errors{};
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    jpeg_stdio_dest(&compressor, file);
    compressor.image_width = static_cast<JDIMENSION>(width);
    compressor.image_height = static_cast<JDIMENSION>(height);
    compressor.input_components = 4;
    compressor.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, kQuality, TRUE);
    jpeg_simple_progression(&compressor);
    jpeg_start_compress(&compressor, TRUE);
    while (compressor.next_scanline < compressor.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(rows) + compressor.next_scanline * stride;
        jpeg_write_scanlines(&compressor, &row, 1);
    }
    jpeg_finish_compress(&compressor);
    jpeg_destroy_compress(&compressor);
    std::fclose(file);
}

// The 2:1 reduction of a BGRX frame, made once outside the timing: the halved floor encodes it.
std::vector<std::uint8_t> HalveBgrx(const XImage& image) {
    const int halfWidth = image.width / 2;
    const int halfHeight = image.height / 2;
    std::vector<std::uint8_t> half(static_cast<std::size_t>(halfWidth) * halfHeight * 4);
    for (int k = 0; k < halfHeight; ++k) {
        const auto* upper = reinterpret_cast<const std::uint8_t*>(image.data) + 2 * k * image.bytes_per_line;
        const auto* lower = upper + image.bytes_per_line;
        for (int m = 0; m < halfWidth * 4; ++m) {
            const int c = m % 4;
            const int x = m / 4 * 8 + c;
            half[static_cast<std::size_t>(k) * halfWidth * 4 + m] =
                static_cast<std::uint8_t>((upper[x] + upper[x + 4] + lower[x] + lower[x + 4]) >> 2);
        }
    }
    return half;
}

// libjpeg's whole-image coefficient buffer for a progressive 4:2:0 encode: 64 two-byte coefficients per
// 8 x 8 block; luma blocks are counted in 2 x 2 groups, each chroma plane at half the size.
double CoefficientBytes(int width, int height) {
    const long lumaColumns = (width + 15) / 16 * 2;
    const long lumaRows = (height + 15) / 16 * 2;
    const long chromaColumns = (width + 15) / 16;
    const long chromaRows = (height + 15) / 16;
    return 128.0 * (lumaColumns * lumaRows + 2 * chromaColumns * chromaRows);
}

struct ModeReport {
    double capture = 0, halving = 0, stamp = 0, encode = 0, total = 0;
    double floorCapture = 0, floorEncode = 0, floorTotal = 0;
    long jpegBytes = 0, floorJpegBytes = 0;
    double peakBytes = 0, unavoidableBytes = 0;
};

ModeReport RunMode(ShmFrame& frame, const std::string& folder, bool scaleDown, int iterations) {
    NullStatusSink status;
    imaging::CaptureJob job(status);
    imaging::CaptureSettings settings;
    settings.targetDesktop = 1;
    settings.scaleDown = scaleDown ? 1 : 0;
    settings.drawTime = 1;
    settings.quality = kQuality;
    settings.priority = kNormalPriority;
    StageTimes stages;
    job.SetStageHook(&RecordStage, &stages);
    const std::string jobPath = folder + (scaleDown ? "/job-half.jpg" : "/job-full.jpg");
    const std::string floorPath = folder + (scaleDown ? "/floor-half.jpg" : "/floor-full.jpg");

    if (!frame.Grab()) {
        std::fprintf(stderr, "XShmGetImage failed\n");
        std::exit(1);
    }
    const std::vector<std::uint8_t> halfFrame =
        scaleDown ? HalveBgrx(*frame.image) : std::vector<std::uint8_t>{};

    std::vector<double> capture, halving, stamp, encode, total, floorCapture, floorEncode, floorTotal;
    std::int64_t peak = 0;
    for (int i = 0; i < kWarmUpIterations + iterations; ++i) {
        const std::int64_t before = bench::HeapInUse();
        bench::ResetPeak();
        const Clock::time_point start = Clock::now();
        if (job.RunCaptureJob(settings, jobPath.c_str()) != imaging::CaptureResult::Captured) {
            std::fprintf(stderr, "the capture job failed\n");
            std::exit(1);
        }
        const Clock::time_point end = Clock::now();
        peak = std::max(peak, bench::HeapPeak() - before);

        const Clock::time_point floorStart = Clock::now();
        frame.Grab();
        const Clock::time_point floorGrabbed = Clock::now();
        if (scaleDown) {
            EncodeBgrx(floorPath, halfFrame.data(), frame.width / 2, frame.height / 2,
                       static_cast<std::size_t>(frame.width / 2) * 4);
        } else {
            EncodeBgrx(floorPath, reinterpret_cast<const std::uint8_t*>(frame.image->data), frame.width,
                       frame.height, static_cast<std::size_t>(frame.image->bytes_per_line));
        }
        const Clock::time_point floorEnd = Clock::now();
        if (i < kWarmUpIterations) {
            continue;
        }
        using imaging::CaptureStage;
        auto at = [&](CaptureStage stage) { return stages.at[static_cast<int>(stage)]; };
        capture.push_back(Milliseconds(at(CaptureStage::Captured) - at(CaptureStage::Started)));
        halving.push_back(Milliseconds(at(CaptureStage::Halved) - at(CaptureStage::Captured)));
        stamp.push_back(Milliseconds(at(CaptureStage::Stamped) - at(CaptureStage::Halved)));
        encode.push_back(Milliseconds(at(CaptureStage::Encoded) - at(CaptureStage::Stamped)));
        total.push_back(Milliseconds(end - start));
        floorCapture.push_back(Milliseconds(floorGrabbed - floorStart));
        floorEncode.push_back(Milliseconds(floorEnd - floorGrabbed));
        floorTotal.push_back(Milliseconds(floorEnd - floorStart));
    }

    ModeReport report;
    report.capture = Median(capture);
    report.halving = Median(halving);
    report.stamp = Median(stamp);
    report.encode = Median(encode);
    report.total = Median(total);
    report.floorCapture = Median(floorCapture);
    report.floorEncode = Median(floorEncode);
    report.floorTotal = Median(floorTotal);
    report.jpegBytes = FileSize(jobPath);
    report.floorJpegBytes = FileSize(floorPath);

    // The job keeps one shared-memory image of the screen between captures; it is not on the heap.
    const double shmBytes = static_cast<double>(frame.image->bytes_per_line) * frame.height;
    const int pictureWidth = scaleDown ? frame.width / 2 : frame.width;
    const int pictureHeight = scaleDown ? frame.height / 2 : frame.height;
    double bitmaps = static_cast<double>(imaging::DibStride(frame.width)) * frame.height;
    if (scaleDown) {
        bitmaps += static_cast<double>(imaging::DibStride(pictureWidth)) * pictureHeight;
    }
    report.peakBytes = static_cast<double>(peak) + shmBytes;
    report.unavoidableBytes = shmBytes + bitmaps + CoefficientBytes(pictureWidth, pictureHeight);
    return report;
}

std::size_t DistinctColours(const XImage& image) {
    std::set<std::uint32_t> colours;
    for (int y = 0; y < image.height; y += 2) {
        for (int x = 0; x < image.width; x += 2) {
            colours.insert(static_cast<std::uint32_t>(XGetPixel(const_cast<XImage*>(&image), x, y)));
        }
    }
    return colours.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: capture_bench OUTPUT_FOLDER [ITERATIONS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultIterations;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || !XShmQueryExtension(display)) {
        std::fprintf(stderr, "no display with MIT-SHM\n");
        return 1;
    }
    int failures = 0;
    {
        ShmFrame frame(display);
        frame.Grab();
        const std::size_t colours = DistinctColours(*frame.image);
        std::printf("screen %dx%d, %zu distinct colours, %d iterations per mode (medians, ms)\n", frame.width,
                    frame.height, colours, iterations);
        if (colours < kMinDesktopColours) {
            std::fprintf(stderr, "the screen does not show the desktop picture\n");
            return 1;
        }
        for (const bool scaleDown : {false, true}) {
            const ModeReport r = RunMode(frame, folder, scaleDown, iterations);
            const double ratio = r.total / r.floorTotal;
            const double memoryRatio = r.peakBytes / r.unavoidableBytes;
            std::printf(
                "%-6s capture %6.2f  halving %5.2f  stamp %5.2f  encode %6.2f  total %6.2f | floor %6.2f "
                "(capture %5.2f encode %6.2f) | total/floor %.3f | jpeg %ld B (floor %ld B) | peak %.2f MB "
                "/ unavoidable %.2f MB = %.3f\n",
                scaleDown ? "half" : "full", r.capture, r.halving, r.stamp, r.encode, r.total, r.floorTotal,
                r.floorCapture, r.floorEncode, ratio, r.jpegBytes, r.floorJpegBytes, r.peakBytes / kMegabyte,
                r.unavoidableBytes / kMegabyte, memoryRatio);
            failures += ratio > 1.15 ? 1 : 0;
            failures += memoryRatio > 1.10 ? 1 : 0;
        }
    }
    XCloseDisplay(display);
    return failures == 0 ? 0 : 3;
}
