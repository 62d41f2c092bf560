// capture_bench OUTPUT_FOLDER [ITERATIONS] -- times the capture job on the current display against the floor
// of the same frame taken with MIT-SHM and encoded by libjpeg-turbo alone with the job's parameters (for the
// halved picture, reduced 2:1 straight from the 32-bit frame first), with and without halving. Job and
// floor alternate, so that both meet the same load. Prints per-stage medians of wall-clock and CPU time,
// the capture thread's start and end, JPEG sizes, and the job's peak memory against the buffers it cannot
// do without. Exit status 3 when a target is missed.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/resource.h>
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
#include "bench/capture/JobStages.h"
#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"
#include "imaging/DibImage.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Milliseconds;

using bench::kDefaultIterations;
using bench::kNormalPriority;
using bench::kQuality;
using bench::kWarmUpIterations;

// Fewer distinct colours than this means the desktop picture did not reach the screen.
constexpr std::size_t kMinDesktopColours = 1000;
constexpr double kMegabyte = 1024.0 * 1024.0;

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

// CPU time of the calling thread, to tell work from waiting for a processor on a busy machine.
double ThreadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The stage boundaries of one job, as the job's stage hook reports them.
struct StageTimes {
    Clock::time_point at[5];
    double cpu[5] = {};
    long faults[5] = {};
};

// Minor page faults of the calling thread: first touches of fresh memory.
long ThreadPageFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

void RecordStage(void* context, imaging::CaptureStage finished) {
    auto* times = static_cast<StageTimes*>(context);
    times->at[static_cast<int>(finished)] = Clock::now();
    times->cpu[static_cast<int>(finished)] = ThreadCpuMilliseconds();
    times->faults[static_cast<int>(finished)] = ThreadPageFaults();
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

// The floor's 2:1 reduction, straight from the 32-bit frame: the cheapest way to a halved picture. Column
// sums of two rows, then neighbouring pixels, in constant-length runs that the compiler vectorises.
constexpr int kRunPixels = 128;

void HalveBgrxRun(const std::uint8_t* __restrict upper, const std::uint8_t* __restrict lower,
                  std::uint8_t* __restrict out) {
    std::uint16_t sums[8 * kRunPixels];
    for (int i = 0; i < 8 * kRunPixels; ++i) {
        sums[i] = static_cast<std::uint16_t>(upper[i] + lower[i]);
    }
    for (int m = 0; m < kRunPixels; ++m) {
        const std::uint16_t* pair = sums + 8 * m;
        out[4 * m] = static_cast<std::uint8_t>((pair[0] + pair[4]) >> 2);
        out[4 * m + 1] = static_cast<std::uint8_t>((pair[1] + pair[5]) >> 2);
        out[4 * m + 2] = static_cast<std::uint8_t>((pair[2] + pair[6]) >> 2);
        out[4 * m + 3] = static_cast<std::uint8_t>((pair[3] + pair[7]) >> 2);
    }
}

void HalveBgrx(const XImage& image, std::vector<std::uint8_t>& half) {
    const int halfWidth = image.width / 2;
    const int halfHeight = image.height / 2;
    const auto* data = reinterpret_cast<const std::uint8_t*>(image.data);
    for (int k = 0; k < halfHeight; ++k) {
        const std::uint8_t* upper = data + static_cast<std::size_t>(2 * k) * image.bytes_per_line;
        const std::uint8_t* lower = upper + image.bytes_per_line;
        std::uint8_t* out = half.data() + static_cast<std::size_t>(k) * halfWidth * 4;
        int m = 0;
        for (; m + kRunPixels <= halfWidth; m += kRunPixels) {
            HalveBgrxRun(upper + 8 * m, lower + 8 * m, out + 4 * m);
        }
        for (; m < halfWidth; ++m) {
            for (int c = 0; c < 4; ++c) {
                out[4 * m + c] = static_cast<std::uint8_t>(
                    (upper[8 * m + c] + upper[8 * m + 4 + c] + lower[8 * m + c] + lower[8 * m + 4 + c]) >> 2);
            }
        }
    }
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
    double floorCapture = 0, floorHalving = 0, floorEncode = 0, floorTotal = 0;
    double jobCpu = 0, floorCpu = 0;
    double pairedRatio = 0, pairedCpuRatio = 0;  // medians of job / floor over the alternating pairs
    double stageCpu[4] = {};                     // capture, halving, stamp, encode
    double threadStart = 0;                      // from the call to the capture thread's first act
    double threadEnd = 0;                        // from the thread's last act to the return
    double jobFaults = 0, floorFaults = 0;
    long jpegBytes = 0, floorJpegBytes = 0;
    double peakBytes = 0, unavoidableBytes = 0;
};

ModeReport RunMode(ShmFrame& frame, const std::string& folder, bool scaleDown, int iterations) {
    const std::string jobPath = folder + (scaleDown ? "/job-half.jpg" : "/job-full.jpg");
    const std::string floorPath = folder + (scaleDown ? "/floor-half.jpg" : "/floor-full.jpg");
    if (!frame.Grab()) {
        std::fprintf(stderr, "XShmGetImage failed\n");
        std::exit(1);
    }
    std::vector<std::uint8_t> halfFrame(
        scaleDown ? static_cast<std::size_t>(frame.width / 2) * (frame.height / 2) * 4 : 0);

    // The job's memory counts from before it exists: it keeps its bitmaps between captures.
    const std::int64_t baseline = bench::HeapInUse();
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

    bench::JobStageSplits splits;
    std::vector<double> floorCapture, floorHalving, floorEncode, floorTotal;
    std::vector<double> jobCpu, floorCpu, jobFaults, floorFaults, pairedRatio, pairedCpuRatio;
    std::vector<double> stageCpu[4];
    std::vector<double> threadStart, threadEnd;
    std::int64_t peak = 0;
    for (int i = 0; i < kWarmUpIterations + iterations; ++i) {
        bench::ResetPeak();
        const Clock::time_point start = Clock::now();
        if (job.RunCaptureJob(settings, jobPath.c_str()) != imaging::CaptureResult::Captured) {
            std::fprintf(stderr, "the capture job failed\n");
            std::exit(1);
        }
        const Clock::time_point end = Clock::now();
        peak = std::max(peak, bench::HeapPeak() - baseline);

        const double floorCpuStart = ThreadCpuMilliseconds();
        const long floorFaultsStart = ThreadPageFaults();
        const Clock::time_point floorStart = Clock::now();
        frame.Grab();
        const Clock::time_point floorGrabbed = Clock::now();
        if (scaleDown) {
            HalveBgrx(*frame.image, halfFrame);
        }
        const Clock::time_point floorHalved = Clock::now();
        if (scaleDown) {
            EncodeBgrx(floorPath, halfFrame.data(), frame.width / 2, frame.height / 2,
                       static_cast<std::size_t>(frame.width / 2) * 4);
        } else {
            EncodeBgrx(floorPath, reinterpret_cast<const std::uint8_t*>(frame.image->data), frame.width,
                       frame.height, static_cast<std::size_t>(frame.image->bytes_per_line));
        }
        const Clock::time_point floorEnd = Clock::now();
        const double floorCpuEnd = ThreadCpuMilliseconds();
        floorFaults.push_back(static_cast<double>(ThreadPageFaults() - floorFaultsStart));
        if (i < kWarmUpIterations) {
            continue;
        }
        using imaging::CaptureStage;
        auto at = [&](CaptureStage stage) { return stages.at[static_cast<int>(stage)]; };
        splits.Add(stages.at, start, end);
        threadStart.push_back(Milliseconds(at(CaptureStage::Started) - start));
        threadEnd.push_back(Milliseconds(end - at(CaptureStage::Encoded)));
        floorCapture.push_back(Milliseconds(floorGrabbed - floorStart));
        floorHalving.push_back(Milliseconds(floorHalved - floorGrabbed));
        floorEncode.push_back(Milliseconds(floorEnd - floorHalved));
        floorTotal.push_back(Milliseconds(floorEnd - floorStart));
        for (int stage = 0; stage < 4; ++stage) {
            stageCpu[stage].push_back(stages.cpu[stage + 1] - stages.cpu[stage]);
        }
        jobCpu.push_back(stages.cpu[static_cast<int>(CaptureStage::Encoded)] -
                         stages.cpu[static_cast<int>(CaptureStage::Started)]);
        floorCpu.push_back(floorCpuEnd - floorCpuStart);
        pairedRatio.push_back(splits.total.back() / floorTotal.back());
        pairedCpuRatio.push_back(jobCpu.back() / floorCpu.back());
        jobFaults.push_back(static_cast<double>(stages.faults[static_cast<int>(CaptureStage::Encoded)] -
                                                stages.faults[static_cast<int>(CaptureStage::Started)]));
    }

    ModeReport report;
    report.capture = Median(splits.capture);
    report.halving = Median(splits.halving);
    report.stamp = Median(splits.stamp);
    report.encode = Median(splits.encode);
    report.total = Median(splits.total);
    report.floorCapture = Median(floorCapture);
    report.floorEncode = Median(floorEncode);
    report.floorTotal = Median(floorTotal);
    report.floorHalving = Median(floorHalving);
    report.jobCpu = Median(jobCpu);
    report.pairedRatio = Median(pairedRatio);
    report.pairedCpuRatio = Median(pairedCpuRatio);
    report.threadStart = Median(threadStart);
    report.threadEnd = Median(threadEnd);
    for (int stage = 0; stage < 4; ++stage) {
        report.stageCpu[stage] = Median(stageCpu[stage]);
    }
    report.floorCpu = Median(floorCpu);
    report.jobFaults = Median(jobFaults);
    report.floorFaults = Median(floorFaults);
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
            const double ratio = r.pairedRatio;
            const double memoryRatio = r.peakBytes / r.unavoidableBytes;
            std::printf(
                "%s  job   capture %6.2f  halving %5.2f  stamp %5.2f  encode %6.2f  total %6.2f  (cpu "
                "%6.2f, %4.0f page faults)\n",
                scaleDown ? "half" : "full", r.capture, r.halving, r.stamp, r.encode, r.total, r.jobCpu,
                r.jobFaults);
            std::printf(
                "      cpu   capture %6.2f  halving %5.2f  stamp %5.2f  encode %6.2f  thread start %.2f end "
                "%.2f\n",
                r.stageCpu[0], r.stageCpu[1], r.stageCpu[2], r.stageCpu[3], r.threadStart, r.threadEnd);
            std::printf(
                "      floor capture %6.2f  halving %5.2f                encode %6.2f  total %6.2f  (cpu "
                "%6.2f, %4.0f page faults)\n",
                r.floorCapture, r.floorHalving, r.floorEncode, r.floorTotal, r.floorCpu, r.floorFaults);
            std::printf(
                "      total/floor %.3f (cpu %.3f)  jpeg %ld B (floor %ld B)  peak %.2f MB / unavoidable "
                "%.2f MB "
                "= %.3f\n",
                ratio, r.pairedCpuRatio, r.jpegBytes, r.floorJpegBytes, r.peakBytes / kMegabyte,
                r.unavoidableBytes / kMegabyte, memoryRatio);
            failures += ratio > 1.15 ? 1 : 0;
            failures += memoryRatio > 1.10 ? 1 : 0;
        }
    }
    XCloseDisplay(display);
    return failures == 0 ? 0 : 3;
}
