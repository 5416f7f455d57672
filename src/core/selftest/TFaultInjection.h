// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TFaultHook.h"
#include "TWorkerTable.h"
#include "TWorkload.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// Faults a processor can make (TFault), injected into a real worker through the worker table's
// factory: the worker runs the very loop of its workload's workers with a policy that asks an
// injector, which errs once (or once in every block from then on). The program's workers are
// built with policies that do nothing and have no branch for any of this.

// The processor time a stalled worker has spun since it stalled, in nanoseconds (0 before).
using TStallClock = std::shared_ptr<std::atomic<std::int64_t>>;

// The injector of one fault, at every point where any workload may err; each point does
// nothing for a fault of another kind. A stalled division spins until `release` is set,
// telling `stalled` its thread's processor time since the stall as it goes (when given).
class TFaultInjector final : public TFaultHook {
public:
    TFaultInjector(TFault fault, std::shared_ptr<const std::atomic<bool>> release,
                   TStallClock stalled = {}) noexcept;

    std::int64_t Remainder(std::int64_t candidate, std::int64_t divisor,
                           std::int64_t division) const noexcept override;
    std::int64_t NextDivisor(std::int64_t divisor, std::int64_t division) const noexcept override;
    // An accumulator with a flipped bit in the middle of a block.
    void Chunk(std::int64_t block, int chunk, double* lanes) const noexcept override;
    // A word of memory with a flipped bit once the block has written it.
    void Written(std::int64_t block, std::uint64_t* words,
                 std::int64_t count) const noexcept override;

private:
    bool Hits(std::int64_t division) const noexcept;
    bool HitsBlock(std::int64_t block) const noexcept;

    TFault fault;
    std::shared_ptr<const std::atomic<bool>> release;
    TStallClock stalled;
};

// A factory that starts the workload's workers in every slot but `slot`, which gets a worker
// with `fault`. Stalled workers spin until *release is set (set it when the run is over).
TWorkerTable::Factory FaultyFactory(const TWorkload& workload, int slot, TFault fault,
                                    const std::shared_ptr<std::atomic<bool>>& release,
                                    const std::vector<int>& cpus = {},
                                    const TStallClock& stalled = {});
// The same for the default workload.
TWorkerTable::Factory FaultyFactory(int slot, TFault fault,
                                    const std::shared_ptr<std::atomic<bool>>& release,
                                    const std::vector<int>& cpus = {},
                                    const TStallClock& stalled = {});
