#pragma once

#include "TCliArguments.h"
#include "TWorkerTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// What one run of the command-line program did, and its two printed forms.
struct TRunRecord {
    enum class TOutcome { Completed, Failed, Interrupted };
    static constexpr int WorkerCount = TWorkerTable::WorkerCount;

    TTestKind Test = TTestKind::Benchmark;
    QString DurationText; // stress only
    int Ticks = 0;        // the planned length
    int TicksRun = 0;     // the ticks that ended
    TOutcome Outcome = TOutcome::Completed;
    int Signal = 0;                                    // the signal that interrupted the run
    std::optional<int> FailedWorker;                   // the slot whose worker left the known path
    std::int64_t Score = 0;                            // benchmark, completed only
    std::array<std::int64_t, WorkerCount> Divisions{}; // each worker's count at the last tick
    QDateTime Start;                                   // local time the workers were started
    QDateTime End;                                     // local time the run ended
    QString EndText;                                   // End in the user's date-time format

    // The slowest worker's divisions over the fastest's, 0 when no worker has divided yet.
    double SlowestToFastest() const noexcept;
    // The report line the window would add for this run (Completed or Failed only).
    QByteArray ResultLine() const;
    // One JSON object on one line, without a line end.
    QByteArray ToJson() const;
};
