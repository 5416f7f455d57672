// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <sys/types.h>

// Sends a signal to a running child, never to a process group: a child that has ended has no
// process id (0), and kill(0, ...) would signal the test and its runner.
inline bool SignalChild(const QProcess& process, int signal) {
    const qint64 pid = process.processId();
    return pid > 0 && ::kill(static_cast<pid_t>(pid), signal) == 0;
}

// One of a process's signal sets in each of its threads, as /proc/<pid>/task/<tid>/status
// shows them: "SigBlk" (blocked), "SigIgn" (ignored) or "SigCgt" (caught). A thread shows every
// signal blocked for a moment while it starts another, and a thread waiting for signals shows
// them unblocked while it waits.
inline QList<qulonglong> SignalMasks(qint64 pid, const QByteArray& set) {
    QList<qulonglong> masks;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks + QLatin1Char('/') + task + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly)) {
            continue;
        }
        for (const QByteArray& line : status.readAll().split('\n')) {
            bool ok = false;
            const qulonglong mask = line.mid(set.size() + 1).trimmed().toULongLong(&ok, 16);
            if (line.startsWith(set + ':') && ok) {
                masks.append(mask);
            }
        }
    }
    return masks;
}

inline bool InMask(qulonglong mask, int signal) {
    return (mask >> (signal - 1) & 1) != 0;
}

// Whether a signal is in a process's set in any of its threads.
inline bool InSignalSet(qint64 pid, const QByteArray& set, int signal) {
    const QList<qulonglong> masks = SignalMasks(pid, set);
    return std::any_of(masks.begin(), masks.end(),
                       [signal](qulonglong mask) { return InMask(mask, signal); });
}

// The name of a process's program, as /proc/<pid>/comm shows it.
inline QByteArray ProgramOf(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray();
}

// Children start with the stop signals at their defaults, whatever this test inherited: a shell
// without job control ignores SIGINT in what it starts in the background, and a program keeps a
// stop signal it was started ignoring (as nohup asks).
inline const bool StopSignalsAtDefault = [] {
    for (const int stop : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        std::signal(stop, SIG_DFL);
    }
    return true;
}();
