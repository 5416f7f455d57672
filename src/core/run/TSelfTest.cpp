// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TSelfTest.h"

#include "TRunEngine.h"

#include <thread>

namespace SelfTest {

bool TOutcome::Passed() const noexcept {
    return Failed && NamedWorker == FaultySlot && Ticks >= 0 && Ticks <= AllowedTicks;
}

std::vector<TCase> AllCases() {
    std::vector<TCase> cases;
    for (const TFault::TKind kind : {TFault::TKind::WrongRemainder, TFault::TKind::ZeroRemainder,
                                     TFault::TKind::SkippedDivisor, TFault::TKind::Stall}) {
        for (const int workers : {1, 2, 3, 15}) {
            cases.push_back({kind, workers});
        }
    }
    return cases;
}

TFault FaultOf(const TCase& testCase) {
    TFault fault;
    fault.Kind = testCase.Kind;
    if (testCase.Workers == 1 && testCase.Kind != TFault::TKind::Stall) {
        fault.AtDivision = Workload::BlockDivisions / 3;
        fault.EveryBlock = true;
    } else {
        // In the middle of the second block, on the known prime.
        fault.AtDivision = Workload::BlockDivisions + Workload::BlockDivisions / 2 + 12345;
    }
    return fault;
}

TOutcome Run(const TCase& testCase, std::chrono::milliseconds tick, int maxTicks) {
    TOutcome outcome;
    outcome.Case = testCase;
    outcome.FaultySlot = testCase.Workers - 1;
    if (testCase.Kind == TFault::TKind::Stall) {
        outcome.AllowedTicks = TRunEngine::StallTicks + 2;
    }
    const TFault fault = FaultOf(testCase);
    auto release = std::make_shared<std::atomic<bool>>(false);
    TRunEngine engine(FaultyFactory(outcome.FaultySlot, fault, release), testCase.Workers);
    engine.Start(TTestKind::Stress, static_cast<int>(TTestPlan::Durations().size()) - 1);
    const auto start = std::chrono::steady_clock::now();
    int faultSeen = -1;
    for (int count = 1; count <= maxTicks; ++count) {
        std::this_thread::sleep_until(start + count * tick);
        // The tick that first finds the faulty worker past its fault.
        const auto& faulty = engine.WorkerTable()[outcome.FaultySlot];
        if (faultSeen < 0 && faulty->DivisionCount() >= fault.AtDivision) {
            faultSeen = count;
        }
        if (engine.Tick() == TRunEngine::TTickResult::Failed) {
            const TRunRecord& record = engine.Record();
            outcome.Failed = true;
            outcome.NamedWorker = record.Failure->Worker;
            outcome.Reason = record.Failure->Text(false);
            outcome.Ticks = faultSeen < 0 ? -1 : count - faultSeen;
            break;
        }
    }
    engine.Stop();
    release->store(true);
    return outcome;
}

} // namespace SelfTest
