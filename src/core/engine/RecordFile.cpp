// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "RecordFile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <utility>

namespace {

// A number, or none for null, a missing key or what is not a finite number.
std::optional<double> Number(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        return std::nullopt;
    }
    return value.toDouble();
}

std::int64_t Count(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toInteger();
}

// The keys of a tick's sensor figures and of a result's verification counts.
constexpr std::pair<const char*, std::optional<double> TSensorSample::*> SensorKeys[] = {
    {"frequencyMHz", &TSensorSample::MeanMHz},
    {"frequencyMaxMHz", &TSensorSample::MaxMHz},
    {"temperatureC", &TSensorSample::TemperatureC},
    {"powerW", &TSensorSample::PackageWatts}};
constexpr std::pair<const char*, std::int64_t TCheckSummary::*> CheckKeys[] = {
    {"blocks", &TCheckSummary::Blocks},
    {"blocksChecked", &TCheckSummary::Checked},
    {"blocksComputed", &TCheckSummary::Computed},
    {"blocksMissed", &TCheckSummary::Missed}};

} // namespace

QString ReadRecordFile(QIODevice& device, const std::function<void(const TRecordLine&)>& line) {
    for (int number = 1; !device.atEnd(); ++number) {
        const QByteArray text = device.readLine(MaxRecordLine + 2);
        if (text.isEmpty()) {
            return QStringLiteral("line %1 cannot be read: %2")
                .arg(number)
                .arg(device.errorString());
        }
        if (text.size() > MaxRecordLine) {
            return QStringLiteral("line %1 is longer than a record's line").arg(number);
        }
        if (text.trimmed().isEmpty()) {
            continue;
        }
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(text, &error);
        if (!document.isObject()) {
            return QStringLiteral("line %1 is not a JSON object").arg(number);
        }
        const QJsonObject object = document.object();
        TRecordLine read;
        TRunRecord& record = read.Record;
        if (object.contains(QLatin1String("tick"))) {
            read.Kind = TRecordLine::TKind::Tick;
            record.TicksRun = static_cast<int>(Count(object, "tick"));
            record.Seconds = Number(object, "seconds").value_or(0);
            record.SlowestRate = Count(object, "slowestRate");
            record.FastestRate = Count(object, "fastestRate");
            for (const auto& [key, member] : SensorKeys) {
                record.LastSensors.*member = Number(object, key);
            }
        } else if (object.contains(QLatin1String("completed"))) {
            read.Kind = TRecordLine::TKind::Result;
            const QJsonObject check = object.value(QLatin1String("verification")).toObject();
            for (const auto& [key, member] : CheckKeys) {
                record.Check.*member = Count(check, key);
            }
        } else if (object.contains(QLatin1String("system"))) {
            read.Kind = TRecordLine::TKind::Start;
        } else {
            continue;
        }
        line(read);
    }
    return {};
}
