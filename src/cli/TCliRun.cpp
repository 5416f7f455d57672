#include "TCliRun.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <vector>

namespace {

using Counts = std::vector<std::int64_t>;

void WriteProgress(std::ostream& out, int tick, int ticks, int percent, const Counts& before,
                   const Counts& now, std::chrono::duration<double> elapsed) {
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
    out << "tick " << tick << '/' << ticks << "  " << percent << "%  slowest " << perSecond(slowest)
        << " div/s  fastest " << perSecond(fastest) << " div/s\n"
        << std::flush;
}

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

TRunRecord TCliRun::Run(const TSettings& settings, const Waiter& wait, std::ostream* progress) {
    TRunEngine engine(
        settings.WorkerFactory, settings.Workers, [] { return QDateTime::currentDateTime(); },
        settings.Format);
    engine.SetRunLock(settings.RunLock);
    engine.Start(settings.Test, settings.DurationIndex);
    const auto start = Clock::now();
    Counts before(static_cast<std::size_t>(settings.Workers), 0);
    auto lastTick = start;
    for (int tick = 1;; ++tick) {
        // Deadlines follow the clock from the start, so a late wake-up does not stretch the run.
        if (const int signal = wait(start + tick * settings.TickLength)) {
            engine.Stop(signal);
            break;
        }
        const auto now = Clock::now();
        const TRunEngine::TTickResult result = engine.Tick();
        const TRunRecord& record = engine.Record();
        if (progress) {
            WriteProgress(*progress, tick, record.Ticks, engine.Progress(), before,
                          record.Divisions, now - lastTick);
        }
        if (result != TRunEngine::TTickResult::Running) {
            break;
        }
        before = record.Divisions;
        lastTick = now;
    }
    return engine.Record();
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
