// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWindowLock.h"

#include "TPaths.h"

#include <QCryptographicHash>
#include <QFile>

#include <exception>

TWindowLock::TWindowLock(const QString& report) : reportFile(report) {}

QString TWindowLock::Path() const {
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(reportFile), QCryptographicHash::Sha256)
            .toHex()
            .left(32);
    return TPaths::RuntimeFolder() +
           QStringLiteral("/window-%1.lock").arg(QString::fromLatin1(hash));
}

TWindowLock::TResult TWindowLock::TryLock() {
    try {
        lock = std::make_unique<QLockFile>(Path());
    } catch (const std::exception& failure) {
        error = QString::fromUtf8(failure.what());
        return TResult::Failed;
    }
    // Held for as long as the window is open, however long: never stale by age, only when its
    // process is gone.
    lock->setStaleLockTime(0);
    if (lock->tryLock()) {
        return TResult::Locked;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        return TResult::HeldByOther;
    }
    error = QStringLiteral("Cannot create file %1").arg(lock->fileName());
    return TResult::Failed;
}

qint64 TWindowLock::HolderPid() const {
    qint64 pid = 0;
    if (lock) {
        lock->getLockInfo(&pid, nullptr, nullptr);
    }
    return pid;
}
