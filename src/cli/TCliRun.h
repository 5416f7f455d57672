#pragma once

#include "TFormatSettings.h"
#include "TRunRecord.h"
#include "TWorkerTable.h"

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>

// One benchmark or stress run without a window: starts the fifteen workers, checks them against
// the known answer at every tick, and ends after the planned ticks, at the first computation
// error, or when a stop signal arrives.
class TCliRun {
public:
    using Clock = std::chrono::steady_clock;
    // Waits until the deadline; returns the number of a signal that ended the wait early, or 0.
    using Waiter = std::function<int(Clock::time_point)>;

    struct TSettings {
        TTestKind Test = TTestKind::Benchmark;
        QString DurationText; // stress only
        int Ticks = TCliArguments::BenchmarkTicks;
        std::chrono::milliseconds TickLength{1000};
        // A start value per worker in place of the usual one, for tests.
        std::optional<TWorkerTable::StartValues> StartValues;
        TFormatSettings Format;
    };

    // Runs to the end. Progress lines (one per tick) go to `progress` when it is given.
    static TRunRecord Run(const TSettings& settings, const Waiter& wait, std::ostream* progress);

    // Blocks SIGINT and SIGTERM in the calling thread, and so in every thread started from it
    // afterwards; WaitForStopSignal then takes them as they come. Call before any thread starts.
    static void BlockStopSignals();
    // A Waiter for the program: sleeps until the deadline unless SIGINT or SIGTERM arrives.
    static int WaitForStopSignal(Clock::time_point deadline);
};
