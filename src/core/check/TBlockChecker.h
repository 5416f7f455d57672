// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockRing.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

// A block whose checksum disagrees with the right one, and who computed it.
struct TBlockFault {
    int Source = 0;      // the worker (or the processor's turn) that computed it
    TBlockResult Result; // the block, the checksum found and the processor it ran on
    std::uint64_t Expected = 0;
};

// Compares the blocks that several sources (the workers of a run, or the processors of a
// cycle in turn) computed of the same sequence.
//
// A block is settled once its right checksum is known: when two sources agree on it, or, when
// they disagree, by computing it here (which names the wrong one even when only two ran it).
// Every later result of a settled block is compared with it. Agreement is not proof: a later
// result that differs from a block settled by agreement has the block computed before anyone is
// named, so two sources that err alike are found out (the first of them is named) and the one
// right source is not. A block only one source has reached waits until another reaches it, or
// until Settle() computes it.
class TBlockChecker {
public:
    // Computes the right checksum of a block: the workload's own.
    using Compute = std::function<std::uint64_t(std::int64_t block)>;

    explicit TBlockChecker(Compute compute);

    // One source's result. Returns the first fault this result makes known, if any.
    std::optional<TBlockFault> Add(int source, const TBlockResult& result);

    // Whether `block` has results that wait for a second source.
    bool Waiting(std::int64_t block) const;
    // Computes a waiting block and judges its results; returns the first fault.
    std::optional<TBlockFault> Settle(std::int64_t block);

    // Forgets every block below `block`, settled or not (all sources have passed it).
    void Forget(std::int64_t block);

    // Results received, results judged (against another source or a computed block), and blocks
    // computed here.
    std::int64_t Received() const noexcept { return received; }
    std::int64_t Judged() const noexcept { return judged; }
    std::int64_t Computed() const noexcept { return computed; }
    // Results of one source judged so far.
    std::int64_t JudgedOf(int source) const;

private:
    struct TPending {
        int Source;
        TBlockResult Result;
    };
    // One more result of `source` judged.
    void Count(int source);
    // A block waits with one result at most: the second settles it. A block settled by
    // agreement keeps the first result that agreed until it is computed (Proven).
    struct TBlock {
        std::optional<std::uint64_t> Right;
        std::optional<TPending> Waiting;
        std::optional<TPending> Agreed;
        bool Proven = false;
    };
    // A result that differs from a block settled by agreement: computes the block and names
    // the first source that erred.
    std::optional<TBlockFault> Disagree(TBlock& block, int source, const TBlockResult& result);
    // Settles `block` on `right` and judges the result that waited and `next`, if any.
    std::optional<TBlockFault> Judge(TBlock& block, std::uint64_t right,
                                     const std::optional<TPending>& next);

    Compute compute;
    std::map<std::int64_t, TBlock> blocks;
    std::int64_t received = 0;
    std::int64_t judged = 0;
    std::int64_t computed = 0;
    std::vector<std::int64_t> judgedBySource; // by source
};
