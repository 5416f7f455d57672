#include "TCliRun.h"

#include "TVerifier.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace {

constexpr int WorkerCount = TWorkerTable::WorkerCount;
using Counts = std::array<std::int64_t, WorkerCount>;

Counts ReadCounts(const TWorkerTable& table) {
    Counts counts{};
    for (int slot = 0; slot < WorkerCount; ++slot) {
        counts[static_cast<std::size_t>(slot)] = table[slot]->DivisionCount();
    }
    return counts;
}

void WriteProgress(std::ostream& out, int tick, int ticks, const Counts& before, const Counts& now,
                   std::chrono::duration<double> elapsed) {
    std::int64_t slowest = now[0] - before[0];
    std::int64_t fastest = slowest;
    for (std::size_t i = 1; i < now.size(); ++i) {
        slowest = std::min(slowest, now[i] - before[i]);
        fastest = std::max(fastest, now[i] - before[i]);
    }
    const double seconds = std::max(elapsed.count(), 1e-9);
    const auto perSecond = [seconds](std::int64_t divisions) {
        return static_cast<std::int64_t>(static_cast<double>(divisions) / seconds);
    };
    const int percent = static_cast<int>(static_cast<std::int64_t>(tick) * 100 / ticks);
    out << "tick " << tick << '/' << ticks << "  " << percent << "%  slowest " << perSecond(slowest)
        << " div/s  fastest " << perSecond(fastest) << " div/s\n"
        << std::flush;
}

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

TRunRecord TCliRun::Run(const TSettings& settings, const Waiter& wait, std::ostream* progress) {
    TRunRecord record;
    record.Test = settings.Test;
    record.DurationText = settings.DurationText;
    record.Ticks = settings.Ticks;

    TWorkerTable table;
    TVerifier verifier;
    verifier.Reset();
    record.Start = QDateTime::currentDateTime();
    const auto start = Clock::now();
    if (settings.StartValues) {
        table.StartWorkers(*settings.StartValues);
    } else {
        table.StartWorkers();
    }

    Counts before{};
    auto lastTick = start;
    for (int tick = 1; tick <= settings.Ticks; ++tick) {
        // Deadlines follow the clock from the start, so a late wake-up does not stretch the run.
        if (const int signal = wait(start + tick * settings.TickLength)) {
            table.StopWorkers();
            record.Outcome = TRunRecord::TOutcome::Interrupted;
            record.Signal = signal;
            record.End = QDateTime::currentDateTime();
            return record;
        }
        const auto now = Clock::now();
        const std::optional<int> failed = verifier.Check(table);
        const Counts counts = ReadCounts(table);
        record.TicksRun = tick;
        record.Divisions = counts;
        if (progress) {
            WriteProgress(*progress, tick, settings.Ticks, before, counts, now - lastTick);
        }
        before = counts;
        lastTick = now;
        if (failed) {
            table.StopWorkers();
            record.Outcome = TRunRecord::TOutcome::Failed;
            record.FailedWorker = failed;
            break;
        }
    }
    if (record.Outcome == TRunRecord::TOutcome::Completed) {
        if (settings.Test == TTestKind::Benchmark) {
            record.Score = table.LowestScore();
        } else {
            table.StopWorkers();
        }
    }
    record.End = QDateTime::currentDateTime();
    record.EndText = DateTimeText(record.End, settings.Format);
    return record;
}

void TCliRun::BlockStopSignals() {
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int TCliRun::WaitForStopSignal(Clock::time_point deadline) {
    const sigset_t set = StopSignals();
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return 0;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
        timeout.tv_nsec = static_cast<long>(ns % 1000000000);
        const int signal = sigtimedwait(&set, nullptr, &timeout);
        if (signal > 0) {
            return signal;
        }
        // EAGAIN: the time is up (checked above on the next turn); EINTR: another signal.
    }
}
