// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TFaultInjection.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// Proves the checker: runs real workers with one fault injected and sees whether the run fails,
// how soon, and whether it names the right worker.
namespace SelfTest {

struct TCase {
    TFault::TKind Kind = TFault::TKind::WrongRemainder;
    int Workers = 2;
};

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

// Every kind of fault with 1, 2, 3 and 15 workers.
std::vector<TCase> AllCases();

// The fault a case injects: with two or more workers one fault somewhere after the first block;
// a lone worker, whose blocks the checker only samples, gets a processor that errs in every
// block.
TFault FaultOf(const TCase& testCase);

// Runs one case with ticks of `tick`: the last worker has the fault. Gives up after `maxTicks`
// ticks (the case then fails).
TOutcome Run(const TCase& testCase, std::chrono::milliseconds tick, int maxTicks = 200);

} // namespace SelfTest
