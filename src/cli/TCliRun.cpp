// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TCliRun.h"

#include "ResultWriter.h"
#include "RunObservers.h"
#include "StopSignals.h"
#include "TTickLoop.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <sstream>

namespace {

// A number of seconds as a clock shows it: 0:12:05.
std::string ClockText(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

// Moves to the start of the terminal's line and clears it.
constexpr const char* RewriteLine = "\r\033[K";

} // namespace

TRunRecord TCliRun::Run(const TSettings& settings, const Waiter& wait, std::ostream* progress,
                        TResultWriter* writer) {
    TRunEngine engine(
        settings.WorkerFactory, settings.Workers, [] { return QDateTime::currentDateTime(); },
        settings.Format);
    if (settings.RunLock) {
        engine.Observe(std::make_shared<TLockObserver>(settings.RunLock));
    }
    if (settings.Machine) {
        engine.Observe(std::make_shared<TMachineObserver>(*settings.Machine));
    }
    if (settings.SleepInhibitor) {
        engine.Observe(std::make_shared<TInhibitorObserver>(settings.SleepInhibitor));
    }
    engine.SetWorkersPinned(settings.Pinned);
    engine.SetWorkload(settings.Workload);
    if (settings.Checker) {
        engine.SetBlockChecker(settings.Checker, settings.FirstSource);
    }
    engine.SetTickLength(settings.TickLength);
    if (settings.SteadyClock) {
        engine.SetSteadyClock(settings.SteadyClock);
    }
    if (settings.Test == TTestKind::Stress && settings.CustomTicks) {
        engine.StartStress(*settings.CustomTicks, settings.CustomText);
    } else {
        engine.Start(settings.Test, settings.DurationIndex);
    }
    if (writer) {
        writer->Started(engine.Record());
    }
    std::size_t warned = 0;
    TTickLoop loop(engine);
    const TTickLoop::THooks hooks{
        nullptr, [&](TTickLoop::TResult) {
            const TRunRecord& record = engine.Record();
            if (writer) {
                writer->Ticked(record);
            }
            for (; settings.Warned && warned < record.Warnings.size(); ++warned) {
                if (progress) {
                    *progress << RewriteLine << std::flush;
                }
                settings.Warned(record.Warnings[warned]);
            }
            if (progress) {
                *progress << RewriteLine << StatusLine(record) << std::flush;
            }
        }};
    while (engine.Active()) {
        if (const int signal = wait(loop.Deadline())) {
            engine.Stop(signal);
            break;
        }
        loop.Wake(hooks);
    }
    if (progress) {
        *progress << '\n' << std::flush;
    }
    return engine.Record();
}

TRunRecord TCliRun::Planned(const TSettings& settings) {
    TRunRecord planned =
        settings.Test == TTestKind::Stress && settings.CustomTicks
            ? TRunEngine::PlannedRecord(TTestKind::Stress, settings.Workers, 0,
                                        settings.CustomTicks, settings.CustomText)
            : TRunEngine::PlannedRecord(settings.Test, settings.Workers, settings.DurationIndex);
    planned.Workload = settings.Workload;
    return planned;
}

std::string TCliRun::WarningLine(const TWarning& warning) {
    return "warning: " + warning.Text.toStdString();
}

std::string TCliRun::StatusLine(const TRunRecord& record) {
    const std::int64_t msPerTick = TTestPlan::TickInterval.count();
    const std::int64_t elapsed = std::int64_t{record.TicksRun} * msPerTick / 1000;
    std::ostringstream out;
    out << "elapsed " << ClockText(elapsed) << "  remaining ";
    if (record.Ticks > 0) {
        const std::int64_t planned = std::int64_t{record.Ticks} * msPerTick / 1000;
        out << ClockText(std::max<std::int64_t>(planned - elapsed, 0));
    } else {
        out << "open-ended";
    }
    out << "  slowest " << record.SlowestRate << ' ' << record.Workload.Kind->RateUnit;
    if (const auto mhz = record.LastSensors.MeanMHz) {
        out << "  " << std::llround(*mhz) << " MHz";
    }
    if (const auto celsius = record.LastSensors.TemperatureC) {
        out << "  " << std::llround(*celsius) << " C";
    }
    if (const auto watts = record.LastSensors.PackageWatts) {
        out << "  " << std::llround(*watts) << " W";
    }
    return out.str();
}

int TCliRun::WaitForStopSignal(Clock::time_point deadline) {
    const sigset_t set = StopSignals::Set();
    for (;;) {
        // A deadline already passed (ticks catching up) still takes a pending signal.
        const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
        timeout.tv_nsec = static_cast<long>(ns % 1000000000);
        const int signal = sigtimedwait(&set, nullptr, &timeout);
        if (signal > 0) {
            return signal;
        }
        // EAGAIN: the time is up; EINTR: another signal, so wait on.
        if (errno == EAGAIN && Clock::now() >= deadline) {
            return 0;
        }
    }
}
