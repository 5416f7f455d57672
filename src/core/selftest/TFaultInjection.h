// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "SThreadUnit.h"
#include "TWorkerTable.h"
#include "TWorkload.h"

#include <atomic>
#include <cstdint>
#include <memory>

// Faults a processor can make, injected into a real worker through the worker table's factory:
// the worker runs the very loop of the program's workers with an arithmetic that errs once (or
// once in every block from then on). The program's worker is built with the exact arithmetic and
// has no branch for any of this.
struct TFault {
    enum class TKind {
        WrongRemainder, // a remainder off by one flipped bit, never 0
        ZeroRemainder,  // a remainder of 0 where there is none: a false divisor
        SkippedDivisor, // one divisor left out
        Stall,          // the worker stops dividing and spins, on the processor, until released
        WrongFma,       // a fused multiply-add result off by one flipped bit
        FlippedBit,     // a bit of memory flipped after it was written
    };
    TKind Kind = TKind::WrongRemainder;
    std::int64_t AtDivision = 0; // the division (0 first) that goes wrong
    int Bit = 3;                 // the bit a wrong remainder has flipped
    bool EveryBlock = false;     // and the same division of every later block too
    // The block workloads: the block (the memory's own count in a mix) that goes wrong, and
    // with EveryBlock every later one of its kind.
    std::int64_t AtBlock = 0;

    static const char* Name(TKind kind) noexcept;
};

// The processor time a stalled worker has spun since it stalled, in nanoseconds (0 before).
using TStallClock = std::shared_ptr<std::atomic<std::int64_t>>;

// The arithmetic of a worker with a fault. A stalled worker spins until `release` is set,
// telling `stalled` its thread's processor time since the stall as it goes (when given).
class TFaultArithmetic {
public:
    TFaultArithmetic(TFault fault, std::shared_ptr<const std::atomic<bool>> release,
                     TStallClock stalled = {}) noexcept;

    std::int64_t Remainder(std::int64_t candidate, std::int64_t divisor,
                           std::int64_t division) const noexcept;
    std::int64_t NextDivisor(std::int64_t divisor, std::int64_t division) const noexcept;

private:
    bool Hits(std::int64_t division) const noexcept;

    TFault fault;
    std::shared_ptr<const std::atomic<bool>> release;
    TStallClock stalled;
};

using TFaultyWorker = TSearchThread<TFaultArithmetic>;

// A factory that starts the program's workers in every slot but `slot`, which gets a worker with
// `fault`. Stalled workers spin until *release is set (set it when the run is over).
TWorkerTable::Factory FaultyFactory(int slot, TFault fault,
                                    const std::shared_ptr<std::atomic<bool>>& release,
                                    const std::vector<int>& cpus = {},
                                    const TStallClock& stalled = {});

// The faults of the block workloads: an accumulator with a flipped bit in the middle of a block,
// a word of memory with a flipped bit once the block has written it. Each does nothing for a
// fault of another kind.
struct TFmaFaultInjector {
    TFault Fault;
    void Chunk(std::int64_t block, int chunk, double* lanes) const noexcept;
};
struct TMemoryFaultInjector {
    TFault Fault;
    void Written(std::int64_t block, std::uint64_t* words, std::int64_t count) const noexcept;
};

// The same for any workload: the workload's workers in every slot but `slot`.
TWorkerTable::Factory FaultyFactory(const TWorkload& workload, int slot, TFault fault,
                                    const std::shared_ptr<std::atomic<bool>>& release,
                                    const std::vector<int>& cpus = {},
                                    const TStallClock& stalled = {});
