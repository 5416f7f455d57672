// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// A workload as small as one can be: block b counts from b * BlockWords on, and its checksum is
// the fold of the counts. What a test adds to the table to show that a workload is this file.

#include "BlockChecksum.h"
#include "TBlockThread.h"
#include "TWorkload.h"

#include <array>
#include <utility>

namespace {

struct TCounterKernel {
    static constexpr std::int64_t BlockWords = std::int64_t{1} << 12;
    static constexpr int BlockRounds = 256; // the block counted this many times over

    template <class Progress, class Fault>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress, const Fault& fault) {
        std::array<std::uint64_t, BlockWords> words{};
        std::uint64_t checksum = 0;
        for (int round = 0; round < BlockRounds; ++round) {
            if (progress.Stop()) {
                return std::nullopt;
            }
            for (std::int64_t i = 0; i < BlockWords; ++i) {
                words[static_cast<std::size_t>(i)] =
                    static_cast<std::uint64_t>(block * BlockWords + i + round);
            }
            fault.Written(block, words.data(), BlockWords);
            for (const std::uint64_t word : words) {
                checksum = BlockChecksum::Fold(checksum, word);
            }
            progress.Add(BlockWords);
        }
        return checksum;
    }
};

std::shared_ptr<TWorker> Start(const TWorkload&, int cpu,
                               std::shared_ptr<const TFaultHook> faults) {
    if (!faults) {
        using TWork = TKernelWork<TCounterKernel, TNoMemoryFault>;
        return TThread::Start<TBlockThread<TWork>>(TWork{}, cpu);
    }
    using TWork = TKernelWork<TCounterKernel, THookMemoryFault>;
    return TThread::Start<TBlockThread<TWork>>(TWork{{}, {std::move(faults)}}, cpu);
}

TBlockChecker::Compute Compute(const TWorkload&) {
    return [](std::int64_t block) {
        struct TQuiet {
            bool Stop() const noexcept { return false; }
            void Add(std::int64_t) noexcept {}
        } progress;
        return *TCounterKernel().Run(block, progress, TNoMemoryFault{});
    };
}

std::int64_t StepsBefore(const TWorkload&, std::int64_t block) noexcept {
    return block * TCounterKernel::BlockWords * TCounterKernel::BlockRounds;
}

constexpr std::array Rows{TSelfTestRow{TFault::TKind::FlippedBit, 2, "wrong count"}};

} // namespace

extern const TWorkloadEntry CounterWorkload{
    "count",
    "counts and folds the counts",
    "steps/s",
    false,
    false,
    &Start,
    &Compute,
    &StepsBefore,
    Rows,
    &Workloads::BlockFault,
    &Workloads::FaultyBlock,
};
