// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TWorker.h"
#include "ThreadClock.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

// What the benchmarks share: medians, and the rate of one real worker.
namespace Bench {

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The worker's steps per second of its thread's processor time, over about `seconds` from now;
// then it is stopped and waited for.
inline double StepsPerSecondThenStop(TWorker& worker, double seconds) {
    const std::int64_t before = worker.StepCount();
    const std::optional<std::chrono::nanoseconds> start = worker.CpuTime();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const std::int64_t after = worker.StepCount();
    const std::optional<std::chrono::nanoseconds> end = worker.CpuTime();
    worker.RequestStop();
    while (!worker.Finished()) {
        std::this_thread::yield();
    }
    if (!start || !end || *end <= *start) {
        std::fputs("the system does not say the worker thread's processor time\n", stderr);
        std::exit(1);
    }
    return static_cast<double>(after - before) /
           std::chrono::duration<double>(*end - *start).count();
}

} // namespace Bench
