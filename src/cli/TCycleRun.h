// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TCliRun.h"

#include <QByteArray>
#include <QDateTime>

#include <functional>
#include <optional>
#include <vector>

// Finds a weak core: one worker runs pinned on each chosen processor in turn, the others idle so
// that the loaded one reaches its highest clock. Every turn restarts the same sequence, so its
// blocks are compared with the blocks the turns before it computed.
class TCycleRun {
public:
    struct TSettings {
        std::vector<int> Cpus; // in the order they take their turns
        int Rounds = 1;
        int TicksPerCpu = 60;
        std::chrono::milliseconds TickLength = TTestPlan::TickInterval;
        // The worker factory of one turn (0 first) on one processor; the program's pins a real
        // worker there. Tests inject a fault this way.
        std::function<TWorkerTable::Factory(int turn, int cpu)> FactoryFor;
        TWorkload Workload; // what the factory's workers compute
        std::shared_ptr<TRunLock> RunLock;
        std::optional<TSystemPaths> Machine = TSystemPaths{};
        // Held during each turn, when given.
        std::shared_ptr<TSleepInhibitor> SleepInhibitor;
    };

    // What one processor did over all its turns.
    struct TRow {
        int Cpu = 0;
        double Seconds = 0;
        std::int64_t BlocksChecked = 0;
        int Errors = 0;
        std::optional<double> MaxMHz;
        std::optional<double> MaxTemperatureC;
        std::optional<TRunFailure> FirstError;
    };

    struct TResult {
        std::vector<TRow> Rows; // one per processor, in the order of their first turn
        int Signal = 0;         // the stop signal that ended the cycle early, if one did
        QDateTime Start;        // the first turn's start and the last turn's end, local time
        QDateTime End;
        // What the hardware's error counters counted over the turns; none without a machine.
        std::optional<THardwareErrorCounts> HardwareErrors;
        bool Failed() const;
        // The seconds every processor was loaded, summed.
        double Seconds() const;
        // The sensors' readings of every turn together; none without a machine.
        std::optional<TSensorSummary> Sensors;
        // What the block check saw over all turns.
        TCheckSummary Check;
        // The turns' warnings, at seconds since the first turn's start.
        std::vector<TWarning> Warnings;
        // Why the machine could not be kept from sleeping, as the first turn that could not
        // said it; empty when it was.
        QString SleepProblem;
        // A turn's start and end, hardware errors, sensors, check, warnings and sleep problem
        // added to those of the turns before.
        void Add(const TRunRecord& turn);
        // What an interrupted cycle says on standard error: "cycle interrupted after 2min 5s by
        // SIGINT".
        QByteArray InterruptionText() const;
    };

    // Runs every turn; stops early at a stop signal. Throws as TCliRun::Run does.
    static TResult Run(const TSettings& settings, const TCliRun::Waiter& wait,
                       std::ostream* progress);
};
