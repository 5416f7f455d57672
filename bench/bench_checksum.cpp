// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Measures what a worker's blocks cost by the thread's own processor time, so that a busy
// machine does not count: nanoseconds per step of the division, of the multiply-adds of every
// instruction set the processor runs, and of the memory walk (each word read back and written
// again), each the median of `rounds` samples. Built from two revisions and run in turn, it
// shows what a change of the kernels or their checksums costs.
//
// Usage: bench_checksum [rounds, default 5]
#include "SThreadUnit.h"
#include "TFmaKernel.h"
#include "TMemoryKernel.h"
#include "WorkerRate.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Nanoseconds of this thread's processor time per step of `steps` steps done by `run`.
template <class Run> double NanosecondsPerStep(std::int64_t steps, Run&& run) {
    const double start = Bench::ThreadSeconds();
    const std::uint64_t sink = run();
    const double seconds = Bench::ThreadSeconds() - start;
    if (sink == 1) {
        std::puts("unexpected checksum");
    }
    return seconds * 1e9 / static_cast<double>(steps);
}

struct TQuiet {
    bool Stop() const noexcept { return false; }
    void Add(std::int64_t) noexcept {}
    void Mismatch(const TWordFault&) noexcept { std::puts("unexpected word"); }
};

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    std::vector<double> divide;
    std::vector<std::vector<double>> fma(3);
    std::vector<double> memory;
    constexpr std::int64_t memoryBlocks = 16; // 256 MiB: past the caches
    TMemoryKernel walk(memoryBlocks);
    TQuiet quiet;
    for (std::int64_t block = 0; block < memoryBlocks; ++block) {
        walk.Run(block, quiet, TNoMemoryFault{}); // the first pass writes only
    }
    std::int64_t next = memoryBlocks;
    for (int round = 0; round < rounds; ++round) {
        divide.push_back(NanosecondsPerStep(2 * Workload::BlockDivisions, [round] {
            return Workload::ComputeBlock(1 + 2 * round) ^ Workload::ComputeBlock(2 + 2 * round);
        }));
        for (const TFmaIsa isa : {TFmaIsa::Plain, TFmaIsa::Avx2, TFmaIsa::Avx512}) {
            if (TFmaKernel::Supported(isa)) {
                fma[static_cast<std::size_t>(isa)].push_back(
                    NanosecondsPerStep(2 * TFmaKernel::StepsPerBlock(isa), [isa, round] {
                        const TFmaKernel kernel(isa);
                        return kernel.ComputeBlock(2 * round) ^ kernel.ComputeBlock(2 * round + 1);
                    }));
            }
        }
        memory.push_back(NanosecondsPerStep(memoryBlocks * TMemoryKernel::StepsPerBlock(), [&] {
            std::uint64_t sum = 0;
            for (std::int64_t block = 0; block < memoryBlocks; ++block, ++next) {
                sum ^= *walk.Run(next, quiet, TNoMemoryFault{});
            }
            return sum;
        }));
    }
    std::printf("divide %.4f", Bench::Median(divide));
    for (const TFmaIsa isa : {TFmaIsa::Plain, TFmaIsa::Avx2, TFmaIsa::Avx512}) {
        if (TFmaKernel::Supported(isa)) {
            std::printf(" fma-%s %.5f", TFmaKernel::Name(isa),
                        Bench::Median(fma[static_cast<std::size_t>(isa)]));
        }
    }
    std::printf(" memory %.5f  (ns per step, thread CPU time)\n", Bench::Median(memory));
    return 0;
}
