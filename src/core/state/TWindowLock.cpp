// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWindowLock.h"

#include "TPaths.h"

#include <utility>

TWindowLock::TWindowLock(const QString& report) : reportFile(report) {}

QString TWindowLock::Path() const {
    return TPaths::RuntimeFolder() +
           QStringLiteral("/window-%1.lock").arg(TPaths::IdentityKey(reportFile));
}

void TWindowLock::Acquire() {
    auto taken = std::make_unique<TRunLock>(Path());
    taken->Acquire();
    lock = std::move(taken);
}
