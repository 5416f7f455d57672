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
    TWorkloadKind Workload = Workloads::Default();
};

// The case as the table names it: its workload's name of the row, or the fault's.
std::string Name(const TCase& testCase);

// How far the run got and what it found; Verdict() judges it.
//
// The check can only see a wrong result once the block that shows it is done by the faulty
// worker and, with two or more workers, by another one to compare with; it is then due at that
// very tick. How soon is therefore counted from there, in the faulty worker's blocks, never in
// time: a machine that runs the workers slowly delays the evidence, not the verdict. A stall is
// counted in the ticks in which the stalled worker ran (its thread had processor time) while
// the others went on. A row whose evidence never came within the ticks given
// proves nothing: inconclusive, not missed.
struct TOutcome {
    TCase Case;
    int FaultySlot = 0;
    bool Failed = false;            // the run failed
    std::optional<int> NamedWorker; // the slot the failure named
    QString Reason;                 // the failure as the result line says it
    bool Stall = false;             // counted in ticks the stalled worker ran, not blocks
    // A stall whose worker spun no longer than MinStall and the allowed ticks: not late, in
    // however many ticks it ran (a run may also ask a stall for that much processor time).
    bool WithinCpu = false;
    bool Evident = false;     // the evidence was there and the allowance ran out
    std::int64_t After = -1;  // blocks (ticks) from the evidence to the failure
    std::int64_t Allowed = 0; // the most After may be
    QString Short;            // what the workers lacked, when not Evident
    int Signal = 0;           // the stop signal that ended the row before its verdict, if one

    // From the best to the worst.
    enum class TVerdict { Passed, Inconclusive, Late, NotDetected, WrongWorker };
    TVerdict Verdict() const noexcept;
    bool Passed() const noexcept { return Verdict() == TVerdict::Passed; }
    // Why the row did not pass, as the table says it; empty when it passed.
    QString Why() const;
};

// The self-test as a whole: its worst row's verdict. A fault missed or pinned on the wrong worker
// outweighs one found late, and any failure one that could not be judged.
TOutcome::TVerdict Overall(const std::vector<TOutcome>& outcomes) noexcept;

// The blocks a worker that has one processor to itself completes in `ticks` ticks of `tick`,
// at `cpuPerBlock` seconds of processor time per block, and one more: the allowance of a wrong
// result. At least one.
std::int64_t AllowedBlocks(std::chrono::milliseconds tick, int ticks, double cpuPerBlock);

// The rows of every workload in the table with 1, 2, 3 and 15 workers (those a row allows).
std::vector<TCase> AllCases();

// The fault a case injects, where its workload places it: with two or more workers one fault
// somewhere after the first block; a lone worker, whose blocks the checker only samples, gets a
// processor that errs in every block.
TFault FaultOf(const TCase& testCase);

// The workload a case runs: the processor's widest instruction set, the smallest buffers.
TWorkload WorkloadOf(const TCase& testCase);

// Ticks after its evidence that a wrong result may take, in the blocks a worker does meanwhile;
// ticks in which a stalled worker ran beyond the stall's own.
constexpr int AllowedTicks = 2;

// Waits a tick of the given length; gives the number of a stop signal that came meanwhile (the
// self-test then ends), else 0. By default it sleeps.
using TWait = std::function<int(std::chrono::milliseconds tick)>;

// Runs one case with ticks of `tick`: the last worker has the fault. Gives up after `maxTicks`
// ticks without evidence (the case is then inconclusive), and a few ticks past its allowance.
TOutcome Run(const TCase& testCase, std::chrono::milliseconds tick, int maxTicks = 50,
             const TWait& wait = {});

// Runs `cases` one after the other, then the stalled-worker cases, which are judged by the ticks
// alone, all at once; the outcomes in the order of `cases`. A stop signal that `wait` gives ends
// every row under way and skips the rest (their Signal says so).
std::vector<TOutcome> RunAll(const std::vector<TCase>& cases, std::chrono::milliseconds tick,
                             const TWait& wait = {});

} // namespace SelfTest
