// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TFaultInjection.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Proves the checker: runs real workers with one fault injected and sees whether the run fails,
// how soon, and whether it names the right worker.
namespace SelfTest {

struct TCase {
    TFault::TKind Kind = TFault::TKind::WrongRemainder;
    int Workers = 2;
    TWorkloadKind Workload = TWorkloadKind::Divide;
};

// The case as the table names it: the fault, after the workload when that is a mix.
std::string Name(const TCase& testCase);

struct TOutcome {
    TCase Case;
    int FaultySlot = 0;
    bool Failed = false;            // the run failed
    std::optional<int> NamedWorker; // the slot the failure named
    QString Reason;                 // the failure as the result line says it
    int Ticks = -1;                 // ticks from the tick that first saw the fault to the failure
    int AllowedTicks = 2;           // the most this case may take
    bool Passed() const noexcept;
};

// Every kind of fault of the division with 1, 2, 3 and 15 workers; a wrong result of each other
// workload with as many (a mix with 2 at least: a lone worker's blocks are only sampled, and
// two of its three kinds are right).
std::vector<TCase> AllCases();

// The fault a case injects: with two or more workers one fault somewhere after the first block;
// a lone worker, whose blocks the checker only samples, gets a processor that errs in every
// block.
TFault FaultOf(const TCase& testCase);

// The workload a case runs: the processor's widest instruction set, the smallest buffers.
TWorkload WorkloadOf(const TCase& testCase);

// Runs one case with ticks of `tick`: the last worker has the fault. Gives up after `maxTicks`
// ticks (the case then fails).
TOutcome Run(const TCase& testCase, std::chrono::milliseconds tick, int maxTicks = 200);

// Runs `cases` one after the other, then the stalled-worker cases, which are judged by the ticks
// alone, all at once; the outcomes in the order of `cases`.
std::vector<TOutcome> RunAll(const std::vector<TCase>& cases, std::chrono::milliseconds tick);

} // namespace SelfTest
