// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockChecker.h"
#include "TFormatSettings.h"
#include "TRunObserver.h"
#include "TRunRecord.h"
#include "TTickSchedule.h"
#include "TWorkerTable.h"
#include "TWorkload.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One benchmark or stress run, the same in the window and in morvel-cli: the workers, the tick
// count and planned length, the known-answer check at every tick, the completion (benchmark: the
// lowest score, read while stopping each worker; stress: stop) and the run's record.
//
// The engine knows nothing of timers, widgets or signals: the front end wakes its TTickLoop at
// NextTick(), which asks TickDue() and calls Tick() when it says so, and shows what it likes of
// the state and the record. The parts that follow a run (lock, journal, sensors...) are its
// observers. Used from one thread only.
class TRunEngine {
public:
    static constexpr int MaxWorkerCount = 1024;

    using Clock = std::function<QDateTime()>;
    // The clock of the ticks' deadlines, the seconds since the start and the workers' rates.
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

    // factory makes the workers; workerCount is 1 to MaxWorkerCount; clock gives the local time
    // of the start and end; format writes the end's date-time text.
    explicit TRunEngine(
        TWorkerTable::Factory factory = TWorkerTable::ThreadFactory(),
        int workerCount = TTestPlan::WorkerCount,
        Clock clock = [] { return QDateTime::currentDateTime(); },
        TFormatSettings format = TFormatSettings::FromSystem());

    void SetClock(Clock newClock) { clock = std::move(newClock); }
    void SetFormatSettings(const TFormatSettings& settings) { format = settings; }
    const TFormatSettings& FormatSettings() const noexcept { return format; }
    // The parts that follow every run (TRunObserver): told of its steps in the order handed in,
    // between runs.
    void Observe(std::shared_ptr<TRunObserver> observer) {
        observers.push_back(std::move(observer));
    }
    void SetSteadyClock(SteadyClock newClock) { steadyClock = std::move(newClock); }
    // Now, by the steady clock.
    std::chrono::steady_clock::time_point Now() const { return steadyClock(); }
    // The time the thread that calls TickDue() has been running or ready to run, or none when
    // the system does not say: a late tick counts as paused only for the time it was neither.
    using AwakeClock = std::function<std::optional<std::chrono::steady_clock::duration>()>;
    void SetAwakeClock(AwakeClock newClock) { awakeClock = std::move(newClock); }
    // The length of a tick for the runs started from now on (TTestPlan::TickInterval unless
    // set).
    void SetTickLength(std::chrono::milliseconds length) { tickLength = length; }
    // Whether the factory gives each worker a processor of its own: a failure then names the
    // processor in the result line.
    void SetWorkersPinned(bool pinned) { workersPinned = pinned; }
    // Compares this engine's blocks in `checker`, shared with earlier runs (a cycle over the
    // processors), as sources firstSource on. Without one, each run has a checker of its own.
    void SetBlockChecker(std::shared_ptr<TBlockChecker> shared, int firstSource) {
        sharedChecker = std::move(shared);
        sourceBase = firstSource;
    }

    // What the factory's workers compute: the checker computes blocks of it, and the record
    // names it. The default workload unless set.
    void SetWorkload(const TWorkload& chosen) { workload = chosen; }
    // The workers of the runs started from now on: `count` of them (1 to MaxWorkerCount), made
    // by `factory`. Throws std::logic_error while a run is active (it keeps its own).
    void SetWorkers(TWorkerTable::Factory factory, int count);
    // One worker on each processor this process may run on, as many as a run takes.
    static int PerCpuWorkers(const std::vector<int>& usable) noexcept;

    // A worker that did no step for this many ticks while it had processor time has
    // stalled. A worker whose processor time the system does not say counts the ticks in which
    // the others went on (a lone worker: every tick).
    static constexpr int StallTicks = 10;
    static constexpr std::chrono::seconds MinStall{1};
    // A worker that had less processor time than this since the last tick was not run: it is
    // starved, not stalled, and the record counts the time. Any workload moves many times over
    // in it.
    static constexpr std::chrono::milliseconds StarvedCpu{1};
    // The share of one processor that the checker may spend computing blocks itself when a run
    // has one worker, with nobody to compare with.
    static constexpr double SampleShare = 0.02;

    // Starts a run: a run still active ends first without a result, then the tick count and
    // (for a benchmark) the last score are set to 0, the parts are told (the run lock is taken)
    // and the workers are started. Throws what a part throws (ERunLocked when another process's
    // run holds the lock), or the system's error when it refuses a worker; nothing is running
    // then and the engine stays idle.
    void Start(TTestKind kind, int durationIndex = 0);

    // Starts a stress run of any length: `ticks` ticks named `durationText`, or, with ticks 0,
    // open-ended: it runs until Stop(), which completes it, named by how long it ran.
    void StartStress(int ticks, const QString& durationText);

    // The record a run has before its first tick: the test, its name and length, the workers.
    // `custom` is a stress run of any length as StartStress() takes it; otherwise
    // `durationIndex` chooses the stress duration.
    static TRunRecord PlannedRecord(TTestKind kind, int workers, int durationIndex,
                                    std::optional<int> custom = std::nullopt,
                                    const QString& customText = {});

    // A stress run's length follows the chosen duration from the next tick on (not for a run of
    // any length).
    void SetDurationIndex(int durationIndex);

    // When the active run's next tick is due, by the steady clock.
    std::chrono::steady_clock::time_point NextTick() const noexcept { return schedule.Deadline(); }
    // Whether the active run's next tick is due now (see TTickSchedule): a front end woken
    // after a stop of the process finds it is not, and waits for NextTick() again; the time
    // goes into the record as paused. A front end woken late on a busy machine finds a tick
    // due for each length that passed, one after the other.
    bool TickDue();

    enum class TTickResult { Running, Completed, Failed };
    // One tick: counts it, works out the progress and the workers' rates, reads the sensors,
    // checks the workers (the blocks they completed since the last tick against each other's,
    // each against the known path of the workload, and that each one still moves; the first
    // fault fails the run at once) and completes the run once the planned length is reached.
    // An ended run is idle with its record complete.
    TTickResult Tick();

    // Ends an active run without a result (the user started another, closed the window, or a
    // stop signal came). The record says Interrupted, with the signal when there was one.
    void Stop(int signal = 0);

    bool Active() const noexcept { return active; }
    TTestKind Kind() const noexcept { return record.Test; }
    // The ticks counted by the active run; 0 when idle.
    int TickCount() const noexcept { return tickCount; }
    // The active run's planned length in ticks.
    int PlannedTicks() const noexcept;
    // Percent done at the last tick, TickCount * 100 / PlannedTicks, truncated (may pass 100
    // when a stress run was shortened).
    int Progress() const noexcept { return progress; }
    // The score of the last completed benchmark; 0 while a benchmark runs.
    std::int64_t BenchmarkScore() const noexcept { return benchmarkScore; }
    int Workers() const noexcept { return workerCount; }

    // Every worker's position, as the console shows it.
    std::string SampleLine() const { return table.SampleLine(); }
    const TWorkerTable& WorkerTable() const noexcept { return table; }
    // The record of the active run, or of the last one.
    const TRunRecord& Record() const noexcept { return record; }

private:
    void StartRun(TTestKind kind, int durationIndex, std::optional<int> custom,
                  const QString& customText);
    void End(TRunRecord::TOutcome outcome);
    // The checks of one tick; the first fault found, if any.
    std::optional<TRunFailure> CheckBlocks();
    std::optional<TRunFailure> CheckStalls(const std::vector<std::int64_t>& steps,
                                           std::chrono::steady_clock::time_point now,
                                           double seconds);
    std::optional<TRunFailure> Failure(const TBlockFault& fault) const;

    TWorkerTable table;
    TWorkload workload;
    std::unique_ptr<TPathCheck> pathCheck; // the workload's known path, if it has one
    std::shared_ptr<TBlockChecker> sharedChecker;
    std::shared_ptr<TBlockChecker> checker; // the active run's: the shared one or its own
    int sourceBase = 0;
    bool workersPinned = false;
    std::vector<std::int64_t> nextBlock; // per slot: the first block not read yet
    struct TStill {
        int Ticks = 0;                               // ticks without a step
        std::chrono::steady_clock::time_point Since; // when it last moved
        std::optional<std::chrono::nanoseconds> Cpu; // its processor time at the last tick
    };
    std::vector<TStill> stills; // per slot
    double sampleSeconds = 0;   // spent computing blocks of a lone worker
    double sampleCost = 0;      // what the last one took
    int workerCount;
    Clock clock;
    SteadyClock steadyClock = [] { return std::chrono::steady_clock::now(); };
    AwakeClock awakeClock = &TTickSchedule::ThreadAwakeTime;
    std::optional<std::chrono::steady_clock::duration> awakeAtLastCall;
    TFormatSettings format;
    std::vector<std::shared_ptr<TRunObserver>> observers;
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastTick;
    std::chrono::milliseconds tickLength = TTestPlan::TickInterval;
    TTickSchedule schedule;
    std::chrono::steady_clock::duration pausedAtLastTick{};
    TRunRecord record;
    bool active = false;
    int durationIndex = 0;
    std::optional<int> customTicks; // a stress run of any length; 0 for open-ended
    int tickCount = 0;
    int progress = 0;
    std::int64_t benchmarkScore = 0;
};
