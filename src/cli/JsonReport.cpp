// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "JsonReport.h"

#include "ResultLines.h"
#include "TFormatSettings.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace JsonReport {

namespace {

// Figures rounded for people and plots: a thousandth of a second, a tenth of a MHz or degree.
std::optional<double> Rounded(const std::optional<double>& value, double perUnit) {
    if (!value) {
        return std::nullopt;
    }
    return std::round(*value * perUnit) / perUnit;
}

// A text, or null when it is empty.
QJsonValue TextJson(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// What failed and where; numbers a user sees count workers from 1.
QJsonObject FailureJson(const TRunFailure& failure) {
    QJsonObject object;
    object.insert("kind", FailureKindName(failure.Kind));
    object.insert("worker",
                  failure.Worker ? QJsonValue(*failure.Worker + 1) : QJsonValue(QJsonValue::Null));
    object.insert("cpu", Json(failure.Cpu));
    object.insert("block", failure.Block ? QJsonValue(qint64(*failure.Block))
                                         : QJsonValue(QJsonValue::Null));
    const auto divisors = failure.BlockRange();
    object.insert("divisorFirst",
                  divisors ? QJsonValue(qint64(divisors->first)) : QJsonValue(QJsonValue::Null));
    object.insert("divisorLast",
                  divisors ? QJsonValue(qint64(divisors->second)) : QJsonValue(QJsonValue::Null));
    object.insert("expected", failure.Expected ? QJsonValue(Hex(*failure.Expected))
                                               : QJsonValue(QJsonValue::Null));
    object.insert("found",
                  failure.Found ? QJsonValue(Hex(*failure.Found)) : QJsonValue(QJsonValue::Null));
    if (failure.Hardware) {
        object.insert("counter", failure.Hardware->Name);
    }
    if (failure.Word) {
        object.insert("address", Hex(failure.Word->Address));
        object.insert("offset", qint64(failure.Word->Offset));
        object.insert("bits", Hex(failure.Word->Bits));
    }
    return object;
}

QString TestName(TTestKind test) {
    return QString::fromLatin1(TestKindName(test));
}

// A stress run's length as it is named; none for a benchmark or an open-ended run that has not
// ended.
QJsonValue DurationJson(const TRunRecord& record) {
    return record.Test == TTestKind::Benchmark || record.DurationText.isEmpty()
               ? QJsonValue(QJsonValue::Null)
               : QJsonValue(record.DurationText);
}

// What every line of a run's record starts with: the run as it was planned.
QJsonObject PlanJson(const TRunRecord& record) {
    return {{"schema", SchemaVersion},          {"test", TestName(record.Test)},
            {"duration", DurationJson(record)}, {"durationSeconds", Json(record.DurationSeconds())},
            {"workers", record.Workers},        {"ticks", record.Ticks}};
}

const char* NotStartedKey(TRunRecord::TNotStarted why) {
    return why == TRunRecord::TNotStarted::Refused ? "refused" : "startFailed";
}

QJsonArray Divisions(const TRunRecord& record) {
    QJsonArray divisions;
    for (const std::int64_t count : record.Steps) {
        divisions.append(qint64(count));
    }
    return divisions;
}

// The workload: its name, the instruction set every worker used (fma and mix; the checksums of
// one compare only with its own) and each worker's buffer (memory and mix).
void AddWorkload(QJsonObject& object, const TWorkload& workload) {
    object.insert("workload", workload.Name());
    object.insert("isa", workload.UsesFma() ? QJsonValue(TFmaKernel::Name(workload.Isa))
                                            : QJsonValue(QJsonValue::Null));
    object.insert("memoryBytesPerWorker", workload.UsesMemory()
                                              ? QJsonValue(qint64(workload.MemoryBytesPerWorker()))
                                              : QJsonValue(QJsonValue::Null));
}

} // namespace

QByteArray Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonArray Warnings(const std::vector<TWarning>& warnings, std::size_t first) {
    QJsonArray list;
    for (std::size_t i = first; i < warnings.size(); ++i) {
        const TWarning& warning = warnings[i];
        list.append(QJsonObject{{"kind", TWarning::Name(warning.Kind)},
                                {"cpu", Json(warning.Cpu)},
                                {"at", *Rounded(warning.At, 1000)},
                                {"text", warning.Text}});
    }
    return list;
}

// A checksum as 16 hexadecimal digits: JSON numbers do not keep 64 bits.
QString Hex(std::uint64_t value) {
    return QStringLiteral("%1").arg(value, 16, 16, QLatin1Char('0'));
}

const char* FailureKindName(TRunFailure::TKind kind) {
    switch (kind) {
    case TRunFailure::TKind::Mismatch:
        return "mismatch";
    case TRunFailure::TKind::OffPath:
        return "off-path";
    case TRunFailure::TKind::Hardware:
        return "hardware";
    case TRunFailure::TKind::Stalled:
        break;
    }
    return "stalled";
}

QByteArray Result(const TRunRecord& record) {
    const bool benchmark = record.Test == TTestKind::Benchmark;
    const bool failed = record.Outcome == TRunRecord::TOutcome::Failed;
    const bool interrupted = record.Outcome == TRunRecord::TOutcome::Interrupted;
    QJsonObject object = PlanJson(record);
    AddWorkload(object, record.Workload);
    object.insert("ticksRun", record.TicksRun);
    object.insert("pausedSeconds", *Rounded(record.PausedSeconds, 1000));
    object.insert("lateSeconds", *Rounded(record.LateSeconds, 1000));
    // Said here even with --quiet, which keeps it off standard error.
    object.insert("sleepInhibitorProblem", TextJson(record.SleepProblem));
    object.insert("completed", record.Outcome == TRunRecord::TOutcome::Completed);
    QJsonObject interruption;
    if (interrupted) {
        interruption.insert("signal", record.Signal != 0 ? QJsonValue(SignalName(record.Signal))
                                                         : QJsonValue(QJsonValue::Null));
        interruption.insert("afterSeconds", *Rounded(record.SecondsRun(), 1000));
    }
    object.insert("interrupted",
                  interrupted ? QJsonValue(interruption) : QJsonValue(QJsonValue::Null));
    if (benchmark) {
        object.insert("score", record.Outcome == TRunRecord::TOutcome::Completed
                                   ? QJsonValue(qint64(record.Score))
                                   : QJsonValue(QJsonValue::Null));
    }
    object.insert("divisions", Divisions(record));
    QJsonArray starved;
    for (const double seconds : record.StarvedSeconds) {
        starved.append(*Rounded(seconds, 1000));
    }
    object.insert("starvedSeconds", starved);
    object.insert("slowestToFastest", record.SlowestToFastest());
    object.insert("start", IsoDateTimeText(record.Start));
    object.insert("end", IsoDateTimeText(record.End));
    QJsonObject verification;
    // A run that compared nothing neither passed nor failed.
    verification.insert("passed", failed || record.Check.Verified() ? QJsonValue(!failed)
                                                                    : QJsonValue(QJsonValue::Null));
    verification.insert("failedWorker", failed && record.Failure && record.Failure->Worker
                                            ? QJsonValue(*record.Failure->Worker + 1)
                                            : QJsonValue(QJsonValue::Null));
    verification.insert("failure", failed && record.Failure
                                       ? QJsonValue(FailureJson(*record.Failure))
                                       : QJsonValue(QJsonValue::Null));
    verification.insert("blocks", qint64(record.Check.Blocks));
    verification.insert("blocksChecked", qint64(record.Check.Checked));
    verification.insert("checkedShare", *Rounded(record.Check.CheckedShare(), 10000));
    verification.insert("blocksComputed", qint64(record.Check.Computed));
    verification.insert("blocksMissed", qint64(record.Check.Missed));
    verification.insert("checkNote", TextJson(QString::fromUtf8(record.CheckLine())));
    object.insert("verification", verification);
    object.insert("resultLine", interrupted ? QJsonValue(QJsonValue::Null)
                                            : QJsonValue(QString::fromUtf8(record.ResultLine())));
    object.insert("system", record.System ? QJsonValue(System(*record.System))
                                          : QJsonValue(QJsonValue::Null));
    object.insert("sensors", record.Sensors ? QJsonValue(Sensors(*record.Sensors))
                                            : QJsonValue(QJsonValue::Null));
    object.insert("hardwareErrors", record.HardwareErrors
                                        ? QJsonValue(HardwareErrors(*record.HardwareErrors))
                                        : QJsonValue(QJsonValue::Null));
    object.insert("warnings", Warnings(record.Warnings));
    return Compact(object);
}

QByteArray Cycle(const TCycleRun::TResult& result) {
    QJsonArray rows;
    for (const TCycleRun::TRow& row : result.Rows) {
        QJsonObject object;
        object.insert("cpu", row.Cpu);
        object.insert("seconds", *Rounded(row.Seconds, 1000));
        object.insert("blocksChecked", qint64(row.BlocksChecked));
        object.insert("errors", row.Errors);
        object.insert("frequencyMaxMHz", Json(row.MaxMHz));
        object.insert("temperatureMaxC", Json(row.MaxTemperatureC));
        object.insert("errorBlock", row.FirstError && row.FirstError->Block
                                        ? QJsonValue(qint64(*row.FirstError->Block))
                                        : QJsonValue(QJsonValue::Null));
        rows.append(object);
    }
    QJsonObject object;
    object.insert("schema", SchemaVersion);
    object.insert("test", "cycle");
    object.insert("passed", !result.Failed() && result.Signal == 0);
    object.insert("completed", result.Signal == 0);
    QJsonObject interruption;
    interruption.insert("signal", SignalName(result.Signal));
    interruption.insert("afterSeconds", *Rounded(result.Seconds(), 1000));
    object.insert("interrupted",
                  result.Signal != 0 ? QJsonValue(interruption) : QJsonValue(QJsonValue::Null));
    object.insert("start", IsoDateTimeText(result.Start));
    object.insert("end", IsoDateTimeText(result.End));
    object.insert("cpus", rows);
    object.insert("hardwareErrors", result.HardwareErrors
                                        ? QJsonValue(HardwareErrors(*result.HardwareErrors))
                                        : QJsonValue(QJsonValue::Null));
    // Said here even with --quiet, which keeps it off standard error.
    object.insert("sleepInhibitorProblem", TextJson(result.SleepProblem));
    object.insert("warnings", Warnings(result.Warnings));
    return Compact(object);
}

QByteArray NotStarted(const TRunRecord& record, TRunRecord::TNotStarted why,
                      const QString& message) {
    QJsonObject object = NotStartedObject(TestName(record.Test), why, message);
    // The default workload's object stays as it was before there were others.
    if (!record.Workload.IsDefault()) {
        AddWorkload(object, record.Workload);
    }
    object.insert("duration", DurationJson(record));
    object.insert("durationSeconds", Json(record.DurationSeconds()));
    object.insert("workers", record.Workers);
    return Compact(object);
}

QJsonObject NotStartedObject(const QString& test, TRunRecord::TNotStarted why,
                             const QString& message) {
    QJsonObject object;
    object.insert("schema", SchemaVersion);
    object.insert("test", test);
    object.insert("completed", false);
    object.insert(QLatin1String(NotStartedKey(why)), message);
    return object;
}

QByteArray Header(const TRunRecord& record) {
    QJsonObject object = PlanJson(record);
    object.insert("system", record.System ? QJsonValue(System(*record.System))
                                          : QJsonValue(QJsonValue::Null));
    AddWorkload(object, record.Workload);
    object.insert("start", IsoDateTimeText(record.Start));
    return Compact(object);
}

QByteArray Tick(const TRunRecord& record, std::size_t firstWarning) {
    QJsonObject object;
    object.insert("schema", SchemaVersion);
    object.insert("tick", record.TicksRun);
    object.insert("time", IsoDateTimeText(record.TickTime));
    object.insert("seconds", *Rounded(record.Seconds, 1000));
    object.insert("divisions", Divisions(record));
    object.insert("slowestRate", qint64(record.SlowestRate));
    object.insert("fastestRate", qint64(record.FastestRate));
    object.insert("frequencyMHz", Json(Rounded(record.LastSensors.MeanMHz, 10)));
    object.insert("frequencyMaxMHz", Json(Rounded(record.LastSensors.MaxMHz, 10)));
    object.insert("temperatureC", Json(Rounded(record.LastSensors.TemperatureC, 10)));
    object.insert("powerW", Json(Rounded(record.LastSensors.PackageWatts, 10)));
    object.insert("throttleEvents",
                  Json(record.Sensors ? record.Sensors->ThrottleEvents : std::nullopt));
    object.insert("warnings", Warnings(record.Warnings, firstWarning));
    return Compact(object);
}

QJsonObject System(const TSystemRecord& system) {
    QJsonObject object;
    object.insert("processorModel", Json(system.ProcessorModel));
    object.insert("processorVendor", Json(system.ProcessorVendor));
    object.insert("logicalProcessors", Json(system.LogicalProcessors));
    object.insert("usableProcessors", Json(system.UsableProcessors));
    object.insert("smt", Json(system.Smt));
    object.insert("kernel", Json(system.Kernel));
    object.insert("distribution", Json(system.Distribution));
    object.insert("hostName", Json(system.HostName));
    object.insert("version", system.Version);
    object.insert("gitRevision", Json(system.GitRevision));
    object.insert("compiler", Json(system.Compiler));
    object.insert("buildType", Json(system.BuildType));
    object.insert("compilerFlags", Json(system.CompilerFlags));
    object.insert("scalingDriver", Json(system.ScalingDriver));
    object.insert("governor", Json(system.Governor));
    return object;
}

QJsonObject Sensors(const TSensorSummary& sensors) {
    QJsonObject object;
    object.insert("readings", sensors.Readings);
    object.insert("frequencyMinMHz", Json(sensors.MinMHz));
    object.insert("frequencyMeanMHz", Json(sensors.MeanMHz));
    object.insert("frequencyMaxMHz", Json(sensors.MaxMHz));
    object.insert("frequencySource", TextJson(sensors.FrequencySource));
    object.insert("temperatureMaxC", Json(sensors.MaxTemperatureC));
    object.insert("temperatureSource", TextJson(sensors.TemperatureSource));
    object.insert("throttleEvents", Json(sensors.ThrottleEvents));
    object.insert("powerMeanW", Json(Rounded(sensors.MeanWatts, 10)));
    object.insert("powerMaxW", Json(Rounded(sensors.MaxWatts, 10)));
    object.insert("powerSource", TextJson(sensors.PowerSource));
    return object;
}

QJsonObject HardwareErrors(const THardwareErrorCounts& counts) {
    return {{"machineChecks", Json(counts.MachineChecks)},
            {"correctedErrors", Json(counts.CorrectedErrors)},
            {"uncorrectedErrors", Json(counts.UncorrectedErrors)},
            {"thermalEvents", Json(counts.ThermalEvents)}};
}

} // namespace JsonReport
