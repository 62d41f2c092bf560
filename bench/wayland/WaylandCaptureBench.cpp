// wayland_capture_bench OUTPUT_FOLDER [ITERATIONS] -- times capture on the current Wayland session: the
// screen copy alone (screencopy into shared memory, or the newest PipeWire frame, and the turn into a
// 24-bit picture), and the whole
// capture job with and without halving (copy, halving, JPEG at quality 75). Prints the median and the
// fastest wall-clock time of each, and the median CPU time of this process (the compositor's share is
// not in it), and leaves the last full-size JPEG as OUTPUT_FOLDER/screen.jpg.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/capture/JobStages.h"
#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"
#include "platform/Drawing.h"
#include "platform/Screen.h"
#include "platform/ScreenBackend.h"

namespace {

using bench::Clock;
using bench::kDefaultIterations;
using bench::kNormalPriority;
using bench::kQuality;
using bench::kWarmUpIterations;
using bench::Median;

struct Figures {
    double median = 0;
    double fastest = 0;
    double cpuMedian = 0;
};

double ProcessCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

template <typename Step>
Figures Time(int iterations, Step step) {
    std::vector<double> times;
    std::vector<double> cpuTimes;
    for (int i = 0; i < kWarmUpIterations + iterations; ++i) {
        const Clock::time_point start = Clock::now();
        const double cpuStart = ProcessCpuMilliseconds();
        if (!step()) {
            std::fprintf(stderr, "wayland_capture_bench: a capture failed\n");
            std::exit(1);
        }
        if (i >= kWarmUpIterations) {
            times.push_back(bench::Milliseconds(Clock::now() - start));
            cpuTimes.push_back(ProcessCpuMilliseconds() - cpuStart);
        }
    }
    return {Median(times), *std::min_element(times.begin(), times.end()), Median(cpuTimes)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: wayland_capture_bench OUTPUT_FOLDER [ITERATIONS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultIterations;
    if (const std::string problem = platform::ScreenCaptureProblem(); !problem.empty()) {
        std::fprintf(stderr, "wayland_capture_bench: %s\n", problem.c_str());
        return 1;
    }

    const std::unique_ptr<platform::Desktop> desktop = platform::Desktop::Open();
    const Rect screen = desktop != nullptr ? desktop->DesktopRect() : Rect{};
    if (screen.IsEmpty()) {
        std::fprintf(stderr, "wayland_capture_bench: no screen\n");
        return 1;
    }
    const auto width = static_cast<int>(screen.Width());
    const auto height = static_cast<int>(screen.Height());
    const int stride = (width * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * height);
    const std::unique_ptr<platform::DrawingSurface> surface =
        platform::DrawingSurface::Create(bits.data(), width, height, stride);
    const Figures copy = Time(iterations, [&] { return desktop->CopyPixels(screen, *surface); });

    NullStatusSink status;
    imaging::CaptureJob job(status);
    imaging::CaptureSettings settings;
    settings.targetDesktop = 1;
    settings.quality = kQuality;
    settings.priority = kNormalPriority;
    const std::string halfPath = folder + "/half.jpg";
    const std::string fullPath = folder + "/screen.jpg";
    settings.scaleDown = 1;
    const Figures halved = Time(iterations, [&] {
        return job.RunCaptureJob(settings, halfPath.c_str()) == imaging::CaptureResult::Captured;
    });
    settings.scaleDown = 0;
    const Figures full = Time(iterations, [&] {
        return job.RunCaptureJob(settings, fullPath.c_str()) == imaging::CaptureResult::Captured;
    });

    std::printf("screen %dx%d, %d iterations; milliseconds: median wall (fastest), median cpu\n", width,
                height, iterations);
    const auto print = [](const char* name, const Figures& figures) {
        std::printf("  %-43s %7.2f (%6.2f)  cpu %7.2f\n", name, figures.median, figures.fastest,
                    figures.cpuMedian);
    };
    print("screen copy (frame + turn to 24 bits)", copy);
    print("capture job, full size", full);
    print("capture job, halved", halved);
    return 0;
}
