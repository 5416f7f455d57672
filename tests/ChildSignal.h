// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QProcess>

#include <csignal>
#include <sys/types.h>

// Sends a signal to a running child, never to a process group: a child that has ended has no
// process id (0), and kill(0, ...) would signal the test and its runner.
inline bool SignalChild(const QProcess& process, int signal) {
    const qint64 pid = process.processId();
    return pid > 0 && ::kill(static_cast<pid_t>(pid), signal) == 0;
}
