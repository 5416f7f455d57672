// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "ResultLines.h"

QByteArray BenchmarkResultLine(const QString& dateTimeText, std::int64_t score) {
    return (dateTimeText + QStringLiteral("     Benchmark Test Score : ") + QString::number(score))
        .toUtf8();
}

QByteArray StressResultLine(const QString& dateTimeText, const QString& durationText) {
    return (dateTimeText + QStringLiteral("     Stress Test (w/ multi-thread process) : ") +
            durationText + QStringLiteral(" test completed."))
        .toUtf8();
}

QByteArray BenchmarkFailedLine(const QString& dateTimeText, int worker) {
    return (dateTimeText +
            QStringLiteral("     Benchmark Test FAILED : computation error in worker ") +
            QString::number(worker))
        .toUtf8();
}

QByteArray StressFailedLine(const QString& dateTimeText, const QString& durationText, int worker) {
    return (dateTimeText + QStringLiteral("     Stress Test (w/ multi-thread process) : ") +
            durationText + QStringLiteral(" test FAILED: computation error in worker ") +
            QString::number(worker) + QStringLiteral("."))
        .toUtf8();
}

QByteArray BenchmarkInterruptedLine(const QString& dateTimeText, int ticks) {
    return (dateTimeText + QStringLiteral("     Benchmark Test INTERRUPTED after ") +
            QString::number(ticks) + QStringLiteral(" s"))
        .toUtf8();
}

QByteArray StressInterruptedLine(const QString& dateTimeText, const QString& durationText,
                                 int minutes) {
    return (dateTimeText + QStringLiteral("     Stress Test (w/ multi-thread process) : ") +
            durationText + QStringLiteral(" test INTERRUPTED after ") + QString::number(minutes) +
            QStringLiteral(" min."))
        .toUtf8();
}
