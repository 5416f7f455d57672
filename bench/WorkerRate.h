// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TWorker.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

// What the benchmarks share: the clock, medians, and the rate of one real worker.
namespace Bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The worker's steps per second over `seconds` from now; then it is stopped and waited for.
inline double StepsPerSecondThenStop(TWorker& worker, double seconds) {
    const std::int64_t before = worker.StepCount();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const std::int64_t after = worker.StepCount();
    const double elapsed = Seconds(Clock::now() - start);
    worker.RequestStop();
    while (!worker.Finished()) {
        std::this_thread::yield();
    }
    return static_cast<double>(after - before) / elapsed;
}

} // namespace Bench
