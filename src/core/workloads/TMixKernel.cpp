// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TMixKernel.h"

#include "TBlockThread.h"
#include "TWorkload.h"

#include <array>
#include <utility>

namespace {

template <class FmaFault, class MemoryFault>
std::shared_ptr<TWorker> StartMixWith(const TWorkload& workload, int cpu, FmaFault fmaFault,
                                      MemoryFault memoryFault) {
    using TWork = TMixKernel<FmaFault, MemoryFault>;
    return TThread::Start<TBlockThread<TWork>>(
        TWork(workload.Isa, workload.MemoryBlocks, std::move(fmaFault), std::move(memoryFault)),
        cpu);
}

std::shared_ptr<TWorker> StartMix(const TWorkload& workload, int cpu,
                                  std::shared_ptr<const TFaultHook> faults) {
    if (!faults) {
        return StartMixWith(workload, cpu, TNoFmaFault{}, TNoMemoryFault{});
    }
    THookFmaFault fmaFault{faults};
    return StartMixWith(workload, cpu, std::move(fmaFault), THookMemoryFault{std::move(faults)});
}

TBlockChecker::Compute MixCompute(const TWorkload& workload) {
    return [isa = workload.Isa, blocks = workload.MemoryBlocks](std::int64_t block) {
        return TMixKernel<>::ComputeBlock(block, isa, blocks);
    };
}

std::int64_t MixStepsBefore(const TWorkload& workload, std::int64_t block) noexcept {
    return TMixKernel<>::StepsBefore(block, workload.Isa);
}

// A block of divisions (every third) lies where the division's does.
std::optional<std::pair<std::int64_t, std::int64_t>> MixRange(std::int64_t block) noexcept {
    return block % 3 == 0 ? DivideWorkload.BlockRange(block) : std::nullopt;
}

// An fma block of the mix (1 of every 3); a lone worker's two other kinds are right, so it
// runs with two workers at least.
constexpr std::array MixRows{TSelfTestRow{TFault::TKind::WrongFma, 2, "mix, wrong fma"}};

} // namespace

const TWorkloadEntry MixWorkload{
    "mix",
    "the three in turn",
    "steps/s",
    true,
    true,
    &StartMix,
    &MixCompute,
    &MixStepsBefore,
    MixRows,
    &Workloads::BlockFault,
    &Workloads::FaultyBlock,
    nullptr,
    &MixRange,
};
