// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "RunObservers.h"

#include <algorithm>

void TLockObserver::Starting(TRunRecord&) {
    lock->Acquire();
}

void TLockObserver::Stopping(TRunRecord&) {
    lock->Release();
}

void TJournalObserver::Started(TRunRecord& record, const QDateTime& now) {
    journal->Write({record.Test, record.DurationText, record.Start, 0, now, {}});
}

void TJournalObserver::Ticked(TRunRecord& record, double, bool last) {
    if (!last && record.TicksRun % JournalTicks == 0) {
        journal->Write(
            {record.Test, record.DurationText, record.Start, record.TicksRun, record.TickTime, {}});
    }
}

void TJournalObserver::Ended(const TRunRecord& record) {
    if (record.Outcome == TRunRecord::TOutcome::Interrupted) {
        journal->Remove();
        return;
    }
    // The result is not safe until its line is on disk: the journal holds it till then.
    const int planned = record.Ticks;
    journal->Write({record.Test, record.DurationText, record.Start,
                    planned > 0 ? std::min(record.TicksRun, planned) : record.TicksRun, record.End,
                    record.ResultLine()});
}

void TInhibitorObserver::Started(TRunRecord& record, const QDateTime&) {
    inhibitor->Hold();
    record.SleepProblem = inhibitor->Problem();
}

void TInhibitorObserver::Stopping(TRunRecord&) {
    inhibitor->Release();
}

void TMachineObserver::Starting(TRunRecord& record) {
    record.System = TSystemRecord::Read(paths);
    sensors.emplace(paths);
    record.Sensors.emplace();
    record.Sensors->FrequencySource = sensors->FrequencySource();
    record.Sensors->TemperatureSource = sensors->TemperatureSource();
    record.Sensors->PowerSource = sensors->PowerSource();
    record.LastSensors = sensors->Read();
    record.Sensors->SetBaseline(record.LastSensors);
    hardware.emplace(paths);
    hardwareBefore = hardware->Read();
    watch.emplace(TThrottleSensors(paths), record.LastSensors);
}

void TMachineObserver::Ticked(TRunRecord& record, double seconds, bool) {
    if (!sensors) {
        return;
    }
    TSensorSample sample = sensors->Read();
    sample.PackageWatts = PackageWatts(record.LastSensors, sample, seconds);
    record.LastSensors = sample;
    record.Sensors->Add(record.LastSensors);
    for (TWarning& warning : watch->Tick(record.Seconds, record.LastSensors)) {
        record.Warnings.push_back(std::move(warning));
    }
}

void TMachineObserver::Stopping(TRunRecord& record) {
    if (!hardware) {
        return;
    }
    record.HardwareErrors = THardwareErrorCounts::Between(hardwareBefore, hardware->Read());
    // A machine check or an uncorrected error fails a run that found nothing wrong itself.
    const std::optional<THardwareCounter> fault = record.HardwareErrors->Failure();
    if (fault && record.Outcome == TRunRecord::TOutcome::Completed) {
        record.Failure = TRunFailure{.Kind = TRunFailure::TKind::Hardware,
                                     .Cpu = fault->Cpu,
                                     .Workload = record.Workload.Kind,
                                     .Hardware = fault};
        record.Outcome = TRunRecord::TOutcome::Failed;
    }
}
