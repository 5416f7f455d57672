// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TFaultInjection.h"

#include <chrono>
#include <thread>
#include <utility>

const char* TFault::Name(TKind kind) noexcept {
    switch (kind) {
    case TKind::WrongRemainder:
        return "wrong remainder";
    case TKind::ZeroRemainder:
        return "wrong zero";
    case TKind::SkippedDivisor:
        return "skipped divisor";
    case TKind::Stall:
        break;
    }
    return "stalled worker";
}

TFaultArithmetic::TFaultArithmetic(TFault injected,
                                   std::shared_ptr<const std::atomic<bool>> released) noexcept
    : fault(injected), release(std::move(released)) {}

bool TFaultArithmetic::Hits(std::int64_t division) const noexcept {
    if (division == fault.AtDivision) {
        return true;
    }
    return fault.EveryBlock && division > fault.AtDivision &&
           (division - fault.AtDivision) % Workload::BlockDivisions == 0;
}

std::int64_t TFaultArithmetic::Remainder(std::int64_t candidate, std::int64_t divisor,
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
    case TFault::TKind::Stall:
        while (!release || !release->load(std::memory_order_relaxed)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return remainder;
    case TFault::TKind::SkippedDivisor:
        break;
    }
    return remainder;
}

std::int64_t TFaultArithmetic::NextDivisor(std::int64_t divisor,
                                           std::int64_t division) const noexcept {
    return fault.Kind == TFault::TKind::SkippedDivisor && Hits(division) ? divisor + 4
                                                                         : divisor + 2;
}

TWorkerTable::Factory FaultyFactory(int faultySlot, TFault fault,
                                    const std::shared_ptr<std::atomic<bool>>& release,
                                    const std::vector<int>& cpus) {
    return [=](int slot) -> std::shared_ptr<TWorker> {
        const int cpu = cpus.empty() ? -1 : cpus[static_cast<std::size_t>(slot) % cpus.size()];
        if (slot != faultySlot) {
            return SThread::Start(SThread::StartCandidate, cpu);
        }
        return TThread::Start<TFaultyWorker>(SThread::StartCandidate, cpu,
                                             TFaultArithmetic(fault, release));
    };
}
