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
        QDateTime End;          // when the last turn ended
        bool Failed() const;
        // The seconds every processor was loaded, summed.
        double Seconds() const;
        // What an interrupted cycle says on standard error: "cycle interrupted after 2min 5s by
        // SIGINT".
        QByteArray InterruptionText() const;
        // The table a person reads, and the same as one JSON object and as Prometheus metrics
        // (which say whether the cycle completed or was interrupted, and when it ended).
        QByteArray Table() const;
        QByteArray ToJson() const;
        QByteArray ToPrometheus() const;
    };

    // Runs every turn; stops early at a stop signal. Throws as TCliRun::Run does.
    static TResult Run(const TSettings& settings, const TCliRun::Waiter& wait,
                       std::ostream* progress);
};
