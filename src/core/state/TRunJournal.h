// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TFormatSettings.h"
#include "TTestKind.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// Evidence of a run, kept beside one report file. While a run is active its journal says what it
// is and how far it got; once it has ended with a result, the journal holds that result's line
// until the line is on disk in the report file. A journal found at start-up means the machine or
// the program died before that: its line (the result, else an INTERRUPTED line) goes into the
// report.
//
// The process whose runs write the journal holds a lock on it (an advisory lock on <path>.lock,
// dropped by the kernel with the process): a journal is another live process's as long as the
// lock is held. A journal left by a dead process is never overwritten: the first write of a new
// run moves it to <path>.<n> first, where it waits to be recorded.
class TRunJournal {
public:
    struct TEntry {
        TTestKind Test = TTestKind::Benchmark;
        QString DurationText; // stress only
        QDateTime Start;
        int Ticks = 0;     // ticks done
        QDateTime Updated; // when the entry was written
        QByteArray Result; // the run's result line, once it has ended with one
    };

    // What a journal file holds.
    struct TContents {
        enum class TState { Missing, Valid, Bad } State = TState::Missing;
        TEntry Entry;    // when Valid
        QString Problem; // when Bad: what is wrong with it
    };

    // StateFolder()/run-<IdentityKey(reportFile)>.journal: the journal of that report file's runs.
    static QString PathFor(const QString& reportFile);

    explicit TRunJournal(QString path);
    ~TRunJournal();
    TRunJournal(const TRunJournal&) = delete;
    TRunJournal& operator=(const TRunJournal&) = delete;

    const QString& Path() const noexcept { return path; }
    // Takes the journal's lock for this object's lifetime. False when another live process holds
    // it. A lock that cannot be made (a folder that takes no file) is held by nobody: true.
    bool Lock() noexcept;
    // True when this object has written the file at Path() since it took the lock.
    bool Owned() const noexcept { return owned; }
    // Replaces the journal in one step and flushes it to disk, after taking the lock and moving a
    // journal left by a dead process out of the way. False when it cannot.
    bool Write(const TEntry& entry) noexcept;
    // The entry at Path(); nothing when there is none or it is not valid.
    std::optional<TEntry> Read() const;
    // Removes the file at Path(). False, with `error` set when given, when it cannot.
    bool Remove(QString* error = nullptr) noexcept;

    // The journals waiting to be recorded: Path() and the journals moved to <path>.<n>, oldest
    // first.
    QStringList Waiting() const;

    // Reads and checks one journal file: a regular file of at most 4 KiB, every line
    // "key=value" with a known key given once, no control character anywhere; the test known,
    // the duration one the program offers (or a length of its own form), the ticks within it,
    // the times valid.
    static TContents Examine(const QString& file);
    // Moves a file that is not a journal to <file>.bad (or .bad.2, ...), untouched. The new name,
    // or nothing with `error` set.
    static QString SetAside(const QString& file, QString* error);
    // Removes one journal file. False with `error` set when given when it cannot.
    static bool RemoveFile(const QString& file, QString* error = nullptr) noexcept;

    // The report line for a run its journal outlived: its result line when it had one, else the
    // line of the interruption, dated at the journal's last update:
    //   <date-time>     Benchmark Test INTERRUPTED after <ticks> s
    //   <date-time>     Stress Test (w/ multi-thread process) : <duration> test INTERRUPTED
    //   after <minutes> min.
    static QByteArray Line(const TEntry& entry, const TFormatSettings& format);
    static QByteArray InterruptedLine(const TEntry& entry, const TFormatSettings& format);

private:
    bool MoveLeftoverAside() noexcept;
    // Removes the temporary files a killed write left beside the journal.
    void RemoveLeftovers() const;

    QString path;
    int lockDescriptor = -1;
    bool locked = false;
    bool owned = false;
};
