// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TFormatSettings.h"
#include "TRunRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// Evidence of a run cut short. While a run is active its journal says what it is and how far it
// got; it is removed whenever the run is seen to end. A journal found at start-up means the
// machine or the program died during that run.
class TRunJournal {
public:
    struct TEntry {
        TTestKind Test = TTestKind::Benchmark;
        QString DurationText; // stress only
        QDateTime Start;
        int Ticks = 0;     // ticks done
        QDateTime Updated; // when the entry was written
    };

    // StateFolder()/run.journal.
    static QString DefaultPath();

    explicit TRunJournal(QString path = DefaultPath());

    const QString& Path() const noexcept { return path; }
    // Replaces the journal in one step and flushes it to disk. False when it cannot.
    bool Write(const TEntry& entry) noexcept;
    // Nothing when there is no journal, or when it is not one.
    std::optional<TEntry> Read() const;
    void Remove() noexcept;

    // The report line for a run its journal outlived, dated at the journal's last update:
    //   <date-time>     Benchmark Test INTERRUPTED after <ticks> s
    //   <date-time>     Stress Test (w/ multi-thread process) : <duration> test INTERRUPTED
    //   after <minutes> min.
    static QByteArray InterruptedLine(const TEntry& entry, const TFormatSettings& format);

private:
    QString path;
};
