// Measures the workload engine and prints its figures:
//  1. divisions per second of one worker on the prime candidate, against a bare loop of the same
//     arithmetic in plain locals, measured in the same run, as a ratio;
//  2. fifteen workers together for a while: total divisions per second against the bare loop
//     times the processor count, and fairness (fewest divisions of a worker / the mean).
//
// Usage: bench_workers [seconds for the fifteen-worker run, default 60]
#include "SThreadUnit.h"
#include "TWorkerTable.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t Prime = 99999999999973;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The same arithmetic as a worker's inner loop, in plain locals: no stores, no stop flag.
double BareDivisionsPerSecond(std::int64_t divisions) {
    const auto start = Clock::now();
    std::int64_t candidate = Prime;
    std::int64_t divisor = 3;
    std::int64_t iterations = 0;
    bool found = false;
    while (!found && detail::Opaque(candidate) / 2 > divisor && iterations < divisions) {
        found = candidate % divisor == 0;
        divisor += 2;
        ++iterations;
    }
    const double elapsed = Seconds(Clock::now() - start);
    // Keep the result alive so the loop is not optimised away.
    if (found || divisor == 0) {
        std::puts("unexpected divisor");
    }
    return static_cast<double>(iterations) / elapsed;
}

// One real worker, started on the prime, for the given time.
double WorkerDivisionsPerSecond(double seconds) {
    auto worker = SThread::Start(Prime);
    while (worker->DivisionCount() == 0) {
        std::this_thread::yield();
    }
    const std::int64_t before = worker->DivisionCount();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const std::int64_t after = worker->DivisionCount();
    const double elapsed = Seconds(Clock::now() - start);
    worker->RequestStop();
    while (!worker->Finished()) {
        std::this_thread::yield();
    }
    return static_cast<double>(after - before) / elapsed;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const double runSeconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());

    // 1. One worker against the bare loop, alternating so both see the same machine state.
    std::vector<double> bare;
    std::vector<double> worker;
    for (int round = 0; round < 5; ++round) {
        bare.push_back(BareDivisionsPerSecond(100'000'000));
        worker.push_back(WorkerDivisionsPerSecond(2.0));
    }
    const double bareRate = Median(bare);
    const double workerRate = Median(worker);
    std::printf("one worker:   %.1f M divisions/s\n", workerRate / 1e6);
    std::printf("bare loop:    %.1f M divisions/s\n", bareRate / 1e6);
    std::printf("ratio:        %.3f  (target >= 0.97)\n", workerRate / bareRate);

    // 2. Fifteen workers on every processor.
    TWorkerTable table;
    table.StartWorkers();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds));
    std::vector<double> counts;
    for (int slot = 0; slot < TWorkerTable::WorkerCount; ++slot) {
        counts.push_back(static_cast<double>(table[slot]->DivisionCount()));
    }
    const double elapsed = Seconds(Clock::now() - start);
    table.StopWorkers();

    const double total = std::accumulate(counts.begin(), counts.end(), 0.0);
    const double mean = total / static_cast<double>(counts.size());
    const double fewest = *std::min_element(counts.begin(), counts.end());
    const double most = *std::max_element(counts.begin(), counts.end());
    std::printf("15 workers, %.1f s on %u cores:\n", elapsed, cores);
    std::printf("  total:      %.1f M divisions/s = %.3f of bare loop x cores  (target >= 0.95)\n",
                total / elapsed / 1e6, total / elapsed / (bareRate * cores));
    std::printf("  fairness:   min/mean %.3f  (target >= 0.93), max/mean %.3f\n", fewest / mean,
                most / mean);
    std::printf("  score:      %lld (fewest divisions / 100000)\n",
                static_cast<long long>(fewest) / 100000);
    return 0;
}
