// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TCycleRun.h"
#include "TRunRecord.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// morvel-cli's JSON: the result of a run or a cycle (--json), the live record's lines (--record)
// and the object of a run that did not start. Each is one object on one line, without a line
// end.
namespace JsonReport {

// The version of every object, as "schema". Raised whenever a field changes meaning or goes
// away (not when one is added).
inline constexpr int SchemaVersion = 2;

// A value, or null when there is none.
template <typename T> QJsonValue Json(const std::optional<T>& value) {
    if (!value) {
        return QJsonValue(QJsonValue::Null);
    }
    if constexpr (std::is_same_v<T, std::int64_t>) {
        return QJsonValue(qint64(*value));
    } else {
        return QJsonValue(*value);
    }
}
// A checksum as 16 hexadecimal digits: JSON numbers do not keep 64 bits.
QString Hex(std::uint64_t value);
// How a failure is named in the JSON and the metrics: "mismatch", "off-path", "stalled" or
// "hardware".
const char* FailureKindName(TRunFailure::TKind kind);

// A completed, failed or interrupted run.
QByteArray Result(const TRunRecord& record);
// A cycle, every turn run or stopped by a signal.
QByteArray Cycle(const TCycleRun::TResult& result);
// A run that did not start, planned as `record` says: the test, its length and workers,
// "completed": false and `why` ("refused" or "startFailed") with `message`.
QByteArray NotStarted(const TRunRecord& record, TRunRecord::TNotStarted why,
                      const QString& message);
// The common part of such an object for any test name (a cycle's too).
QJsonObject NotStartedObject(const QString& test, TRunRecord::TNotStarted why,
                             const QString& message);
// The live record: the first line of a run (the system record, the test and its start), and
// one line per tick with the warnings from the `firstWarning`th on (those new since the line
// before).
QByteArray Header(const TRunRecord& record);
QByteArray Tick(const TRunRecord& record, std::size_t firstWarning = 0);

// An object on one line.
QByteArray Compact(const QJsonObject& object);
// The warnings from the `first`th on, each {kind, cpu, at, text}: at in seconds since the start
// of the run (or cycle), cpu null when the warning is about none.
QJsonArray Warnings(const std::vector<TWarning>& warnings, std::size_t first = 0);

// The machine and the sensors' summary, as the result and the header carry them.
QJsonObject System(const TSystemRecord& system);
QJsonObject Sensors(const TSensorSummary& sensors);
// What the hardware's error counters counted: machineChecks, correctedErrors,
// uncorrectedErrors and thermalEvents, each null where the machine has no such counter.
QJsonObject HardwareErrors(const THardwareErrorCounts& counts);

} // namespace JsonReport
