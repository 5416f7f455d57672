// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "ResultLines.h"

#include <algorithm>

QByteArray BenchmarkResultLine(const QString& dateTimeText, std::int64_t score) {
    return (dateTimeText + QStringLiteral("     Benchmark Test Score : ") + QString::number(score))
        .toUtf8();
}

QByteArray StressResultLine(const QString& dateTimeText, const QString& durationText) {
    return (dateTimeText + QStringLiteral("     Stress Test (w/ multi-thread process) : ") +
            durationText + QStringLiteral(" test completed."))
        .toUtf8();
}

QByteArray BenchmarkFailedLine(const QString& dateTimeText, const QString& reason) {
    return (dateTimeText + QStringLiteral("     Benchmark Test FAILED : ") + reason).toUtf8();
}

QByteArray StressFailedLine(const QString& dateTimeText, const QString& durationText,
                            const QString& reason) {
    return (dateTimeText + QStringLiteral("     Stress Test (w/ multi-thread process) : ") +
            durationText + QStringLiteral(" test FAILED: ") + reason + QStringLiteral("."))
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

QString LengthText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    const std::int64_t minutes = seconds / 60;
    if (minutes == 0) {
        return QStringLiteral("%1s").arg(seconds);
    }
    QString text = QStringLiteral("%1min").arg(minutes);
    if (seconds % 60 != 0) {
        text += QStringLiteral(" %1s").arg(seconds % 60);
    } else if (minutes % 60 == 0) {
        text += QStringLiteral(" (%1hrs)").arg(minutes / 60);
    }
    return text;
}
