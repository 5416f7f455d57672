// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWindowLock.h"

#include "DurableFile.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

TWindowLock::TWindowLock(const QString& report) : reportFile(report) {}

QString TWindowLock::Path() const {
    QString where;
    if (const DurableFile::TResult located = DurableFile::Locate(reportFile, &where); !located) {
        throw ERunLockFailed("Cannot use the window lock: " + located.Message().toStdString());
    }
    const QFileInfo file(where);
    return file.absolutePath() + QStringLiteral("/.") + file.fileName() + QStringLiteral(".lock");
}

void TWindowLock::Acquire() {
    QDir().mkpath(QFileInfo(reportFile).absolutePath());
    auto taken = std::make_unique<TRunLock>(Path());
    taken->Acquire();
    lock = std::move(taken);
}
