// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <cstdint>

// A fault a processor or its memory can make, as a test injects it into a real worker.
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

// What a faulty worker's kernel asks at each point where it may err; the program's workers
// never ask (their kernels are built with policies that do nothing). Implemented by fault
// injection; each kernel calls the points that concern it.
class TFaultHook {
public:
    virtual ~TFaultHook() = default;

    // A division's remainder, and the divisor after `divisor`, as the processor gives them.
    virtual std::int64_t Remainder(std::int64_t candidate, std::int64_t divisor,
                                   std::int64_t division) const noexcept = 0;
    virtual std::int64_t NextDivisor(std::int64_t divisor,
                                     std::int64_t division) const noexcept = 0;
    // May change the lanes of fused multiply-adds after chunk `chunk` of `block`.
    virtual void Chunk(std::int64_t block, int chunk, double* lanes) const noexcept = 0;
    // May change words of memory once `block` has written them.
    virtual void Written(std::int64_t block, std::uint64_t* words,
                         std::int64_t count) const noexcept = 0;
};
