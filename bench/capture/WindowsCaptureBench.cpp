// capture_bench OUTPUT_FOLDER [ITERATIONS] -- the Windows build's host: times the capture job on the
// desktop (GDI capture, halving, time stamp, JPEG encoding) with and without halving, and prints the
// per-stage medians of wall-clock time and the JPEG's size. There is no floor to compare with here: the
// figures are for reading beside the Linux ones.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/capture/JobStages.h"
#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"

namespace {

using bench::Clock;
using bench::Median;

using bench::kDefaultIterations;
using bench::kNormalPriority;
using bench::kQuality;
using bench::kWarmUpIterations;
constexpr int kStageCount = 5;

struct StageTimes {
    Clock::time_point at[kStageCount];
};

void RecordStage(void* context, imaging::CaptureStage finished) {
    static_cast<StageTimes*>(context)->at[static_cast<int>(finished)] = Clock::now();
}

void RunMode(const std::string& folder, bool scaleDown, int iterations) {
    const std::string path = folder + (scaleDown ? "/job-half.jpg" : "/job-full.jpg");
    NullStatusSink status;
    imaging::CaptureJob job(status);
    imaging::CaptureSettings settings;
    settings.targetDesktop = true;
    settings.scaleDown = scaleDown;
    settings.drawTime = true;
    settings.quality = kQuality;
    settings.priority = kNormalPriority;
    StageTimes stages;
    job.SetStageHook(&RecordStage, &stages);

    bench::JobStageSplits splits;
    for (int i = 0; i < kWarmUpIterations + iterations; ++i) {
        const Clock::time_point start = Clock::now();
        if (job.RunCaptureJob(settings, path.c_str()) != imaging::CaptureResult::Captured) {
            std::fprintf(stderr, "the capture job failed\n");
            std::exit(1);
        }
        const Clock::time_point end = Clock::now();
        if (i < kWarmUpIterations) {
            continue;
        }
        splits.Add(stages.at, start, end);
    }
    std::printf("%s: total %.2f ms (capture %.2f, halving %.2f, stamp %.2f, encode %.2f), JPEG %lld bytes\n",
                scaleDown ? "halved" : "full  ", Median(splits.total), Median(splits.capture),
                Median(splits.halving), Median(splits.stamp), Median(splits.encode),
                static_cast<long long>(std::filesystem::file_size(path)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: capture_bench OUTPUT_FOLDER [ITERATIONS]\n");
        return 2;
    }
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultIterations;
    RunMode(argv[1], false, iterations);
    RunMode(argv[1], true, iterations);
    return 0;
}
