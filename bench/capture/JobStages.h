#pragma once

// What the capture benchmark hosts share: medians, and the capture job's stage boundaries, as its stage
// hook reports them, split into the wall-clock time of each stage.

#include <algorithm>
#include <chrono>
#include <vector>

#include "imaging/CaptureJob.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// How every host runs the job: the runs timed unless told otherwise, the runs before them that are not
// timed, the JPEG quality and the compression thread's priority.
inline constexpr int kDefaultIterations = 30;
inline constexpr int kWarmUpIterations = 3;
inline constexpr int kQuality = 75;
inline constexpr int kNormalPriority = 2;

inline double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The stage times of every job measured, in milliseconds.
struct JobStageSplits {
    std::vector<double> capture, halving, stamp, encode, total;

    // at: the time each stage ended, indexed by imaging::CaptureStage; start and end bound the whole call.
    void Add(const Clock::time_point (&at)[5], Clock::time_point start, Clock::time_point end) {
        using imaging::CaptureStage;
        const auto ended = [&](CaptureStage stage) { return at[static_cast<int>(stage)]; };
        capture.push_back(Milliseconds(ended(CaptureStage::Captured) - ended(CaptureStage::Started)));
        halving.push_back(Milliseconds(ended(CaptureStage::Halved) - ended(CaptureStage::Captured)));
        stamp.push_back(Milliseconds(ended(CaptureStage::Stamped) - ended(CaptureStage::Halved)));
        encode.push_back(Milliseconds(ended(CaptureStage::Encoded) - ended(CaptureStage::Stamped)));
        total.push_back(Milliseconds(end - start));
    }
};

}  // namespace bench
