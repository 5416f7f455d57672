// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "THardwareErrors.h"
#include "TSensors.h"
#include "TSystemRecord.h"
#include "TTestKind.h"
#include "TWarning.h"
#include "TWorkload.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// A stop signal as people and the JSON result name it: "SIGINT"; "signal 64" for one without a
// name.
QString SignalName(int signal);

// Why a run failed, and where.
struct TRunFailure {
    enum class TKind {
        Mismatch, // a block's checksum differs from the right one
        OffPath,  // the worker left the known path of the workload
        Stalled,  // the worker did no step for StallTicks while it had processor time
        Hardware, // the processor reported a machine check or an uncorrected error itself
    };
    TKind Kind = TKind::Mismatch;
    // Each member has an initialiser, so that a designated initialiser may leave it out.
    std::optional<int> Worker = {}; // the slot, 0 first; none when an earlier turn of a cycle
    std::optional<int> Cpu = {};    // the processor the wrong block ran on; none when not pinned
    std::optional<std::int64_t> Block = {};
    std::optional<std::uint64_t> Expected = {};
    std::optional<std::uint64_t> Found = {};
    std::optional<TWordFault> Word = {}; // the first word of its memory that read back wrong
    TWorkloadKind Workload = Workloads::Default(); // what the block was a block of
    std::optional<THardwareCounter> Hardware = {}; // the counter of a Hardware failure

    // What went wrong, as the result line says it: "computation error in worker 3", with " on
    // CPU 2" when `pinned` says the workers had processors of their own, or "worker 3 stalled".
    // Workers are numbered from 1. A word of memory that read back wrong is named with its
    // address and the bits that differ: "memory error in worker 2 at 0x7f3a12345678 (bits
    // 0000000000000080)". A Hardware failure names the counter: "machine check on CPU 3".
    QString Text(bool pinned) const;
    // The first and last of what the block covers, as its workload names them (the results'
    // divisorFirst and divisorLast); none when the workload says none.
    std::optional<std::pair<std::int64_t, std::int64_t>> BlockRange() const;
};

// How much of a run's work the block check saw.
struct TCheckSummary {
    std::int64_t Blocks = 0;   // block results received from the workers
    std::int64_t Checked = 0;  // of them, compared with another worker's or a computed block
    std::int64_t Computed = 0; // blocks the checker computed itself
    std::int64_t Missed = 0;   // blocks overwritten in a worker's ring before they were read

    // Checked over the blocks the workers completed (Blocks and Missed), 0 before the first.
    double CheckedShare() const noexcept;
    // Whether a run that found no fault may be called verified: it checked a block at least.
    bool Verified() const noexcept { return Checked > 0; }
};

// What one benchmark or stress run did: the engine keeps it up to date at every tick, and both
// programs make their result lines from it.
struct TRunRecord {
    enum class TOutcome { Running, Completed, Failed, Interrupted };
    // Why a run did not start at all.
    enum class TNotStarted {
        Refused,     // another test holds the run lock
        StartFailed, // the system refused the workers
    };

    TTestKind Test = TTestKind::Benchmark;
    TWorkload Workload;   // what the workers computed
    QString DurationText; // stress only: the duration as the duration box names it
    int Workers = 0;
    int Ticks = 0;    // the planned length (a stress run's may change while it runs)
    int TicksRun = 0; // the ticks that ended
    TOutcome Outcome = TOutcome::Running;
    int Signal = 0;                     // the signal that interrupted the run, if one did
    std::optional<TRunFailure> Failure; // what failed a failed run
    bool Pinned = false;                // each worker ran on a processor of its own
    TCheckSummary Check;                // what the block check saw so far
    std::int64_t Score = 0;             // benchmark, completed only
    std::vector<std::int64_t> Steps;    // each worker's count at the last tick
    QDateTime Start;                    // local time the workers were started
    QDateTime TickTime;                 // local time of the last tick
    QDateTime End;                      // local time the run ended
    QString EndText;                    // End in the user's date-time format

    // Kept only when the engine was given the machine to read (morvel-cli; not the window).
    std::optional<TSystemRecord> System;   // read at the start
    std::optional<TSensorSummary> Sensors; // the readings so far, the start's included
    TSensorSample LastSensors;             // the reading of the last tick
    // What the hardware's error counters counted from the start to the end; none till the end.
    std::optional<THardwareErrorCounts> HardwareErrors;
    // What the machine did that a person should know (the clock fell, a limit was reached), in
    // the order seen.
    std::vector<TWarning> Warnings;

    // The last tick: seconds since the start, and the slowest and fastest worker's steps
    // per second since the tick before.
    double Seconds = 0;
    // Of those, the seconds the process was stopped (or kept from running a whole tick): no
    // tick counts them, and the run lasts longer by them.
    double PausedSeconds = 0;
    // Of those, the seconds past the planned end and no stop: the ticks were late (a busy
    // machine).
    double LateSeconds = 0;
    // Why the machine could not be kept from sleeping during the run; empty when it was (or
    // nobody asked).
    QString SleepProblem;
    // Each worker's seconds without a step while it had no processor time.
    std::vector<double> StarvedSeconds;
    std::int64_t SlowestRate = 0;
    std::int64_t FastestRate = 0;

    // The slowest worker's steps over the fastest's, 0 when no worker has stepped yet.
    double SlowestToFastest() const noexcept;
    // The planned length in seconds; for an open-ended run none while it runs, then the seconds
    // it ran.
    std::optional<std::int64_t> DurationSeconds() const noexcept;
    // Seconds from the start to the end, to the millisecond.
    double SecondsRun() const;
    // What an interrupted run was and how long it ran, as a person reads it: `stress test "60min
    // (1hrs)" interrupted after 12min 5s by SIGINT`.
    QByteArray InterruptionText() const;
    // The report line of a completed or failed run. A run on another number of workers than
    // the window's fifteen, or of another workload than the default, says so at the end,
    // since its score is not comparable: " (2 workers, fma)".
    // A lone worker's line says how much of its work was checked: " (1 worker, 12 of 800
    // blocks checked)".
    QByteArray ResultLine() const;
    // The line after the result line of a run that found no fault, when the check saw too
    // little to vouch for the result; empty otherwise. "nothing was checked: ..." when no block
    // was, "only 12 of 800 blocks (1.5%) were checked: ..." under half, and the blocks the
    // check missed.
    QByteArray CheckLine() const;
    // What a person should know beside the result line, one line each (none for most runs):
    // the workers starved a second or more (how many, beyond a few), a run that took much
    // longer than asked (by LongerShare and LongerSeconds both) with why, the check line above
    // and the hardware's warning of corrected errors.
    QByteArrayList Notes() const;
    static constexpr double NotedStarvedSeconds = 1.0;
    static constexpr qsizetype NotedStarvedWorkers = 3; // named one by one
    static constexpr double LongerShare = 0.1;
    static constexpr double LongerSeconds = 2.0;
};
