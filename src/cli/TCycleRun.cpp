// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TCycleRun.h"

#include "JsonReport.h"
#include "PrometheusReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void Raise(std::optional<double>& most, const std::optional<double>& value) {
    if (value && (!most || *value > *most)) {
        most = value;
    }
}

QString Figure(const std::optional<double>& value) {
    return value ? QString::number(std::llround(*value)) : QStringLiteral("-");
}

} // namespace

bool TCycleRun::TResult::Failed() const {
    return std::any_of(Rows.begin(), Rows.end(), [](const TRow& row) { return row.Errors > 0; });
}

double TCycleRun::TResult::Seconds() const {
    double seconds = 0;
    for (const TRow& row : Rows) {
        seconds += row.Seconds;
    }
    return seconds;
}

QByteArray TCycleRun::TResult::InterruptionText() const {
    return "cycle interrupted after " +
           LengthText(static_cast<std::int64_t>(std::floor(Seconds()))).toUtf8() + " by " +
           SignalName(Signal).toUtf8();
}

TCycleRun::TResult TCycleRun::Run(const TSettings& settings, const TCliRun::Waiter& wait,
                                  std::ostream* progress) {
    TResult result;
    const auto rowOf = [&result](int cpu) -> TRow& {
        for (TRow& row : result.Rows) {
            if (row.Cpu == cpu) {
                return row;
            }
        }
        result.Rows.push_back({});
        result.Rows.back().Cpu = cpu;
        return result.Rows.back();
    };
    for (const int cpu : settings.Cpus) {
        rowOf(cpu);
    }
    const auto checker = std::make_shared<TBlockChecker>(settings.Workload.Compute());
    int turn = 0;
    for (int round = 0; round < settings.Rounds && result.Signal == 0; ++round) {
        for (const int cpu : settings.Cpus) {
            TCliRun::TSettings run;
            run.Test = TTestKind::Stress;
            run.CustomTicks = settings.TicksPerCpu;
            run.CustomText = LengthText(settings.TicksPerCpu);
            run.Workers = 1;
            run.TickLength = settings.TickLength;
            run.WorkerFactory = settings.FactoryFor(turn, cpu);
            run.Workload = settings.Workload;
            run.Pinned = true;
            run.Checker = checker;
            run.FirstSource = turn;
            run.RunLock = settings.RunLock;
            run.Machine = settings.Machine;
            run.SleepInhibitor = settings.SleepInhibitor;
            const TRunRecord record = TCliRun::Run(run, wait, nullptr);
            TRow& row = rowOf(cpu);
            row.Seconds += record.Seconds;
            result.End = record.End;
            if (record.Sensors) {
                Raise(row.MaxMHz, record.Sensors->MaxMHz);
                Raise(row.MaxTemperatureC, record.Sensors->MaxTemperatureC);
            }
            if (record.Outcome == TRunRecord::TOutcome::Failed && record.Failure) {
                // A block computed in an earlier turn may be the one found wrong now: the error
                // belongs to the processor that computed it.
                TRow& faulty = record.Failure->Cpu ? rowOf(*record.Failure->Cpu) : row;
                ++faulty.Errors;
                if (!faulty.FirstError) {
                    faulty.FirstError = record.Failure;
                }
            }
            if (progress) {
                *progress << "CPU " << cpu << ": "
                          << (record.Outcome == TRunRecord::TOutcome::Failed ? "error" : "ok")
                          << '\n'
                          << std::flush;
            }
            ++turn;
            if (record.Outcome == TRunRecord::TOutcome::Interrupted) {
                result.Signal = record.Signal;
                break;
            }
        }
    }
    // A turn's blocks are judged during later turns too: count them where they were computed.
    for (int done = 0; done < turn; ++done) {
        const int cpu = settings.Cpus[static_cast<std::size_t>(done) % settings.Cpus.size()];
        rowOf(cpu).BlocksChecked += checker->JudgedOf(done);
    }
    return result;
}

QByteArray TCycleRun::TResult::Table() const {
    QByteArray text = "  CPU  seconds  blocks checked  errors  max MHz  max C\n";
    for (const TRow& row : Rows) {
        char line[128];
        std::snprintf(line, sizeof line, "%5d  %7.0f  %14lld  %6d  %7s  %5s\n", row.Cpu,
                      row.Seconds, static_cast<long long>(row.BlocksChecked), row.Errors,
                      qPrintable(Figure(row.MaxMHz)), qPrintable(Figure(row.MaxTemperatureC)));
        text += line;
    }
    for (const TRow& row : Rows) {
        if (row.FirstError) {
            text += "CPU " + QByteArray::number(row.Cpu) + ": computation error in block " +
                    QByteArray::number(qint64(row.FirstError->Block.value_or(-1))) + '\n';
        }
    }
    return text;
}

QByteArray TCycleRun::TResult::ToJson() const {
    QJsonArray rows;
    for (const TRow& row : Rows) {
        QJsonObject object;
        object.insert("cpu", row.Cpu);
        object.insert("seconds", std::round(row.Seconds * 1000) / 1000);
        object.insert("blocksChecked", qint64(row.BlocksChecked));
        object.insert("errors", row.Errors);
        object.insert("frequencyMaxMHz",
                      row.MaxMHz ? QJsonValue(*row.MaxMHz) : QJsonValue(QJsonValue::Null));
        object.insert("temperatureMaxC", row.MaxTemperatureC ? QJsonValue(*row.MaxTemperatureC)
                                                             : QJsonValue(QJsonValue::Null));
        object.insert("errorBlock", row.FirstError && row.FirstError->Block
                                        ? QJsonValue(qint64(*row.FirstError->Block))
                                        : QJsonValue(QJsonValue::Null));
        rows.append(object);
    }
    QJsonObject object;
    object.insert("schema", JsonReport::SchemaVersion);
    object.insert("test", "cycle");
    object.insert("passed", !Failed() && Signal == 0);
    object.insert("completed", Signal == 0);
    QJsonObject interruption;
    interruption.insert("signal", SignalName(Signal));
    interruption.insert("afterSeconds", std::round(Seconds() * 1000) / 1000);
    object.insert("interrupted",
                  Signal != 0 ? QJsonValue(interruption) : QJsonValue(QJsonValue::Null));
    object.insert("cpus", rows);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray TCycleRun::TResult::ToPrometheus() const {
    QByteArray text;
    const auto metric = [&text](const char* name, const char* help,
                                const std::vector<std::pair<int, double>>& samples) {
        text += QByteArray("# HELP morvel_cycle_") + name + ' ' + help + '\n';
        text += QByteArray("# TYPE morvel_cycle_") + name + " gauge\n";
        for (const auto& [cpu, value] : samples) {
            text += QByteArray("morvel_cycle_") + name + "{cpu=\"" + QByteArray::number(cpu) +
                    "\"} " + QByteArray::number(value, 'g', 15) + '\n';
        }
    };
    std::vector<std::pair<int, double>> errors;
    std::vector<std::pair<int, double>> checked;
    std::vector<std::pair<int, double>> seconds;
    std::vector<std::pair<int, double>> hertz;
    for (const TRow& row : Rows) {
        errors.emplace_back(row.Cpu, row.Errors);
        checked.emplace_back(row.Cpu, static_cast<double>(row.BlocksChecked));
        seconds.emplace_back(row.Cpu, row.Seconds);
        if (row.MaxMHz) {
            hertz.emplace_back(row.Cpu, *row.MaxMHz * 1e6);
        }
    }
    metric("errors", "Computation errors found on the processor.", errors);
    metric("blocks_checked", "Blocks of the processor compared or computed.", checked);
    metric("seconds", "How long the processor was loaded.", seconds);
    if (!hertz.empty()) {
        metric("frequency_max_hertz", "The highest frequency read while it was loaded.", hertz);
    }
    // Whether this is a whole cycle: an interrupted one is never served as a clean result.
    const QByteArray test = "test=\"cycle\"";
    PrometheusReport::AddMetric(text, "completed",
                                "Whether the run reached its planned length (1) or not (0).", test,
                                Signal == 0 ? 1 : 0);
    PrometheusReport::AddMetric(
        text, "interrupted",
        "Whether a stop signal or the user ended the run before its end (1) or not (0).", test,
        Signal != 0 ? 1 : 0);
    if (End.isValid()) {
        PrometheusReport::AddMetric(text, "end_time_seconds",
                                    "When the run ended, in seconds since the Unix epoch.", test,
                                    static_cast<double>(End.toMSecsSinceEpoch()) / 1000.0);
    }
    return text;
}
