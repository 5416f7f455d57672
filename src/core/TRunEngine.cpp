// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TRunEngine.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

const std::vector<TRunEngine::TDuration>& TRunEngine::Durations() {
    static const std::vector<TDuration> durations = [] {
        const char* const texts[] = {
            "20min",  "40min",  "60min (1hrs)",  "80min",  "100min", "120min (2hrs)",
            "140min", "160min", "180min (3hrs)", "200min", "220min", "240min (4hrs)"};
        std::vector<TDuration> list;
        int index = 0;
        for (const char* text : texts) {
            list.push_back({QString::fromLatin1(text), (index + 1) * 20, StressTicks(index)});
            ++index;
        }
        return list;
    }();
    return durations;
}

TRunEngine::TRunEngine(TWorkerTable::Factory factory, int workers, Clock localClock,
                       TFormatSettings settings)
    : table(std::move(factory)), workerCount(workers), clock(std::move(localClock)),
      format(std::move(settings)) {
    if (workerCount < 1 || workerCount > MaxWorkerCount) {
        throw std::invalid_argument("the worker count must be 1 to 1024");
    }
}

void TRunEngine::SetDurationIndex(int index) {
    if (index < 0 || index >= static_cast<int>(Durations().size())) {
        throw std::out_of_range("no such duration");
    }
    durationIndex = index;
    if (record.Test == TTestKind::Stress) {
        record.DurationText = Durations()[static_cast<std::size_t>(index)].Text;
        record.Ticks = PlannedTicks();
    }
}

int TRunEngine::PlannedTicks() const noexcept {
    return record.Test == TTestKind::Benchmark ? BenchmarkTicks : StressTicks(durationIndex);
}

void TRunEngine::Start(TTestKind kind, int index) {
    Stop();
    tickCount = 0;
    progress = 0;
    if (kind == TTestKind::Benchmark) {
        benchmarkScore = 0;
    }
    record = TRunRecord();
    record.Test = kind;
    record.Workers = workerCount;
    SetDurationIndex(index);
    if (kind == TTestKind::Benchmark) {
        record.DurationText.clear();
        record.Ticks = BenchmarkTicks;
    }
    verifier.Reset(workerCount);
    if (runLock) {
        runLock->Acquire();
    }
    sensors.reset();
    if (machine) {
        record.System = TSystemRecord::Read(*machine);
        sensors.emplace(*machine);
        record.Sensors.emplace();
        record.Sensors->FrequencySource = sensors->FrequencySource();
        record.Sensors->TemperatureSource = sensors->TemperatureSource();
        record.Sensors->SetBaseline(sensors->Read());
    }
    record.Start = clock();
    started = steadyClock();
    lastTick = started;
    try {
        table.StartWorkers(workerCount);
    } catch (...) {
        if (runLock) {
            runLock->Release();
        }
        throw;
    }
    record.Divisions.assign(static_cast<std::size_t>(workerCount), 0);
    active = true;
    WriteJournal();
}

void TRunEngine::WriteJournal() noexcept {
    if (journal) {
        // The journal is evidence, not a result: a run goes on when it cannot be written.
        journal->Write({record.Test, record.DurationText, record.Start, tickCount, clock()});
    }
}

TRunEngine::TTickResult TRunEngine::Tick() {
    if (!active) {
        throw std::logic_error("no run to tick");
    }
    ++tickCount;
    const int length = PlannedTicks();
    progress = static_cast<int>(static_cast<std::int64_t>(tickCount) * 100 / length);
    record.TicksRun = tickCount;
    record.Ticks = length;
    const std::optional<int> failed = verifier.Check(table);
    const auto now = steadyClock();
    std::vector<std::int64_t> divisions = table.DivisionCounts();
    const double seconds = std::chrono::duration<double>(now - lastTick).count();
    if (!divisions.empty() && divisions.size() == record.Divisions.size() && seconds > 0) {
        std::int64_t slowest = divisions[0] - record.Divisions[0];
        std::int64_t fastest = slowest;
        for (std::size_t i = 1; i < divisions.size(); ++i) {
            slowest = std::min(slowest, divisions[i] - record.Divisions[i]);
            fastest = std::max(fastest, divisions[i] - record.Divisions[i]);
        }
        record.SlowestRate = static_cast<std::int64_t>(static_cast<double>(slowest) / seconds);
        record.FastestRate = static_cast<std::int64_t>(static_cast<double>(fastest) / seconds);
    }
    record.Divisions = std::move(divisions);
    record.Seconds = std::chrono::duration<double>(now - started).count();
    lastTick = now;
    if (sensors) {
        record.LastSensors = sensors->Read();
        record.Sensors->Add(record.LastSensors);
    }
    if (failed) {
        // A worker left the known path of the workload: the processor computed wrongly.
        table.StopWorkers();
        record.FailedWorker = failed;
        End(TRunRecord::TOutcome::Failed);
        return TTickResult::Failed;
    }
    if (tickCount < length) {
        if (tickCount % JournalTicks == 0) {
            WriteJournal();
        }
        return TTickResult::Running;
    }
    if (record.Test == TTestKind::Benchmark) {
        benchmarkScore = table.LowestScore();
        record.Score = benchmarkScore;
    } else {
        table.StopWorkers();
    }
    End(TRunRecord::TOutcome::Completed);
    return TTickResult::Completed;
}

void TRunEngine::Stop(int signal) {
    if (!active) {
        return;
    }
    table.StopWorkers();
    record.Signal = signal;
    End(TRunRecord::TOutcome::Interrupted);
}

void TRunEngine::End(TRunRecord::TOutcome outcome) {
    active = false;
    if (journal) {
        journal->Remove();
    }
    if (runLock) {
        runLock->Release();
    }
    tickCount = 0;
    record.Outcome = outcome;
    record.End = clock();
    record.EndText = DateTimeText(record.End, format);
}
