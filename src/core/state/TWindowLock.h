// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TRunLock.h"

#include <QString>

#include <memory>

// One window per report file: a lock held for the window's lifetime on a lock file beside the
// report file, in the folder the file is really in (the user's own links followed), so that
// every path to the file, whatever the session's folders say, meets the one lock: a linked file,
// a linked or bind-mounted folder. The report's folder is made when missing. The kernel drops
// the lock with its process, so a lock file left behind, whatever it holds, stops nobody.
class TWindowLock {
public:
    explicit TWindowLock(const QString& reportFile);

    // Takes the lock. Throws ERunLocked (with the holder's process, 0 when unknown) when another
    // window holds it, or the system's error when it cannot be taken; nothing is held then.
    void Acquire();
    // .<name>.lock beside the report file. Throws ERunLockFailed when the place is refused.
    QString Path() const;

private:
    QString reportFile;
    std::unique_ptr<TRunLock> lock;
};
