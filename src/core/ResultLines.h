#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The report lines a completed test adds to the log, as UTF-8.
QByteArray BenchmarkResultLine(const QString& dateTimeText, std::int64_t score);
QByteArray StressResultLine(const QString& dateTimeText, const QString& durationText);
