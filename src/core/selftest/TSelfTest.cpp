// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TSelfTest.h"

#include "TRunEngine.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <memory>
#include <thread>

namespace SelfTest {

TOutcome::TVerdict TOutcome::Verdict() const noexcept {
    if (Failed) {
        if (NamedWorker != FaultySlot) {
            return TVerdict::WrongWorker;
        }
        return After <= Allowed || WithinCpu ? TVerdict::Passed : TVerdict::Late;
    }
    return Evident ? TVerdict::NotDetected : TVerdict::Inconclusive;
}

QString TOutcome::Why() const {
    switch (Verdict()) {
    case TVerdict::Passed:
        break;
    case TVerdict::Inconclusive:
        return QStringLiteral("inconclusive: too little processor time, ") + Short;
    case TVerdict::Late:
        return QStringLiteral("FAILED: found after %1 %2, allowed %3")
            .arg(After)
            .arg(Stall ? QStringLiteral("ticks run") : QStringLiteral("blocks"))
            .arg(Allowed);
    case TVerdict::NotDetected:
        return QStringLiteral("FAILED: not detected");
    case TVerdict::WrongWorker:
        return NamedWorker ? QStringLiteral("FAILED: named worker %1, not %2")
                                 .arg(*NamedWorker + 1)
                                 .arg(FaultySlot + 1)
                           : QStringLiteral("FAILED: named no worker");
    }
    return {};
}

TOutcome::TVerdict Overall(const std::vector<TOutcome>& outcomes) noexcept {
    TOutcome::TVerdict overall = TOutcome::TVerdict::Passed;
    for (const TOutcome& outcome : outcomes) {
        overall = std::max(overall, outcome.Verdict());
    }
    return overall;
}

std::int64_t AllowedBlocks(std::chrono::milliseconds tick, int ticks, double cpuPerBlock) {
    const double perTick = std::chrono::duration<double>(tick).count() / cpuPerBlock;
    // An unknown cost (no block done yet) allows a block a tick.
    const double blocks = std::isfinite(perTick) && perTick > 0 ? std::ceil(perTick) : 1;
    return static_cast<std::int64_t>(std::min(blocks * ticks, 1e12)) + 1;
}

std::vector<TCase> AllCases() {
    std::vector<TCase> cases;
    for (const TWorkloadKind workload : Workloads::All()) {
        for (const TSelfTestRow& row : workload->SelfTest) {
            for (const int workers : {1, 2, 3, 15}) {
                if (workers >= row.MinWorkers) {
                    cases.push_back({row.Kind, workers, workload});
                }
            }
        }
    }
    return cases;
}

std::string Name(const TCase& testCase) {
    for (const TSelfTestRow& row : testCase.Workload->SelfTest) {
        if (row.Kind == testCase.Kind && row.Name) {
            return row.Name;
        }
    }
    return TFault::Name(testCase.Kind);
}

TWorkload WorkloadOf(const TCase& testCase) {
    TWorkload workload;
    workload.Kind = testCase.Workload;
    workload.Isa = TFmaKernel::Best();
    workload.MemoryBlocks = 1;
    return workload;
}

TFault FaultOf(const TCase& testCase) {
    return testCase.Workload->PlaceFault(testCase.Kind, testCase.Workers);
}

namespace {

std::int64_t Published(const TWorker& worker) noexcept {
    const TBlockRing* ring = worker.Blocks();
    return ring ? ring->Published() : 0;
}

double ProcessSeconds() noexcept {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Ticks past the allowance after which a fault that was not found counts as not detected.
constexpr int GraceTicks = 3;

} // namespace

TOutcome Run(const TCase& testCase, std::chrono::milliseconds tick, int maxTicks,
             const TWait& wait) {
    TOutcome outcome;
    outcome.Case = testCase;
    const int slot = testCase.Workers - 1;
    outcome.FaultySlot = slot;
    outcome.Stall = testCase.Kind == TFault::TKind::Stall;
    if (outcome.Stall) {
        outcome.Allowed = TRunEngine::StallTicks + AllowedTicks;
    }
    // The processor time a stalled worker may spin before it is found.
    const std::chrono::nanoseconds spinAllowed = TRunEngine::MinStall + AllowedTicks * tick;
    const TFault fault = FaultOf(testCase);
    const TWorkload workload = WorkloadOf(testCase);
    const std::int64_t showing = workload.Kind->ShowingBlock(fault, workload);
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto stalled = std::make_shared<std::atomic<std::int64_t>>(0);
    TRunEngine engine(FaultyFactory(workload, slot, fault, release, {}, stalled), testCase.Workers);
    engine.SetWorkload(workload);
    engine.Start(TTestKind::Stress, static_cast<int>(TTestPlan::Durations().size()) - 1);
    const TWorkerTable& table = engine.WorkerTable();
    const double cpuAtStart = ProcessSeconds();
    std::optional<int> evidentAt;      // the tick at which the evidence was first there
    std::int64_t faultyAtEvidence = 0; // the faulty worker's blocks then
    std::int64_t ran = 0;              // ticks a stalled worker ran while the others went on
    std::int64_t spunBefore = 0;       // its processor time stalled at the last tick
    std::vector<std::int64_t> divisionsBefore = table.StepCounts();
    std::int64_t faultyDone = 0;
    std::int64_t othersDone = 0; // the most blocks another worker had done
    std::int64_t blocks = 0;     // all workers' blocks
    double cpu = 0;              // the process's processor time for them
    int count = 1;
    for (;; ++count) {
        // A whole tick from the last one, never ticks in a row to catch up: a tick thread held
        // off the processor must not use up the ticks the workers were given.
        if (!wait) {
            std::this_thread::sleep_for(tick);
        } else if ((outcome.Signal = wait(tick)) != 0) {
            break;
        }
        // What the tick's check is sure to see: read before it.
        faultyDone = Published(*table[slot]);
        othersDone = 0;
        blocks = 0;
        for (int i = 0; i < testCase.Workers; ++i) {
            const std::int64_t done = Published(*table[i]);
            blocks += done;
            othersDone = i == slot ? othersDone : std::max(othersDone, done);
        }
        cpu = ProcessSeconds() - cpuAtStart;
        if (outcome.Stall) {
            const std::vector<std::int64_t> divisions = table.StepCounts();
            bool othersMoved = testCase.Workers == 1;
            for (std::size_t i = 0; i < divisions.size(); ++i) {
                othersMoved = othersMoved ||
                              (static_cast<int>(i) != slot && divisions[i] != divisionsBefore[i]);
            }
            divisionsBefore = divisions;
            const std::int64_t spun = stalled->load(std::memory_order_relaxed);
            // A whole tick stalled, with processor time in it: a worker given none is starved,
            // which the run must not call stalled.
            if (spunBefore > 0 && spun > spunBefore && othersMoved) {
                ++ran;
            }
            spunBefore = spun;
        } else if (!evidentAt) {
            // A flipped word is read back by the worker's own check: its report is the
            // evidence, whichever blocks are compared. A wrong result needs a block to compare.
            const bool seen =
                testCase.Kind == TFault::TKind::FlippedBit
                    ? table[slot]->WordFault() || faultyDone > showing
                    : faultyDone > showing && (testCase.Workers == 1 || othersDone > showing);
            if (seen) {
                evidentAt = count;
                faultyAtEvidence = faultyDone;
            }
        }
        if (engine.Tick() == TRunEngine::TTickResult::Failed) {
            const TRunRecord& record = engine.Record();
            outcome.Failed = true;
            outcome.NamedWorker = record.Failure->Worker;
            outcome.Reason = record.Failure->Text(false);
            break;
        }
        const bool spunLong = stalled->load(std::memory_order_relaxed) > spinAllowed.count();
        if (outcome.Stall ? ran > outcome.Allowed + GraceTicks && spunLong
                          : evidentAt && count - *evidentAt >= AllowedTicks + GraceTicks) {
            break;
        }
        if (count >= maxTicks &&
            (outcome.Stall ? ran <= outcome.Allowed || !spunLong : !evidentAt)) {
            break;
        }
    }
    engine.Stop();
    release->store(true);
    if (outcome.Stall) {
        outcome.After = ran;
        outcome.WithinCpu = stalled->load(std::memory_order_relaxed) <= spinAllowed.count();
        outcome.Evident = ran > outcome.Allowed && !outcome.WithinCpu;
        outcome.Short =
            QStringLiteral("in %1 ticks the stalled worker ran in %2 of the %3 ticks needed")
                .arg(count)
                .arg(ran)
                .arg(outcome.Allowed + 1);
        return outcome;
    }
    outcome.Allowed = AllowedBlocks(tick, AllowedTicks, cpu / static_cast<double>(blocks));
    outcome.After = evidentAt ? faultyDone - faultyAtEvidence : outcome.Failed ? 0 : -1;
    outcome.Evident = evidentAt && count - *evidentAt >= AllowedTicks;
    outcome.Short =
        faultyDone <= showing
            ? QStringLiteral("in %1 ticks worker %2 completed %3 of the %4 blocks needed")
                  .arg(count)
                  .arg(slot + 1)
                  .arg(faultyDone)
                  .arg(showing + 1)
            : QStringLiteral("in %1 ticks no other worker completed the %2 blocks needed")
                  .arg(count)
                  .arg(showing + 1);
    return outcome;
}

std::vector<TOutcome> RunAll(const std::vector<TCase>& cases, std::chrono::milliseconds tick,
                             const TWait& wait) {
    std::vector<TOutcome> outcomes(cases.size());
    int signal = 0; // the stop signal, once one came
    const auto skipped = [&](std::size_t i) {
        outcomes[i].Case = cases[i];
        outcomes[i].Signal = signal;
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (cases[i].Kind != TFault::TKind::Stall) {
            if (signal) {
                skipped(i);
                continue;
            }
            outcomes[i] = Run(cases[i], tick, 50, wait);
            signal = outcomes[i].Signal;
        }
    }
    // A stall is judged by the ticks alone: the cases wait them out together, told of a stop
    // signal that this thread waits for meanwhile.
    auto stop = std::make_shared<std::atomic<int>>(signal);
    const TWait stallWait = [stop](std::chrono::milliseconds length) {
        std::this_thread::sleep_for(length);
        return stop->load();
    };
    std::vector<std::future<TOutcome>> stalls(cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (cases[i].Kind == TFault::TKind::Stall) {
            if (signal) {
                skipped(i);
                continue;
            }
            stalls[i] = std::async(std::launch::async, [&cases, i, tick, stallWait] {
                return Run(cases[i], tick, 50, stallWait);
            });
        }
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (!stalls[i].valid()) {
            continue;
        }
        while (wait && stalls[i].wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            if (const int got = wait(tick); got != 0 && stop->load() == 0) {
                stop->store(got);
            }
        }
        outcomes[i] = stalls[i].get();
    }
    return outcomes;
}

} // namespace SelfTest
