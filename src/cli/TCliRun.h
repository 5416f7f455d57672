// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TCliArguments.h"
#include "TFormatSettings.h"
#include "TRunEngine.h"
#include "TRunLock.h"
#include "TRunRecord.h"
#include "TSleepInhibitor.h"
#include "TSystemRecord.h"

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

class TResultWriter;

// The command-line program's wait loop around the run engine: a tick whenever the engine says
// one is due, until the run ends or a stop signal arrives.
class TCliRun {
public:
    using Clock = std::chrono::steady_clock;
    // Waits until the deadline; returns the number of a signal that ended the wait early, or 0.
    using Waiter = std::function<int(Clock::time_point)>;

    struct TSettings {
        TTestKind Test = TTestKind::Benchmark;
        int DurationIndex = 0; // stress only
        // A stress run of any length instead: ticks (0: until a stop signal), and its name.
        std::optional<int> CustomTicks;
        QString CustomText;
        int Workers = TTestPlan::WorkerCount;
        std::chrono::milliseconds TickLength = TTestPlan::TickInterval;
        // The clock the deadlines given to the Waiter follow; none: the steady clock.
        TRunEngine::SteadyClock SteadyClock;
        TWorkerTable::Factory WorkerFactory = TWorkerTable::ThreadFactory();
        TWorkload Workload;  // what the factory's workers compute
        bool Pinned = false; // the factory gives each worker a processor of its own
        // Blocks compared with earlier runs' (a cycle), as sources FirstSource on; none: the
        // run's own.
        std::shared_ptr<TBlockChecker> Checker;
        int FirstSource = 0;
        TFormatSettings Format;
        // Held from the first worker to the end of the run, when given.
        std::shared_ptr<TRunLock> RunLock;
        // The machine whose system record and sensors the run reads; none reads nothing.
        std::optional<TSystemPaths> Machine = TSystemPaths{};
        // Held while the run is active, when given.
        std::shared_ptr<TSleepInhibitor> SleepInhibitor;
        // Told of each warning of the machine's the moment the run's record has it, when given;
        // the status line is cleared first.
        std::function<void(const TWarning&)> Warned;
    };

    // Runs to the end. A status line goes to `progress` when it is given (a terminal): rewritten
    // in place at every tick, ended by a line end when the run ends. The run's start and each
    // tick go to `writer` when it is given (its end is the caller's to hand on). Throws
    // ERunLocked when another process runs a test, or the system's error when the workers cannot
    // be started.
    static TRunRecord Run(const TSettings& settings, const Waiter& wait, std::ostream* progress,
                          TResultWriter* writer = nullptr);

    // The record of the run `settings` ask for before it starts, as a run that does not start
    // reports it.
    static TRunRecord Planned(const TSettings& settings);

    // The status line of a run at its last tick, without the terminal's controls: the time
    // gone and left (or "open-ended"), the slowest worker's rate, and the processor frequency
    // and temperature when the machine shows them.
    static std::string StatusLine(const TRunRecord& record);

    // A warning as standard error shows it while the run goes on: "warning: clock fell from 4.1
    // to 3.2 GHz at 12min".
    static std::string WarningLine(const TWarning& warning);

    // A Waiter for the program: sleeps until the deadline unless a stop signal arrives (blocked
    // in every thread first, StopSignals::Block()).
    static int WaitForStopSignal(Clock::time_point deadline);
};
