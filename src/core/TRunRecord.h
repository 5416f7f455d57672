#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

enum class TTestKind { Benchmark, Stress };

// What one benchmark or stress run did: the engine keeps it up to date at every tick, and both
// programs make their result lines from it.
struct TRunRecord {
    enum class TOutcome { Running, Completed, Failed, Interrupted };

    TTestKind Test = TTestKind::Benchmark;
    QString DurationText; // stress only: the duration as the duration box names it
    int Workers = 0;
    int Ticks = 0;    // the planned length (a stress run's may change while it runs)
    int TicksRun = 0; // the ticks that ended
    TOutcome Outcome = TOutcome::Running;
    int Signal = 0;                      // the signal that interrupted the run, if one did
    std::optional<int> FailedWorker;     // the slot whose worker left the known path
    std::int64_t Score = 0;              // benchmark, completed only
    std::vector<std::int64_t> Divisions; // each worker's count at the last tick
    QDateTime Start;                     // local time the workers were started
    QDateTime End;                       // local time the run ended
    QString EndText;                     // End in the user's date-time format

    // The slowest worker's divisions over the fastest's, 0 when no worker has divided yet.
    double SlowestToFastest() const noexcept;
    // The report line of a completed or failed run. A run on another number of workers than
    // the window's fifteen says so at the end, since its score is not comparable.
    QByteArray ResultLine() const;
    // One JSON object on one line, without a line end.
    QByteArray ToJson() const;
};
