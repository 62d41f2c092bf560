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

#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultIterations = 30;
constexpr int kWarmUpIterations = 3;
constexpr int kQuality = 75;
constexpr int kNormalPriority = 2;
constexpr int kStageCount = 5;

struct StageTimes {
    Clock::time_point at[kStageCount];
};

void RecordStage(void* context, imaging::CaptureStage finished) {
    static_cast<StageTimes*>(context)->at[static_cast<int>(finished)] = Clock::now();
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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

    std::vector<double> capture, halving, stamp, encode, total;
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
        using imaging::CaptureStage;
        auto at = [&](CaptureStage stage) { return stages.at[static_cast<int>(stage)]; };
        capture.push_back(Milliseconds(at(CaptureStage::Captured) - at(CaptureStage::Started)));
        halving.push_back(Milliseconds(at(CaptureStage::Halved) - at(CaptureStage::Captured)));
        stamp.push_back(Milliseconds(at(CaptureStage::Stamped) - at(CaptureStage::Halved)));
        encode.push_back(Milliseconds(at(CaptureStage::Encoded) - at(CaptureStage::Stamped)));
        total.push_back(Milliseconds(end - start));
    }
    std::printf("%s: total %.2f ms (capture %.2f, halving %.2f, stamp %.2f, encode %.2f), JPEG %lld bytes\n",
                scaleDown ? "halved" : "full  ", Median(total), Median(capture), Median(halving),
                Median(stamp), Median(encode), static_cast<long long>(std::filesystem::file_size(path)));
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
