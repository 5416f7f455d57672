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
    explicit TWindowLock(const QString& reportFile);

    // Takes the lock. Throws ERunLocked (with the holder's process, 0 when unknown) when another
    // window holds it, or the system's error when it cannot be taken; nothing is held then.
    void Acquire();
    QString Path() const;

private:
    QString reportFile;
    std::unique_ptr<TRunLock> lock;
};
