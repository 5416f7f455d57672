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
