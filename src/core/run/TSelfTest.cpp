// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TSelfTest.h"

#include <future>

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
    for (const auto& [kind, workload] :
         {std::pair{TFault::TKind::WrongFma, TWorkloadKind::Fma},
          std::pair{TFault::TKind::FlippedBit, TWorkloadKind::Memory},
          std::pair{TFault::TKind::WrongFma, TWorkloadKind::Mix}}) {
        for (const int workers : {1, 2, 3, 15}) {
            if (workload != TWorkloadKind::Mix || workers > 1) {
                cases.push_back({kind, workers, workload});
            }
        }
    }
    return cases;
}

std::string Name(const TCase& testCase) {
    return testCase.Workload == TWorkloadKind::Mix
               ? std::string("mix, ") + (testCase.Kind == TFault::TKind::WrongFma
                                             ? "wrong fma"
                                             : TFault::Name(testCase.Kind))
               : std::string(TFault::Name(testCase.Kind));
}

TWorkload WorkloadOf(const TCase& testCase) {
    TWorkload workload;
    workload.Kind = testCase.Workload;
    workload.Isa = TFmaKernel::Best();
    workload.MemoryBlocks = 1;
    return workload;
}

TFault FaultOf(const TCase& testCase) {
    TFault fault;
    fault.Kind = testCase.Kind;
    if (testCase.Workload != TWorkloadKind::Divide) {
        // A lone worker errs in every block from the first; others in one block, an fma block
        // of a mix (1 of every 3).
        fault.EveryBlock = testCase.Workers == 1;
        fault.AtBlock = testCase.Workers == 1 ? 0 : 1;
        return fault;
    }
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
    const TWorkload workload = WorkloadOf(testCase);
    // The count at which the fault shows in a checksum: the block a flipped word is read back
    // in, one pass over the buffer later; the faulty block itself otherwise.
    std::int64_t showsAt = fault.AtDivision;
    if (testCase.Workload != TWorkloadKind::Divide) {
        std::int64_t block = fault.AtBlock;
        if (testCase.Workload == TWorkloadKind::Memory) {
            block += workload.MemoryBlocks;
        }
        showsAt = workload.StepsBefore(block);
    }
    auto release = std::make_shared<std::atomic<bool>>(false);
    TRunEngine engine(FaultyFactory(workload, outcome.FaultySlot, fault, release),
                      testCase.Workers);
    engine.SetWorkload(workload);
    engine.Start(TTestKind::Stress, static_cast<int>(TTestPlan::Durations().size()) - 1);
    const auto start = std::chrono::steady_clock::now();
    int faultSeen = -1;
    for (int count = 1; count <= maxTicks; ++count) {
        std::this_thread::sleep_until(start + count * tick);
        // The tick that first finds the faulty worker past its fault.
        const auto& faulty = engine.WorkerTable()[outcome.FaultySlot];
        if (faultSeen < 0 && faulty->DivisionCount() >= showsAt) {
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

std::vector<TOutcome> RunAll(const std::vector<TCase>& cases, std::chrono::milliseconds tick) {
    std::vector<TOutcome> outcomes(cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (cases[i].Kind != TFault::TKind::Stall) {
            outcomes[i] = Run(cases[i], tick);
        }
    }
    // A stall is judged by the ticks alone: the cases wait them out together.
    std::vector<std::future<TOutcome>> stalls(cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (cases[i].Kind == TFault::TKind::Stall) {
            stalls[i] =
                std::async(std::launch::async, [&cases, i, tick] { return Run(cases[i], tick); });
        }
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (stalls[i].valid()) {
            outcomes[i] = stalls[i].get();
        }
    }
    return outcomes;
}

} // namespace SelfTest
