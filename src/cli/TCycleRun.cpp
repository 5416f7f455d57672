// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TCycleRun.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

void Raise(std::optional<double>& most, const std::optional<double>& value) {
    if (value && (!most || *value > *most)) {
        most = value;
    }
}

void Lower(std::optional<double>& least, const std::optional<double>& value) {
    if (value && (!least || *value < *least)) {
        least = value;
    }
}

// The mean of two means, each weighed by its readings.
std::optional<double> Mean(const std::optional<double>& one, int oneReadings,
                           const std::optional<double>& other, int otherReadings) {
    if (!one || !other) {
        return one ? one : other;
    }
    const int readings = oneReadings + otherReadings;
    return readings > 0 ? (*one * oneReadings + *other * otherReadings) / readings : *one;
}

// A turn's readings added to those of the turns before.
void Merge(std::optional<TSensorSummary>& all, const TSensorSummary& turn) {
    if (!all) {
        all = turn;
        return;
    }
    Lower(all->MinMHz, turn.MinMHz);
    all->MeanMHz = Mean(all->MeanMHz, all->Readings, turn.MeanMHz, turn.Readings);
    Raise(all->MaxMHz, turn.MaxMHz);
    Raise(all->MaxTemperatureC, turn.MaxTemperatureC);
    all->MeanWatts = Mean(all->MeanWatts, all->Readings, turn.MeanWatts, turn.Readings);
    Raise(all->MaxWatts, turn.MaxWatts);
    if (turn.ThrottleEvents) {
        all->ThrottleEvents = all->ThrottleEvents.value_or(0) + *turn.ThrottleEvents;
    }
    all->Readings += turn.Readings;
}

} // namespace

bool TCycleRun::TResult::Failed() const {
    return std::any_of(Rows.begin(), Rows.end(), [](const TRow& row) { return row.Errors > 0; });
}

double TCycleRun::TResult::Seconds() const {
    double seconds = 0;
    for (const TRow& row : Rows) {
        seconds += row.Seconds;
    }
    return seconds;
}

QByteArray TCycleRun::TResult::InterruptionText() const {
    return "cycle interrupted after " +
           LengthText(static_cast<std::int64_t>(std::floor(Seconds()))).toUtf8() + " by " +
           SignalName(Signal).toUtf8();
}

void TCycleRun::TResult::Add(const TRunRecord& turn) {
    if (!Start.isValid()) {
        Start = turn.Start;
    }
    End = turn.End;
    if (turn.HardwareErrors) {
        if (!HardwareErrors) {
            HardwareErrors.emplace();
        }
        HardwareErrors->Add(*turn.HardwareErrors);
    }
    if (turn.Sensors) {
        Merge(Sensors, *turn.Sensors);
    }
    // The turns share one checker, whose counts run on; each turn misses its own.
    const std::int64_t missed = Check.Missed + turn.Check.Missed;
    Check = turn.Check;
    Check.Missed = missed;
    const double offset = static_cast<double>(Start.msecsTo(turn.Start)) / 1000;
    for (TWarning warning : turn.Warnings) {
        warning.At += offset;
        Warnings.push_back(std::move(warning));
    }
    if (SleepProblem.isEmpty()) {
        SleepProblem = turn.SleepProblem;
    }
}

TCycleRun::TResult TCycleRun::Run(const TSettings& settings, const TCliRun::Waiter& wait,
                                  std::ostream* progress) {
    TResult result;
    const auto rowOf = [&result](int cpu) -> TRow& {
        for (TRow& row : result.Rows) {
            if (row.Cpu == cpu) {
                return row;
            }
        }
        result.Rows.push_back({});
        result.Rows.back().Cpu = cpu;
        return result.Rows.back();
    };
    for (const int cpu : settings.Cpus) {
        rowOf(cpu);
    }
    const auto checker = std::make_shared<TBlockChecker>(settings.Workload.Compute());
    int turn = 0;
    for (int round = 0; round < settings.Rounds && result.Signal == 0; ++round) {
        for (const int cpu : settings.Cpus) {
            TCliRun::TSettings run;
            run.Test = TTestKind::Stress;
            run.CustomTicks = settings.TicksPerCpu;
            run.CustomText = LengthText(settings.TicksPerCpu);
            run.Workers = 1;
            run.TickLength = settings.TickLength;
            run.WorkerFactory = settings.FactoryFor(turn, cpu);
            run.Workload = settings.Workload;
            run.Pinned = true;
            run.Checker = checker;
            run.FirstSource = turn;
            run.RunLock = settings.RunLock;
            run.Machine = settings.Machine;
            run.SleepInhibitor = settings.SleepInhibitor;
            const TRunRecord record = TCliRun::Run(run, wait, nullptr);
            result.Add(record);
            TRow& row = rowOf(cpu);
            row.Seconds += record.Seconds;
            if (record.Sensors) {
                Raise(row.MaxMHz, record.Sensors->MaxMHz);
                Raise(row.MaxTemperatureC, record.Sensors->MaxTemperatureC);
            }
            if (record.Outcome == TRunRecord::TOutcome::Failed && record.Failure) {
                // A block computed in an earlier turn may be the one found wrong now: the error
                // belongs to the processor that computed it.
                TRow& faulty = record.Failure->Cpu ? rowOf(*record.Failure->Cpu) : row;
                ++faulty.Errors;
                if (!faulty.FirstError) {
                    faulty.FirstError = record.Failure;
                }
            }
            if (progress) {
                *progress << "CPU " << cpu << ": "
                          << (record.Outcome == TRunRecord::TOutcome::Failed ? "error" : "ok")
                          << '\n'
                          << std::flush;
            }
            ++turn;
            if (record.Outcome == TRunRecord::TOutcome::Interrupted) {
                result.Signal = record.Signal;
                break;
            }
        }
    }
    // A turn's blocks are judged during later turns too: count them where they were computed.
    for (int done = 0; done < turn; ++done) {
        const int cpu = settings.Cpus[static_cast<std::size_t>(done) % settings.Cpus.size()];
        rowOf(cpu).BlocksChecked += checker->JudgedOf(done);
    }
    return result;
}
