// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Measures the workload engine and prints its figures:
//  1. divisions per second of one worker on the prime candidate, against a bare loop of the same
//     arithmetic (each remainder and divisor folded into a checksum) in plain locals, measured
//     in the same run, as a ratio; and that bare loop against one without the checksum, the
//     cost of checking every remainder;
//  2. a run's workers together for a while (fifteen, a given count, or one per usable
//     processor): their divisions per second of their threads' processor time against the bare
//     loop, and fairness (fewest divisions of a worker / the mean); with the total per second of
//     the clock, which is what the machine's other load left them.
// Every rate of one thread is of its processor time, so that a busy machine does not count.
//
// Usage: bench_workers [seconds for the many-worker run, default 60] [workers: N or all, default
// 15]
#include "Processors.h"
#include "SThreadUnit.h"
#include "TRunEngine.h"
#include "TVerifier.h"
#include "TWorkerTable.h"
#include "WorkerRate.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bench::Median;
using Bench::ThreadSeconds;
using Clock = std::chrono::steady_clock;
constexpr std::int64_t Prime = TVerifier::KnownPrime;

// The same arithmetic as a worker's inner loop, in plain locals: no stores, no stop flag, no
// blocks. With `fold`, every remainder and divisor go into a checksum as in the worker.
template <bool fold> double BareDivisionsPerSecond(std::int64_t divisions) {
    const double start = ThreadSeconds();
    std::int64_t candidate = Prime;
    std::int64_t divisor = 3;
    std::int64_t iterations = 0;
    std::uint64_t checksum = 0;
    bool found = false;
    while (!found && detail::Opaque(candidate) / 2 > divisor && iterations < divisions) {
        const std::int64_t remainder = candidate % divisor;
        found = remainder == 0;
        if constexpr (fold) {
            checksum = Workload::Fold(checksum, remainder, divisor);
        }
        divisor += 2;
        ++iterations;
    }
    const double elapsed = ThreadSeconds() - start;
    // Keep the result alive so the loop is not optimised away.
    if (found || divisor == 0 || checksum == 1) {
        std::puts("unexpected divisor");
    }
    return static_cast<double>(iterations) / elapsed;
}

// One real worker, started on the prime, for the given time.
double WorkerDivisionsPerSecond(double seconds) {
    auto worker = SThread::Start(Prime);
    while (worker->StepCount() == 0) {
        std::this_thread::yield();
    }
    return Bench::StepsPerSecondThenStop(*worker, seconds);
}

} // namespace

int main(int argc, char** argv) {
    const double runSeconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const int usable = static_cast<int>(UsableCpuList().size());
    const bool all = argc > 2 && std::string(argv[2]) == "all";
    const int workers = all ? usable : argc > 2 ? std::atoi(argv[2]) : TTestPlan::WorkerCount;
    if (workers < 1 || workers > TRunEngine::MaxWorkerCount) {
        std::fprintf(stderr, "bench_workers: the worker count must be 1 to %d or all\n",
                     TRunEngine::MaxWorkerCount);
        return 2;
    }
    // Processors that can be kept busy: no more than there are workers.
    const int used = std::min(workers, usable);

    // 1. One worker against the bare loop, alternating so both see the same machine state.
    std::vector<double> plain;
    std::vector<double> bare;
    std::vector<double> worker;
    for (int round = 0; round < 5; ++round) {
        plain.push_back(BareDivisionsPerSecond<false>(100'000'000));
        bare.push_back(BareDivisionsPerSecond<true>(100'000'000));
        worker.push_back(WorkerDivisionsPerSecond(2.0));
    }
    const double plainRate = Median(plain);
    const double bareRate = Median(bare);
    const double workerRate = Median(worker);
    std::printf("one worker:   %.1f M divisions/s\n", workerRate / 1e6);
    std::printf("bare loop:    %.1f M divisions/s (with the checksum)\n", bareRate / 1e6);
    std::printf("ratio:        %.3f  (target >= 0.97)\n", workerRate / bareRate);
    std::printf("checksum:     %.3f  bare loop with it / without it (%.1f M divisions/s)\n",
                bareRate / plainRate, plainRate / 1e6);
    std::printf("block:        %.0f ms of one worker (%lld divisions)\n",
                1000.0 * static_cast<double>(Workload::BlockDivisions) / workerRate,
                static_cast<long long>(Workload::BlockDivisions));

    // 2. The run's workers on the usable processors.
    TWorkerTable table;
    table.StartWorkers(workers);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds));
    std::vector<double> counts;
    double cpuSeconds = 0;
    for (int slot = 0; slot < table.Count(); ++slot) {
        counts.push_back(static_cast<double>(table[slot]->StepCount()));
        cpuSeconds += std::chrono::duration<double>(
                          table[slot]->CpuTime().value_or(std::chrono::nanoseconds{0}))
                          .count();
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    table.StopWorkers();

    const double total = std::accumulate(counts.begin(), counts.end(), 0.0);
    const double mean = total / static_cast<double>(counts.size());
    const double fewest = *std::min_element(counts.begin(), counts.end());
    const double most = *std::max_element(counts.begin(), counts.end());
    std::printf("%d workers, %.1f s on %d usable processors:\n", workers, elapsed, usable);
    if (cpuSeconds <= 0) {
        std::fprintf(stderr,
                     "bench_workers: the system does not say the workers' processor time\n");
        return 1;
    }
    std::printf("  per CPU s:  %.1f M divisions = %.3f of the bare loop  (target >= 0.97);"
                " %.3f of it without the checksum\n",
                total / cpuSeconds / 1e6, total / cpuSeconds / bareRate,
                total / cpuSeconds / plainRate);
    std::printf("  total:      %.1f M divisions/s of the clock = %.3f of bare loop x %d processors"
                " in use (%.2f processors' time had)\n",
                total / elapsed / 1e6, total / elapsed / (bareRate * used), used,
                cpuSeconds / elapsed);
    std::printf("  fairness:   min/mean %.3f  (target >= 0.93), max/mean %.3f\n", fewest / mean,
                most / mean);
    std::printf("  score:      %lld (fewest divisions / 100000)\n",
                static_cast<long long>(fewest) / 100000);
    return 0;
}
