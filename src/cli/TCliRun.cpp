// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TCliRun.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace {

// One line per tick: the progress, the slowest and fastest worker's rate, and the processor
// frequency and temperature when the machine shows them.
void WriteProgress(std::ostream& out, int tick, int percent, const TRunRecord& record) {
    out << "tick " << tick;
    if (record.Ticks > 0) {
        out << '/' << record.Ticks << "  " << percent << '%';
    }
    out << "  slowest " << record.SlowestRate << " div/s  fastest " << record.FastestRate
        << " div/s";
    if (const auto mhz = record.LastSensors.MeanMHz) {
        out << "  " << std::llround(*mhz) << " MHz";
    }
    if (const auto celsius = record.LastSensors.TemperatureC) {
        out << "  " << std::llround(*celsius) << " C";
    }
    out << '\n' << std::flush;
}

// A stop signal ignored when the program started (nohup) stays ignored: it is neither blocked
// nor waited for.
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_IGN) {
            sigaddset(&set, signal);
        }
    }
    return set;
}

} // namespace

TRunRecord TCliRun::Run(const TSettings& settings, const Waiter& wait, std::ostream* progress,
                        TRecordFile* recordFile) {
    TRunEngine engine(
        settings.WorkerFactory, settings.Workers, [] { return QDateTime::currentDateTime(); },
        settings.Format);
    engine.SetRunLock(settings.RunLock);
    engine.SetMachine(settings.Machine);
    engine.SetWorkersPinned(settings.Pinned);
    if (settings.Checker) {
        engine.SetBlockChecker(settings.Checker, settings.FirstSource);
    }
    if (settings.Test == TTestKind::Stress && settings.CustomTicks) {
        engine.StartStress(*settings.CustomTicks, settings.CustomText);
    } else {
        engine.Start(settings.Test, settings.DurationIndex);
    }
    const auto start = Clock::now();
    const auto append = [recordFile](const QByteArray& line) {
        if (recordFile && recordFile->IsOpen()) {
            recordFile->Append(line);
        }
    };
    append(engine.Record().HeaderJson());
    for (int tick = 1;; ++tick) {
        // Deadlines follow the clock from the start, so a late wake-up does not stretch the run.
        if (const int signal = wait(start + tick * settings.TickLength)) {
            engine.Stop(signal);
            break;
        }
        const TRunEngine::TTickResult result = engine.Tick();
        const TRunRecord& record = engine.Record();
        append(record.TickJson());
        if (progress) {
            WriteProgress(*progress, tick, engine.Progress(), record);
        }
        if (result != TRunEngine::TTickResult::Running) {
            append(record.ToJson());
            break;
        }
    }
    if (recordFile) {
        recordFile->Close();
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
