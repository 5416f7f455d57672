// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TFaultInjection.h"

#include "SThreadUnit.h"
#include "TFmaKernel.h"

#include <time.h>

#include <algorithm>
#include <bit>
#include <utility>

TFaultInjector::TFaultInjector(TFault injected, std::shared_ptr<const std::atomic<bool>> released,
                               TStallClock stallClock) noexcept
    : fault(injected), release(std::move(released)), stalled(std::move(stallClock)) {}

namespace {

std::int64_t ThreadNanoseconds() noexcept {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

} // namespace

bool TFaultInjector::Hits(std::int64_t division) const noexcept {
    if (division == fault.AtDivision) {
        return true;
    }
    return fault.EveryBlock && division > fault.AtDivision &&
           (division - fault.AtDivision) % Workload::BlockDivisions == 0;
}

std::int64_t TFaultInjector::Remainder(std::int64_t candidate, std::int64_t divisor,
                                       std::int64_t division) const noexcept {
    const std::int64_t remainder = candidate % divisor;
    if (!Hits(division)) {
        return remainder;
    }
    switch (fault.Kind) {
    case TFault::TKind::WrongRemainder: {
        const std::int64_t flipped = remainder ^ (std::int64_t{1} << fault.Bit);
        return flipped != 0 ? flipped : remainder ^ (std::int64_t{1} << (fault.Bit + 1));
    }
    case TFault::TKind::ZeroRemainder:
        return 0;
    case TFault::TKind::Stall: {
        // A worker stuck while it runs, as a livelocked core is: it keeps its processor.
        const std::int64_t since = ThreadNanoseconds();
        while (!release || !release->load(std::memory_order_relaxed)) {
            if (stalled) {
                stalled->store(std::max<std::int64_t>(ThreadNanoseconds() - since, 1),
                               std::memory_order_relaxed);
            }
        }
        return remainder;
    }
    case TFault::TKind::SkippedDivisor:
    case TFault::TKind::WrongFma:
    case TFault::TKind::FlippedBit:
        break;
    }
    return remainder;
}

std::int64_t TFaultInjector::NextDivisor(std::int64_t divisor,
                                         std::int64_t division) const noexcept {
    return fault.Kind == TFault::TKind::SkippedDivisor && Hits(division) ? divisor + 4
                                                                         : divisor + 2;
}

bool TFaultInjector::HitsBlock(std::int64_t block) const noexcept {
    return block == fault.AtBlock || (fault.EveryBlock && block > fault.AtBlock);
}

void TFaultInjector::Chunk(std::int64_t block, int chunk, double* lanes) const noexcept {
    if (fault.Kind == TFault::TKind::WrongFma && chunk == TFmaKernel::BlockChunks / 2 &&
        HitsBlock(block)) {
        lanes[0] = std::bit_cast<double>(std::bit_cast<std::uint64_t>(lanes[0]) ^
                                         (std::uint64_t{1} << fault.Bit));
    }
}

void TFaultInjector::Written(std::int64_t block, std::uint64_t* words,
                             std::int64_t count) const noexcept {
    if (fault.Kind == TFault::TKind::FlippedBit && HitsBlock(block)) {
        words[count / 2 + 7] ^= std::uint64_t{1} << fault.Bit;
    }
}

TWorkerTable::Factory FaultyFactory(const TWorkload& workload, int faultySlot, TFault fault,
                                    const std::shared_ptr<std::atomic<bool>>& release,
                                    const std::vector<int>& cpus, const TStallClock& stalled) {
    auto injector = std::make_shared<const TFaultInjector>(fault, release, stalled);
    return [=](int slot) -> std::shared_ptr<TWorker> {
        return workload.Kind->Start(workload, CpuForSlot(cpus, slot),
                                    slot == faultySlot ? injector : nullptr);
    };
}

TWorkerTable::Factory FaultyFactory(int faultySlot, TFault fault,
                                    const std::shared_ptr<std::atomic<bool>>& release,
                                    const std::vector<int>& cpus, const TStallClock& stalled) {
    return FaultyFactory(TWorkload{}, faultySlot, fault, release, cpus, stalled);
}
