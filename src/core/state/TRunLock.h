// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QString>

#include <stdexcept>

// Another process holds the run lock. The message names it: "Another test is running
// (process <pid>)."
class ERunLocked : public std::runtime_error {
public:
    explicit ERunLocked(long long pid);
    long long Pid() const noexcept { return pid; }

private:
    long long pid;
};

// The run lock cannot be taken: its folder or file cannot be used (not this user's, a link, a
// folder that takes no file). Not a refusal by another run, and not a failure of the workers.
class ERunLockFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One test at a time per user, across processes: an advisory lock of the open file
// (F_OFD_SETLK) on a file in the lock folder, held from a run's first worker to its end. The holder
// writes its process id into the file so that a refused start can name it. The kernel drops the
// lock with the process, however it ends.
class TRunLock {
public:
    // TPaths::LockFolder()/run.lock.
    static QString DefaultPath();

    // An empty path stands for DefaultPath(), worked out when the lock is first taken.
    explicit TRunLock(QString path = QString());
    ~TRunLock();
    TRunLock(const TRunLock&) = delete;
    TRunLock& operator=(const TRunLock&) = delete;

    // Takes the lock, or throws ERunLocked when another holds it, or ERunLockFailed when the
    // lock file cannot be opened or is not this user's. Taking a lock already held here does
    // nothing.
    void Acquire();
    void Release() noexcept;
    bool Held() const noexcept { return descriptor >= 0; }

private:
    QString path;
    int descriptor = -1;
};
