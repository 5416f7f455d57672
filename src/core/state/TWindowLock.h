// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TRunLock.h"

#include <QString>

#include <memory>

// One window per report file: a lock held for the window's lifetime, kept in the runtime folder
// (so that it works even when the report folder cannot be used) under a name made from the
// report file's identity (TPaths::Identity), however its path is written. The kernel drops the
// lock with its process, so a lock file left behind, whatever it holds, stops nobody.
class TWindowLock {
public:
    enum class TResult { Locked, HeldByOther, Failed };

    explicit TWindowLock(const QString& reportFile);

    TResult TryLock();
    // The process holding the lock, after HeldByOther (0 when unknown).
    qint64 HolderPid() const noexcept { return holder; }
    // What went wrong, after Failed.
    const QString& Error() const noexcept { return error; }
    QString Path() const;

private:
    QString reportFile;
    std::unique_ptr<TRunLock> lock;
    qint64 holder = 0;
    QString error;
};
