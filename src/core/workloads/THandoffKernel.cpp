// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "THandoffKernel.h"

#include "Processors.h"
#include "TBlockKernel.h"
#include "TMemoryKernel.h"
#include "TWorkload.h"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

THandoffKernel::THandoffKernel(int homeCpu, std::vector<int> usable)
    : home(homeCpu), cpus(std::move(usable)), buffer(static_cast<std::size_t>(BufferWords)) {
    const int last = std::max(home, cpus.empty() ? 0 : *std::max_element(cpus.begin(), cpus.end()));
    set.reset(CPU_ALLOC(last + 1));
    if (!set) {
        throw std::bad_alloc();
    }
    setSize = CPU_ALLOC_SIZE(last + 1);
}

int THandoffKernel::Partner(const std::vector<int>& cpus, int home, std::int64_t handoff) noexcept {
    const auto others = static_cast<std::int64_t>(cpus.size()) -
                        (std::find(cpus.begin(), cpus.end(), home) != cpus.end() ? 1 : 0);
    if (others <= 0) {
        return -1;
    }
    std::int64_t k = handoff % others;
    for (const int cpu : cpus) {
        if (cpu != home && k-- == 0) {
            return cpu;
        }
    }
    return -1;
}

bool THandoffKernel::MoveTo(int cpu) noexcept {
    if (cpu < 0) {
        return false;
    }
    CPU_ZERO_S(setSize, set.get());
    CPU_SET_S(static_cast<std::size_t>(cpu), setSize, set.get());
    return sched_setaffinity(0, setSize, set.get()) == 0;
}

void THandoffKernel::ReturnHome() noexcept {
    if (home >= 0) {
        CPU_ZERO_S(setSize, set.get());
        CPU_SET_S(static_cast<std::size_t>(home), setSize, set.get());
        if (sched_setaffinity(0, setSize, set.get()) == 0) {
            return;
        }
    }
    CPU_ZERO_S(setSize, set.get());
    for (const int cpu : cpus) {
        CPU_SET_S(static_cast<std::size_t>(cpu), setSize, set.get());
    }
    sched_setaffinity(0, setSize, set.get());
}

std::uint64_t THandoffKernel::ComputeBlock(std::int64_t block) noexcept {
    std::uint64_t checksum = 0;
    for (int round = 0; round < BlockRounds; ++round) {
        const TWordPattern pattern = RoundPattern(block, round);
        for (std::int64_t index = 0; index < BufferWords; index += ChunkWords) {
            checksum = BlockChecksum::Fold(checksum, pattern.ChunkSum(index));
        }
    }
    return checksum;
}

namespace {

THandoffKernel MakeHandoff(const TWorkload&, int cpu) {
    return THandoffKernel(cpu, UsableCpuList());
}
using THandoffEntry = TBlockEntry<THandoffKernel, TNoMemoryFault, THookMemoryFault, &MakeHandoff,
                                  THandoffKernel::RingSlots>;

TBlockChecker::Compute HandoffCompute(const TWorkload&) {
    return [](std::int64_t block) { return THandoffKernel::ComputeBlock(block); };
}

std::int64_t HandoffStepsBefore(const TWorkload&, std::int64_t block) noexcept {
    return block * THandoffKernel::StepsPerBlock();
}

constexpr std::array HandoffRows{TSelfTestRow{TFault::TKind::FlippedBit, 1, "handoff bit flip"}};

} // namespace

const TWorkloadEntry HandoffWorkload{
    "handoff",
    "each worker writes data on its processor and verifies it on another",
    "words/s",
    false,
    false,
    &THandoffEntry::Start,
    &HandoffCompute,
    &HandoffStepsBefore,
    HandoffRows,
    &Workloads::BlockFault,
    &Workloads::FaultyBlock,
    nullptr,
    nullptr,
    &THandoffEntry::Kernel,
};
