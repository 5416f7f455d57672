// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWindowLock.h"

#include "TPaths.h"

#include <exception>

TWindowLock::TWindowLock(const QString& report) : reportFile(report) {}

QString TWindowLock::Path() const {
    return TPaths::RuntimeFolder() +
           QStringLiteral("/window-%1.lock").arg(TPaths::IdentityKey(reportFile));
}

TWindowLock::TResult TWindowLock::TryLock() {
    try {
        lock = std::make_unique<TRunLock>(Path());
        lock->Acquire();
        return TResult::Locked;
    } catch (const ERunLocked& held) {
        holder = held.Pid();
        lock.reset();
        return TResult::HeldByOther;
    } catch (const std::exception& failure) {
        error = QString::fromUtf8(failure.what());
        lock.reset();
        return TResult::Failed;
    }
}
