// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One window per report file: a lock held for the window's lifetime, kept in the runtime folder
// (so that it works even when the report folder cannot be used) under a name made from the
// report file's path. A lock left by a process that has died is taken over.
class TWindowLock {
public:
    enum class TResult { Locked, HeldByOther, Failed };

    explicit TWindowLock(const QString& reportFile);

    TResult TryLock();
    // The process holding the lock, after HeldByOther (0 when unknown).
    qint64 HolderPid() const;
    // What went wrong, after Failed.
    const QString& Error() const noexcept { return error; }
    QString Path() const;

private:
    QString reportFile;
    std::unique_ptr<QLockFile> lock;
    QString error;
};
