// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TRunEngine.h"

#include "ResultLines.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

void CheckWorkerCount(int count) {
    if (count < 1 || count > TRunEngine::MaxWorkerCount) {
        throw std::invalid_argument("the worker count must be 1 to 1024");
    }
}

} // namespace

TRunEngine::TRunEngine(TWorkerTable::Factory factory, int workers, Clock localClock,
                       TFormatSettings settings)
    : table(std::move(factory)), workerCount(workers), clock(std::move(localClock)),
      format(std::move(settings)) {
    CheckWorkerCount(workerCount);
}

void TRunEngine::SetWorkers(TWorkerTable::Factory factory, int count) {
    if (active) {
        throw std::logic_error("the workers change only between runs");
    }
    CheckWorkerCount(count);
    table.SetFactory(std::move(factory));
    workerCount = count;
}

int TRunEngine::PerCpuWorkers(const std::vector<int>& usable) noexcept {
    return std::clamp(static_cast<int>(usable.size()), 1, MaxWorkerCount);
}

void TRunEngine::SetDurationIndex(int index) {
    if (index < 0 || index >= static_cast<int>(TTestPlan::Durations().size())) {
        throw std::out_of_range("no such duration");
    }
    durationIndex = index;
    if (record.Test == TTestKind::Stress && !customTicks) {
        record.DurationText = TTestPlan::Durations()[static_cast<std::size_t>(index)].Text;
        record.Ticks = PlannedTicks();
    }
}

int TRunEngine::PlannedTicks() const noexcept {
    if (record.Test == TTestKind::Benchmark) {
        return TTestPlan::BenchmarkTicks;
    }
    return customTicks ? *customTicks : TTestPlan::StressTicks(durationIndex);
}

void TRunEngine::StartStress(int ticks, const QString& durationText) {
    if (ticks < 0) {
        throw std::out_of_range("no such length");
    }
    StartRun(TTestKind::Stress, 0, ticks, durationText);
}

TRunRecord TRunEngine::PlannedRecord(TTestKind kind, int workers, int index,
                                     std::optional<int> custom, const QString& customText) {
    if (index < 0 || index >= static_cast<int>(TTestPlan::Durations().size())) {
        throw std::out_of_range("no such duration");
    }
    TRunRecord planned;
    planned.Test = kind;
    planned.Workers = workers;
    if (kind == TTestKind::Benchmark) {
        planned.Ticks = TTestPlan::BenchmarkTicks;
    } else if (custom) {
        planned.DurationText = customText;
        planned.Ticks = *custom;
    } else {
        planned.DurationText = TTestPlan::Durations()[static_cast<std::size_t>(index)].Text;
        planned.Ticks = TTestPlan::StressTicks(index);
    }
    return planned;
}

void TRunEngine::Start(TTestKind kind, int index) {
    StartRun(kind, index, std::nullopt, {});
}

void TRunEngine::StartRun(TTestKind kind, int index, std::optional<int> custom,
                          const QString& customText) {
    Stop();
    customTicks.reset();
    tickCount = 0;
    progress = 0;
    if (kind == TTestKind::Benchmark) {
        benchmarkScore = 0;
    }
    record = PlannedRecord(kind, workerCount, index, custom, customText);
    durationIndex = index;
    customTicks = custom;
    pathCheck = workload.Kind->PathCheck ? workload.Kind->PathCheck() : nullptr;
    if (pathCheck) {
        pathCheck->Reset(workerCount);
    }
    checker = sharedChecker ? sharedChecker : std::make_shared<TBlockChecker>(workload.Compute());
    record.Workload = workload;
    nextBlock.assign(static_cast<std::size_t>(workerCount), 0);
    stills.assign(static_cast<std::size_t>(workerCount),
                  TStill{0, steadyClock(), std::chrono::nanoseconds::zero()});
    sampleSeconds = 0;
    sampleCost = 0;
    record.Pinned = workersPinned;
    // A part that refuses the run leaves those told before it as they were.
    std::size_t told = 0;
    const auto abandon = [this, &told] {
        while (told > 0) {
            observers[--told]->StartFailed();
        }
    };
    try {
        for (; told < observers.size(); ++told) {
            observers[told]->Starting(record);
        }
    } catch (...) {
        abandon();
        throw;
    }
    record.Start = clock();
    started = steadyClock();
    lastTick = started;
    schedule = TTickSchedule(tickLength, started);
    awakeAtLastCall = awakeClock();
    pausedAtLastTick = {};
    record.PausedSeconds = 0;
    record.LateSeconds = 0;
    record.StarvedSeconds.assign(static_cast<std::size_t>(workerCount), 0.0);
    try {
        table.StartWorkers(workerCount);
    } catch (...) {
        abandon();
        throw;
    }
    record.Steps.assign(static_cast<std::size_t>(workerCount), 0);
    active = true;
    const QDateTime now = clock();
    for (const auto& observer : observers) {
        observer->Started(record, now);
    }
}

bool TRunEngine::TickDue() {
    if (!active) {
        return false;
    }
    const auto awake = awakeClock();
    std::optional<std::chrono::steady_clock::duration> awakeSince;
    if (awake && awakeAtLastCall) {
        awakeSince = *awake - *awakeAtLastCall;
    }
    awakeAtLastCall = awake;
    const bool due = schedule.Due(steadyClock(), awakeSince);
    record.PausedSeconds = std::chrono::duration<double>(schedule.Paused()).count();
    return due;
}

TRunEngine::TTickResult TRunEngine::Tick() {
    if (!active) {
        throw std::logic_error("no run to tick");
    }
    ++tickCount;
    const int length = PlannedTicks();
    progress =
        length > 0 ? static_cast<int>(static_cast<std::int64_t>(tickCount) * 100 / length) : 0;
    record.TicksRun = tickCount;
    record.Ticks = length;
    const std::optional<int> offPath = pathCheck ? pathCheck->Check(table.Workers()) : std::nullopt;
    std::optional<TRunFailure> failure = CheckBlocks();
    if (!failure && offPath) {
        failure = TRunFailure{
            .Kind = TRunFailure::TKind::OffPath, .Worker = offPath, .Workload = workload.Kind};
    }
    const auto now = steadyClock();
    std::vector<std::int64_t> steps = table.StepCounts();
    // The rates are of the time the process ran: a stop since the last tick is not counted.
    const double seconds =
        std::chrono::duration<double>(now - lastTick - (schedule.Paused() - pausedAtLastTick))
            .count();
    pausedAtLastTick = schedule.Paused();
    if (!failure) {
        failure = CheckStalls(steps, now, seconds);
    }
    // The ticks a late wake-up fires one after the other are too close to measure: they keep
    // the rates of the first, measured over the whole time.
    const bool measurable =
        seconds > 0 && seconds >= 0.5 * std::chrono::duration<double>(tickLength).count();
    if (!steps.empty() && steps.size() == record.Steps.size() && measurable) {
        std::int64_t slowest = steps[0] - record.Steps[0];
        std::int64_t fastest = slowest;
        for (std::size_t i = 1; i < steps.size(); ++i) {
            slowest = std::min(slowest, steps[i] - record.Steps[i]);
            fastest = std::max(fastest, steps[i] - record.Steps[i]);
        }
        record.SlowestRate = static_cast<std::int64_t>(static_cast<double>(slowest) / seconds);
        record.FastestRate = static_cast<std::int64_t>(static_cast<double>(fastest) / seconds);
    }
    record.Steps = std::move(steps);
    record.Seconds = std::chrono::duration<double>(now - started).count();
    // What the ticks do not count and no stop explains: the run ran late by it.
    const double ticked = std::chrono::duration<double>(tickCount * tickLength).count();
    record.LateSeconds = std::max(0.0, record.Seconds - record.PausedSeconds - ticked);
    record.TickTime = clock();
    lastTick = now;
    const bool last = failure || (length > 0 && tickCount >= length);
    for (const auto& observer : observers) {
        observer->Ticked(record, seconds, last);
    }
    if (failure) {
        table.StopWorkers();
        record.Failure = failure;
        End(TRunRecord::TOutcome::Failed);
        return TTickResult::Failed;
    }
    if (!last) {
        return TTickResult::Running;
    }
    if (record.Test == TTestKind::Benchmark) {
        // The score is of the planned length: a last tick late on a busy machine adds nothing.
        benchmarkScore = table.LowestScore();
        const double running = record.Seconds - record.PausedSeconds;
        const double planned = std::chrono::duration<double>(length * tickLength).count();
        if (running > planned) {
            benchmarkScore =
                static_cast<std::int64_t>(static_cast<double>(benchmarkScore) * planned / running);
        }
        record.Score = benchmarkScore;
    } else {
        table.StopWorkers();
    }
    End(TRunRecord::TOutcome::Completed);
    return record.Outcome == TRunRecord::TOutcome::Failed ? TTickResult::Failed
                                                          : TTickResult::Completed;
}

std::optional<TRunFailure> TRunEngine::Failure(const TBlockFault& fault) const {
    TRunFailure failure;
    failure.Kind = TRunFailure::TKind::Mismatch;
    failure.Workload = workload.Kind;
    if (fault.Source >= sourceBase && fault.Source < sourceBase + workerCount) {
        failure.Worker = fault.Source - sourceBase;
        failure.Word = table[*failure.Worker]->WordFault();
    }
    // An unpinned worker's block may have moved between processors: where it ended names none.
    if (fault.Result.Cpu >= 0 && workersPinned) {
        failure.Cpu = fault.Result.Cpu;
    }
    failure.Block = fault.Result.Block;
    failure.Expected = fault.Expected;
    failure.Found = fault.Result.Checksum;
    return failure;
}

std::optional<TRunFailure> TRunEngine::CheckBlocks() {
    std::optional<TRunFailure> failure;
    std::int64_t lowest = -1;
    for (int slot = 0; slot < workerCount; ++slot) {
        const TBlockRing* ring = table[slot]->Blocks();
        if (!ring) {
            continue;
        }
        auto& next = nextBlock[static_cast<std::size_t>(slot)];
        const std::int64_t published = ring->Published();
        const auto capacity = static_cast<std::int64_t>(ring->Capacity());
        if (published - next > capacity) {
            record.Check.Missed += published - next - capacity;
            next = published - capacity;
        }
        for (; next < published; ++next) {
            TBlockResult result;
            if (!ring->Read(next, result)) {
                ++record.Check.Missed; // overwritten while it was read
                continue;
            }
            if (auto fault = checker->Add(sourceBase + slot, result); fault && !failure) {
                failure = Failure(*fault);
            }
        }
        lowest = lowest < 0 ? next : std::min(lowest, next);
    }
    // A word of memory that read back wrong fails the run by itself, whether or not its block
    // is ever compared.
    for (int slot = 0; slot < workerCount && !failure; ++slot) {
        if (std::optional<TWordFault> word = table[slot]->WordFault()) {
            failure = TRunFailure{.Kind = TRunFailure::TKind::Mismatch,
                                  .Worker = slot,
                                  .Word = word,
                                  .Workload = workload.Kind};
        }
    }
    // A lone worker has nobody to compare with: the checker computes its newest block itself,
    // as often as its share of one processor allows.
    if (!failure && workerCount == 1 && nextBlock[0] > 0 && checker->Waiting(nextBlock[0] - 1) &&
        sampleSeconds + sampleCost <= SampleShare * record.Seconds) {
        const auto begin = steadyClock();
        if (auto fault = checker->Settle(nextBlock[0] - 1)) {
            failure = Failure(*fault);
        }
        sampleCost = std::chrono::duration<double>(steadyClock() - begin).count();
        sampleSeconds += sampleCost;
    }
    if (!sharedChecker && lowest > 0) {
        checker->Forget(lowest);
    }
    record.Check.Blocks = checker->Received();
    record.Check.Checked = checker->Judged();
    record.Check.Computed = checker->Computed();
    return failure;
}

std::optional<TRunFailure> TRunEngine::CheckStalls(const std::vector<std::int64_t>& steps,
                                                   std::chrono::steady_clock::time_point now,
                                                   double seconds) {
    if (steps.size() != record.Steps.size()) {
        return std::nullopt;
    }
    std::size_t moved = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        moved += steps[i] != record.Steps[i] ? 1 : 0;
    }
    std::optional<TRunFailure> failure;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        TStill& still = stills[i];
        const std::optional<std::chrono::nanoseconds> cpu = table[static_cast<int>(i)]->CpuTime();
        std::optional<std::chrono::nanoseconds> had;
        if (cpu && still.Cpu) {
            had = *cpu - *still.Cpu;
        }
        still.Cpu = cpu;
        if (steps[i] != record.Steps[i]) {
            still.Ticks = 0;
            still.Since = now;
            continue;
        }
        if (had && *had < StarvedCpu) {
            // Held off the processor (a busy machine, a debugger): the time is the machine's.
            record.StarvedSeconds[i] += seconds;
            continue;
        }
        // A tick counts when the worker had processor time. Without its processor time: while
        // the others go on (a stopped process moves nobody); a lone worker has only the ticks
        // to go by. Ticks faster than the system shares out the processors do not make a stall
        // either: it lasts MinStall at least.
        if (had || moved > 0 || steps.size() == 1) {
            ++still.Ticks;
        }
        if (still.Ticks >= StallTicks && now - still.Since >= MinStall && !failure) {
            failure = TRunFailure{.Kind = TRunFailure::TKind::Stalled,
                                  .Worker = static_cast<int>(i),
                                  .Workload = workload.Kind};
        }
    }
    return failure;
}

void TRunEngine::Stop(int signal) {
    if (!active) {
        return;
    }
    table.StopWorkers();
    record.Signal = signal;
    if (customTicks == 0) {
        // An open-ended run ends when it is stopped: that is its result, once the blocks done
        // since the last tick are checked too.
        record.DurationText = LengthText(tickCount);
        record.Failure = CheckBlocks();
        End(record.Failure ? TRunRecord::TOutcome::Failed : TRunRecord::TOutcome::Completed);
        return;
    }
    End(TRunRecord::TOutcome::Interrupted);
}

void TRunEngine::End(TRunRecord::TOutcome outcome) {
    active = false;
    tickCount = 0;
    record.Outcome = outcome;
    for (const auto& observer : observers) {
        observer->Stopping(record);
    }
    if (record.Outcome == TRunRecord::TOutcome::Failed && outcome != record.Outcome) {
        benchmarkScore = 0; // a failed benchmark has no score
    }
    record.End = clock();
    record.EndText = DateTimeText(record.End, format);
    for (const auto& observer : observers) {
        observer->Ended(record);
    }
}
