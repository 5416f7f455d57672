// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TSensors.h"
#include "TSystemRecord.h"

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

    // Kept only when the engine was given the machine to read (morvel-cli; not the window).
    std::optional<TSystemRecord> System;   // read at the start
    std::optional<TSensorSummary> Sensors; // the readings so far, the start's included
    TSensorSample LastSensors;             // the reading of the last tick

    // The last tick: seconds since the start, and the slowest and fastest worker's divisions
    // per second since the tick before.
    double Seconds = 0;
    std::int64_t SlowestRate = 0;
    std::int64_t FastestRate = 0;

    // The slowest worker's divisions over the fastest's, 0 when no worker has divided yet.
    double SlowestToFastest() const noexcept;
    // The report line of a completed or failed run. A run on another number of workers than
    // the window's fifteen says so at the end, since its score is not comparable.
    QByteArray ResultLine() const;
    // One JSON object on one line, without a line end.
    QByteArray ToJson() const;

    // The live record's lines, one JSON object each without a line end: the first line of a run
    // (the system record, the test and its start), and one line per tick.
    QByteArray HeaderJson() const;
    QByteArray TickJson() const;

    // A completed or failed run's metrics in the Prometheus text exposition format, for the node
    // exporter's textfile collector (which adds the host's labels).
    QByteArray ToPrometheus() const;
};
