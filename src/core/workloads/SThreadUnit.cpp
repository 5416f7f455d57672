// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"

#include <pthread.h>
#include <sched.h>

namespace Workload {

TPoint BlockStart(std::int64_t block) noexcept {
    const std::int64_t divisions = block * BlockDivisions;
    if (divisions < SettledCount) {
        return {};
    }
    return {KnownPrime, 3 + 2 * (divisions - SettledCount), divisions};
}

std::uint64_t ComputeBlock(std::int64_t block) noexcept {
    // Keeps nothing but the checksum of the block asked for, and stops right after it.
    struct TSink {
        std::int64_t wanted;
        std::uint64_t checksum = 0;
        bool done = false;
        bool Stop() const noexcept { return done; }
        void Candidate(std::int64_t) noexcept {}
        void Begin(std::int64_t) noexcept {}
        void Step(bool, std::int64_t, std::int64_t) noexcept {}
        void Stopped(std::int64_t) noexcept {}
        void Block(std::int64_t number, std::uint64_t sum) noexcept {
            if (number == wanted) {
                checksum = sum;
                done = true;
            }
        }
    };
    return Search(StartCandidate, BlockStart(block), TSink{block}, TExactArithmetic{}).checksum;
}

} // namespace Workload

int CurrentCpu() noexcept {
    return sched_getcpu();
}
