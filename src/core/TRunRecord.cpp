// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TRunRecord.h"

#include "ResultLines.h"
#include "SThreadUnit.h"
#include "TRunEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

QJsonValue Json(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

// Figures rounded for people and plots: a thousandth of a second, a tenth of a MHz or degree.
std::optional<double> Rounded(const std::optional<double>& value, double perUnit) {
    if (!value) {
        return std::nullopt;
    }
    return std::round(*value * perUnit) / perUnit;
}

QJsonValue Json(const std::optional<int>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue Json(const std::optional<std::int64_t>& value) {
    return value ? QJsonValue(qint64(*value)) : QJsonValue(QJsonValue::Null);
}

// A checksum as 16 hexadecimal digits: JSON numbers do not keep 64 bits.
QString Hex(std::uint64_t value) {
    return QStringLiteral("%1").arg(value, 16, 16, QLatin1Char('0'));
}

const char* KindName(TRunFailure::TKind kind) {
    switch (kind) {
    case TRunFailure::TKind::Mismatch:
        return "mismatch";
    case TRunFailure::TKind::OffPath:
        return "off-path";
    case TRunFailure::TKind::Stalled:
        break;
    }
    return "stalled";
}

// What failed and where; numbers a user sees count workers from 1.
QJsonObject FailureJson(const TRunFailure& failure) {
    QJsonObject object;
    object.insert("kind", KindName(failure.Kind));
    object.insert("worker",
                  failure.Worker ? QJsonValue(*failure.Worker + 1) : QJsonValue(QJsonValue::Null));
    object.insert("cpu", Json(failure.Cpu));
    object.insert("block", failure.Block ? QJsonValue(qint64(*failure.Block))
                                         : QJsonValue(QJsonValue::Null));
    const auto divisors = failure.Divisors();
    object.insert("divisorFirst",
                  divisors ? QJsonValue(qint64(divisors->first)) : QJsonValue(QJsonValue::Null));
    object.insert("divisorLast",
                  divisors ? QJsonValue(qint64(divisors->second)) : QJsonValue(QJsonValue::Null));
    object.insert("expected", failure.Expected ? QJsonValue(Hex(*failure.Expected))
                                               : QJsonValue(QJsonValue::Null));
    object.insert("found",
                  failure.Found ? QJsonValue(Hex(*failure.Found)) : QJsonValue(QJsonValue::Null));
    return object;
}

QByteArray TestName(TTestKind test) {
    return test == TTestKind::Benchmark ? "benchmark" : "stress";
}

// One sample of the Prometheus text format, with its help and type lines.
void AddMetric(QByteArray& text, const char* name, const char* help, const QByteArray& labels,
               double value) {
    text += QByteArray("# HELP morvel_") + name + ' ' + help + '\n';
    text += QByteArray("# TYPE morvel_") + name + " gauge\n";
    text += QByteArray("morvel_") + name + '{' + labels + "} " +
            QByteArray::number(value, 'g', 15) + '\n';
}

// A label value with the text format's escapes.
QByteArray LabelValue(const QString& value) {
    QByteArray escaped;
    for (const char c : value.toUtf8()) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return '"' + escaped + '"';
}

// A stress run's length as it is named; none for a benchmark or an open-ended run that has not
// ended.
QJsonValue DurationJson(const TRunRecord& record) {
    return record.Test == TTestKind::Benchmark || record.DurationText.isEmpty()
               ? QJsonValue(QJsonValue::Null)
               : QJsonValue(record.DurationText);
}

const char* NotStartedKey(TRunRecord::TNotStarted why) {
    return why == TRunRecord::TNotStarted::Refused ? "refused" : "startFailed";
}

} // namespace

QString SignalName(int signal) {
    if (const char* name = sigabbrev_np(signal)) {
        return QStringLiteral("SIG") + QString::fromLatin1(name);
    }
    return QStringLiteral("signal %1").arg(signal);
}

QString TRunFailure::Text(bool pinned) const {
    const QString worker = Worker ? QStringLiteral("worker %1").arg(*Worker + 1) : QString();
    if (Kind == TKind::Stalled) {
        return worker + QStringLiteral(" stalled");
    }
    QString text = QStringLiteral("computation error");
    if (Worker) {
        text += QStringLiteral(" in ") + worker;
    }
    if (Cpu && (pinned || !Worker)) {
        text += QStringLiteral(" on CPU %1").arg(*Cpu);
    }
    return text;
}

std::optional<std::pair<std::int64_t, std::int64_t>> TRunFailure::Divisors() const {
    if (!Block) {
        return std::nullopt;
    }
    const Workload::TPoint start = Workload::BlockStart(*Block);
    if (start.Candidate != Workload::KnownPrime) {
        return std::nullopt;
    }
    return std::pair{start.Divisor, start.Divisor + 2 * (Workload::BlockDivisions - 1)};
}

double TCheckSummary::CheckedShare() const noexcept {
    return Blocks > 0 ? static_cast<double>(Checked) / static_cast<double>(Blocks) : 0.0;
}

double TRunRecord::SlowestToFastest() const noexcept {
    if (Divisions.empty()) {
        return 0.0;
    }
    const auto [slowest, fastest] = std::minmax_element(Divisions.begin(), Divisions.end());
    if (*fastest <= 0) {
        return 0.0;
    }
    return static_cast<double>(*slowest) / static_cast<double>(*fastest);
}

std::optional<std::int64_t> TRunRecord::DurationSeconds() const noexcept {
    constexpr std::int64_t msPerTick = TRunEngine::TickInterval.count();
    if (Ticks > 0) {
        return std::int64_t{Ticks} * msPerTick / 1000;
    }
    if (Outcome == TOutcome::Running) {
        return std::nullopt;
    }
    return std::int64_t{TicksRun} * msPerTick / 1000;
}

double TRunRecord::SecondsRun() const {
    return static_cast<double>(Start.msecsTo(End)) / 1000.0;
}

QByteArray TRunRecord::InterruptionText() const {
    QByteArray text = Test == TTestKind::Benchmark ? QByteArray("benchmark")
                                                   : "stress test \"" + DurationText.toUtf8() + '"';
    text += " interrupted after " +
            LengthText(static_cast<std::int64_t>(std::floor(SecondsRun()))).toUtf8();
    if (Signal != 0) {
        text += " by " + SignalName(Signal).toUtf8();
    }
    return text;
}

QByteArray TRunRecord::ResultLine() const {
    const bool benchmark = Test == TTestKind::Benchmark;
    QByteArray line;
    if (Outcome == TOutcome::Failed && Failure) {
        const QString reason = Failure->Text(Pinned);
        line = benchmark ? BenchmarkFailedLine(EndText, reason)
                         : StressFailedLine(EndText, DurationText, reason);
    } else {
        line = benchmark ? BenchmarkResultLine(EndText, Score)
                         : StressResultLine(EndText, DurationText);
    }
    if (Workers != TRunEngine::WorkerCount) {
        line += " (" + QByteArray::number(Workers) + (Workers == 1 ? " worker)" : " workers)");
    }
    return line;
}

QByteArray TRunRecord::ToJson() const {
    const bool benchmark = Test == TTestKind::Benchmark;
    const bool failed = Outcome == TOutcome::Failed;
    const bool interrupted = Outcome == TOutcome::Interrupted;
    QJsonObject object;
    object.insert("schema", SchemaVersion);
    object.insert("test", benchmark ? "benchmark" : "stress");
    object.insert("duration", DurationJson(*this));
    object.insert("durationSeconds", Json(DurationSeconds()));
    object.insert("workers", Workers);
    object.insert("ticks", Ticks);
    object.insert("ticksRun", TicksRun);
    object.insert("completed", Outcome == TOutcome::Completed);
    QJsonObject interruption;
    if (interrupted) {
        interruption.insert("signal", Signal != 0 ? QJsonValue(SignalName(Signal))
                                                  : QJsonValue(QJsonValue::Null));
        interruption.insert("afterSeconds", *Rounded(SecondsRun(), 1000));
    }
    object.insert("interrupted",
                  interrupted ? QJsonValue(interruption) : QJsonValue(QJsonValue::Null));
    if (benchmark) {
        object.insert("score", Outcome == TOutcome::Completed ? QJsonValue(qint64(Score))
                                                              : QJsonValue(QJsonValue::Null));
    }
    QJsonArray divisions;
    for (const std::int64_t count : Divisions) {
        divisions.append(qint64(count));
    }
    object.insert("divisions", divisions);
    object.insert("slowestToFastest", SlowestToFastest());
    object.insert("start", IsoDateTimeText(Start));
    object.insert("end", IsoDateTimeText(End));
    QJsonObject verification;
    verification.insert("passed", !failed);
    verification.insert("failedWorker", failed && Failure && Failure->Worker
                                            ? QJsonValue(*Failure->Worker + 1)
                                            : QJsonValue(QJsonValue::Null));
    verification.insert("failure", failed && Failure ? QJsonValue(FailureJson(*Failure))
                                                     : QJsonValue(QJsonValue::Null));
    verification.insert("blocks", qint64(Check.Blocks));
    verification.insert("blocksChecked", qint64(Check.Checked));
    verification.insert("checkedShare", *Rounded(Check.CheckedShare(), 10000));
    verification.insert("blocksComputed", qint64(Check.Computed));
    verification.insert("blocksMissed", qint64(Check.Missed));
    object.insert("verification", verification);
    object.insert("resultLine", interrupted ? QJsonValue(QJsonValue::Null)
                                            : QJsonValue(QString::fromUtf8(ResultLine())));
    object.insert("system", System ? QJsonValue(System->ToJson()) : QJsonValue(QJsonValue::Null));
    object.insert("sensors",
                  Sensors ? QJsonValue(Sensors->ToJson()) : QJsonValue(QJsonValue::Null));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray TRunRecord::NotStartedJson(TNotStarted why, const QString& message) const {
    QJsonObject object = NotStartedObject(QString::fromLatin1(TestName(Test)), why, message);
    object.insert("duration", DurationJson(*this));
    object.insert("durationSeconds", Json(DurationSeconds()));
    object.insert("workers", Workers);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject TRunRecord::NotStartedObject(const QString& test, TNotStarted why,
                                         const QString& message) {
    QJsonObject object;
    object.insert("schema", SchemaVersion);
    object.insert("test", test);
    object.insert("completed", false);
    object.insert(QLatin1String(NotStartedKey(why)), message);
    return object;
}

QByteArray TRunRecord::HeaderJson() const {
    QJsonObject object;
    object.insert("schema", SchemaVersion);
    object.insert("system", System ? QJsonValue(System->ToJson()) : QJsonValue(QJsonValue::Null));
    object.insert("test", QString::fromLatin1(TestName(Test)));
    object.insert("duration", DurationJson(*this));
    object.insert("durationSeconds", Json(DurationSeconds()));
    object.insert("workers", Workers);
    object.insert("ticks", Ticks);
    object.insert("start", IsoDateTimeText(Start));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray TRunRecord::TickJson() const {
    QJsonObject object;
    object.insert("schema", SchemaVersion);
    object.insert("tick", TicksRun);
    object.insert("time", IsoDateTimeText(TickTime));
    object.insert("seconds", *Rounded(Seconds, 1000));
    QJsonArray divisions;
    for (const std::int64_t count : Divisions) {
        divisions.append(qint64(count));
    }
    object.insert("divisions", divisions);
    object.insert("slowestRate", qint64(SlowestRate));
    object.insert("fastestRate", qint64(FastestRate));
    object.insert("frequencyMHz", Json(Rounded(LastSensors.MeanMHz, 10)));
    object.insert("frequencyMaxMHz", Json(Rounded(LastSensors.MaxMHz, 10)));
    object.insert("temperatureC", Json(Rounded(LastSensors.TemperatureC, 10)));
    object.insert("throttleEvents", Sensors && Sensors->ThrottleEvents
                                        ? QJsonValue(qint64(*Sensors->ThrottleEvents))
                                        : QJsonValue(QJsonValue::Null));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray TRunRecord::ToPrometheus() const {
    const QByteArray test = "test=\"" + TestName(Test) + '"';
    const bool completed = Outcome == TOutcome::Completed;
    const bool failed = Outcome == TOutcome::Failed;
    QByteArray text;
    if (Test == TTestKind::Benchmark && completed) {
        AddMetric(text, "score", "Benchmark score: the slowest worker's divisions in 100,000s.",
                  test, static_cast<double>(Score));
    }
    AddMetric(text, "completed", "Whether the run reached its planned length (1) or not (0).", test,
              completed ? 1 : 0);
    AddMetric(text, "interrupted",
              "Whether a stop signal or the user ended the run before its end (1) or not (0).",
              test, Outcome == TOutcome::Interrupted ? 1 : 0);
    AddMetric(text, "verification_passed",
              "Whether every worker kept to the known answer of the workload (1) or not (0).", test,
              failed ? 0 : 1);
    if (failed && Failure) {
        // Where it failed, in labels (in the order exporters write them): one sample says it
        // all.
        std::vector<std::pair<QByteArray, QString>> labels{
            {"kind", QString::fromLatin1(KindName(Failure->Kind))},
            {"test", QString::fromLatin1(TestName(Test))}};
        if (Failure->Worker) {
            labels.emplace_back("worker", QString::number(*Failure->Worker + 1));
        }
        if (Failure->Cpu) {
            labels.emplace_back("cpu", QString::number(*Failure->Cpu));
        }
        if (Failure->Block) {
            labels.emplace_back("block", QString::number(*Failure->Block));
        }
        if (const auto divisors = Failure->Divisors()) {
            labels.emplace_back("divisor_first", QString::number(divisors->first));
            labels.emplace_back("divisor_last", QString::number(divisors->second));
        }
        if (Failure->Expected && Failure->Found) {
            labels.emplace_back("expected", Hex(*Failure->Expected));
            labels.emplace_back("found", Hex(*Failure->Found));
        }
        std::sort(labels.begin(), labels.end());
        QByteArray where;
        for (const auto& [name, value] : labels) {
            where += (where.isEmpty() ? "" : ",") + name + '=' + LabelValue(value);
        }
        AddMetric(text, "failed", "Where the run failed: the worker, processor and block.", where,
                  1);
    }
    AddMetric(text, "blocks_checked_ratio",
              "The share of the workers' blocks that were compared or computed.", test,
              Check.CheckedShare());
    AddMetric(text, "duration_seconds", "How long the run ran.", test, SecondsRun());
    AddMetric(text, "ticks", "The ticks the run ran.", test, TicksRun);
    AddMetric(text, "workers", "The worker threads of the run.", test, Workers);
    AddMetric(text, "end_time_seconds", "When the run ended, in seconds since the Unix epoch.",
              test, static_cast<double>(End.toMSecsSinceEpoch()) / 1000.0);
    if (Sensors) {
        const auto hertz = [](double mhz) { return mhz * 1e6; };
        if (Sensors->MinMHz) {
            AddMetric(text, "frequency_min_hertz",
                      "The lowest processor frequency read during the run.", test,
                      hertz(*Sensors->MinMHz));
        }
        if (Sensors->MeanMHz) {
            AddMetric(text, "frequency_mean_hertz",
                      "The mean processor frequency read during the run.", test,
                      hertz(*Sensors->MeanMHz));
        }
        if (Sensors->MaxMHz) {
            AddMetric(text, "frequency_max_hertz",
                      "The highest processor frequency read during the run.", test,
                      hertz(*Sensors->MaxMHz));
        }
        if (Sensors->MaxTemperatureC) {
            AddMetric(text, "temperature_max_celsius",
                      "The highest processor temperature read during the run.", test,
                      *Sensors->MaxTemperatureC);
        }
        if (Sensors->ThrottleEvents) {
            AddMetric(text, "throttle_events",
                      "Thermal throttle events the kernel counted during the run.", test,
                      static_cast<double>(*Sensors->ThrottleEvents));
        }
    }
    if (System) {
        AddMetric(
            text, "build_info", "The Morvel build that ran the test.",
            "revision=" + LabelValue(System->GitRevision.value_or(QStringLiteral("unknown"))) +
                ",version=" + LabelValue(System->Version),
            1);
    }
    return text;
}
