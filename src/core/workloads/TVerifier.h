// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "SThreadUnit.h"

#include <cstdint>
#include <optional>
#include <vector>

// Checks the workers' published state against the known path of the workload.
//
// Every worker searches the same numbers from the same start value, so its state is known at
// every moment: after SettledCount divisions it sits on the prime KnownPrime, with no divisor
// found, for the rest of any run. A false divisor of the prime moves the worker on to another
// candidate, a missed divisor of one of the composites before it keeps the worker on the wrong
// candidate. Beside the comparison of the workers' blocks (TBlockChecker), this sees a worker
// thrown off or stuck before its first block is complete.
//
// The check only reads what the workers already publish. The reads are relaxed and may be a
// moment old, and at exactly SettledCount divisions a worker is still stepping off the last
// composite, so a worker is judged only once it was already past SettledCount at the previous
// check.
class TVerifier {
public:
    static constexpr std::int64_t KnownPrime = Workload::KnownPrime;
    static constexpr std::int64_t SettledCount = Workload::SettledCount; // divisions before it

    // Forgets every count seen so far and takes the number of slots of the run; called when a
    // run starts.
    void Reset(int slotCount) { seen.assign(static_cast<std::size_t>(slotCount), 0); }

    // One check per tick. Judges each worker that had done more than SettledCount divisions at
    // the previous check, then records every worker's count for the next one. Returns the first
    // slot whose worker is off the known path, or nothing.
    //
    // Table is anything with operator[](slot) giving a pointer-like handle (possibly empty) to a
    // worker with DivisionCount(), CurrentCandidate() and LastDivisorFound(), for every slot
    // below the count given to Reset().
    template <class Table> std::optional<int> Check(const Table& table) {
        std::optional<int> failed;
        for (std::size_t slot = 0; slot < seen.size(); ++slot) {
            const auto& worker = table[static_cast<int>(slot)];
            auto& count = seen[slot];
            if (!worker) {
                count = 0;
                continue;
            }
            if (count > SettledCount && !failed &&
                (worker->CurrentCandidate() != KnownPrime || worker->LastDivisorFound())) {
                failed = static_cast<int>(slot);
            }
            count = worker->DivisionCount();
        }
        return failed;
    }

private:
    std::vector<std::int64_t> seen;
};
