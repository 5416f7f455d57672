// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "PrometheusReport.h"

#include "JsonReport.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace PrometheusReport {

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

void AddHardwareErrors(QByteArray& text, const char* name, const THardwareErrorCounts& counts,
                       const QByteArray& labels) {
    const struct {
        THardwareKind Kind;
        const char* Label;
        const std::optional<std::int64_t>& Total;
    } kinds[] = {
        {THardwareKind::MachineCheck, "machine_check", counts.MachineChecks},
        {THardwareKind::Corrected, "corrected", counts.CorrectedErrors},
        {THardwareKind::Uncorrected, "uncorrected", counts.UncorrectedErrors},
        {THardwareKind::Thermal, "thermal", counts.ThermalEvents},
    };
    QByteArray samples;
    for (const auto& kind : kinds) {
        if (!kind.Total) {
            continue;
        }
        // Per processor (a cycle's turns may name one more than once), then the rest.
        std::vector<std::pair<std::optional<int>, std::int64_t>> where;
        for (const THardwareCounter& counter : counts.Grown) {
            if (counter.Kind != kind.Kind) {
                continue;
            }
            const auto same = std::find_if(where.begin(), where.end(), [&](const auto& each) {
                return each.first == counter.Cpu;
            });
            if (same != where.end()) {
                same->second += counter.Count;
            } else {
                where.emplace_back(counter.Cpu, counter.Count);
            }
        }
        if (where.empty()) {
            where.emplace_back(std::nullopt, 0);
        }
        std::sort(where.begin(), where.end());
        for (const auto& [cpu, count] : where) {
            samples += QByteArray("morvel_") + name + '{' +
                       (cpu ? "cpu=\"" + QByteArray::number(*cpu) + "\"," : QByteArray()) +
                       "kind=\"" + kind.Label + '"' + (labels.isEmpty() ? "" : ",") + labels +
                       "} " + QByteArray::number(count) + '\n';
        }
    }
    if (!samples.isEmpty()) {
        text += QByteArray("# HELP morvel_") + name +
                " Errors and events the processors and memory controllers reported during the "
                "run.\n";
        text += QByteArray("# TYPE morvel_") + name + " gauge\n" + samples;
    }
}

void AddWarnings(QByteArray& text, const std::vector<TWarning>& warnings,
                 const QByteArray& labels) {
    text += "# HELP morvel_warnings Warnings of the machine during the run: the clock fell, a "
            "temperature reached its limit, the processor throttled.\n";
    text += "# TYPE morvel_warnings gauge\n";
    for (const TWarning::TKind kind :
         {TWarning::TKind::ClockDrop, TWarning::TKind::Temperature, TWarning::TKind::Throttle}) {
        const auto count =
            std::count_if(warnings.begin(), warnings.end(),
                          [kind](const TWarning& each) { return each.Kind == kind; });
        text += QByteArray("morvel_warnings{kind=\"") + TWarning::Name(kind) + '"' +
                (labels.isEmpty() ? "" : ",") + labels + "} " + QByteArray::number(count) + '\n';
    }
}

QByteArray Metrics(const TRunRecord& record) {
    const QByteArray testName = TestKindName(record.Test);
    // The default workload's metrics carry no workload label, as before there were others.
    const bool divide = record.Workload.IsDefault();
    const QByteArray test =
        "test=\"" + testName + '"' +
        (divide ? QByteArray() : ",workload=\"" + QByteArray(record.Workload.Name()) + '"');
    const bool completed = record.Outcome == TRunRecord::TOutcome::Completed;
    const bool failed = record.Outcome == TRunRecord::TOutcome::Failed;
    QByteArray text;
    if (record.Test == TTestKind::Benchmark && completed) {
        AddMetric(text, "score", "Benchmark score: the slowest worker's divisions in 100,000s.",
                  test, static_cast<double>(record.Score));
    }
    AddMetric(text, "completed", "Whether the run reached its planned length (1) or not (0).", test,
              completed ? 1 : 0);
    AddMetric(text, "interrupted",
              "Whether a stop signal or the user ended the run before its end (1) or not (0).",
              test, record.Outcome == TRunRecord::TOutcome::Interrupted ? 1 : 0);
    // A run that compared no block neither passed nor failed: no sample (blocks_checked_ratio 0).
    if (failed || record.Check.Verified()) {
        AddMetric(text, "verification_passed",
                  "Whether every worker kept to the known answer of the workload (1) or not (0).",
                  test, failed ? 0 : 1);
    }
    if (failed && record.Failure) {
        // Where it failed, in labels (in the order exporters write them): one sample says it
        // all.
        std::vector<std::pair<QByteArray, QString>> labels{
            {"kind", QString::fromLatin1(JsonReport::FailureKindName(record.Failure->Kind))},
            {"test", QString::fromLatin1(testName)}};
        if (!divide) {
            labels.emplace_back("workload", QString::fromLatin1(record.Workload.Name()));
        }
        if (record.Failure->Worker) {
            labels.emplace_back("worker", QString::number(*record.Failure->Worker + 1));
        }
        if (record.Failure->Cpu) {
            labels.emplace_back("cpu", QString::number(*record.Failure->Cpu));
        }
        if (record.Failure->Block) {
            labels.emplace_back("block", QString::number(*record.Failure->Block));
        }
        if (const auto divisors = record.Failure->BlockRange()) {
            labels.emplace_back("divisor_first", QString::number(divisors->first));
            labels.emplace_back("divisor_last", QString::number(divisors->second));
        }
        if (const auto& word = record.Failure->Word) {
            labels.emplace_back("address", JsonReport::Hex(word->Address));
            labels.emplace_back("bits", JsonReport::Hex(word->Bits));
        }
        if (record.Failure->Expected && record.Failure->Found) {
            labels.emplace_back("expected", JsonReport::Hex(*record.Failure->Expected));
            labels.emplace_back("found", JsonReport::Hex(*record.Failure->Found));
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
              record.Check.CheckedShare());
    AddMetric(text, "duration_seconds", "How long the run ran.", test, record.SecondsRun());
    AddMetric(text, "ticks", "The ticks the run ran.", test, record.TicksRun);
    AddMetric(text, "workers", "The worker threads of the run.", test, record.Workers);
    AddMetric(text, "end_time_seconds", "When the run ended, in seconds since the Unix epoch.",
              test, static_cast<double>(record.End.toMSecsSinceEpoch()) / 1000.0);
    if (const std::optional<TSensorSummary>& sensors = record.Sensors) {
        const auto hertz = [](const std::optional<double>& mhz) -> std::optional<double> {
            return mhz ? std::optional<double>(*mhz * 1e6) : std::nullopt;
        };
        const std::optional<double> throttles =
            sensors->ThrottleEvents ? std::optional<double>(*sensors->ThrottleEvents)
                                    : std::nullopt;
        const struct {
            const char* Name = nullptr;
            const char* Help = nullptr;
            std::optional<double> Value;
        } readings[] = {
            {"frequency_min_hertz", "The lowest processor frequency read during the run.",
             hertz(sensors->MinMHz)},
            {"frequency_mean_hertz", "The mean processor frequency read during the run.",
             hertz(sensors->MeanMHz)},
            {"frequency_max_hertz", "The highest processor frequency read during the run.",
             hertz(sensors->MaxMHz)},
            {"temperature_max_celsius", "The highest processor temperature read during the run.",
             sensors->MaxTemperatureC},
            {"power_mean_watts", "The mean power of the processor packages during the run.",
             sensors->MeanWatts},
            {"power_max_watts", "The highest power of the processor packages in a tick of the run.",
             sensors->MaxWatts},
            {"throttle_events", "Thermal throttle events the kernel counted during the run.",
             throttles},
        };
        for (const auto& reading : readings) {
            if (reading.Value) {
                AddMetric(text, reading.Name, reading.Help, test, *reading.Value);
            }
        }
    }
    if (record.HardwareErrors) {
        AddHardwareErrors(text, "hardware_errors", *record.HardwareErrors, test);
    }
    AddWarnings(text, record.Warnings, test);
    if (record.System) {
        AddMetric(text, "build_info", "The Morvel build that ran the test.",
                  "revision=" +
                      LabelValue(record.System->GitRevision.value_or(QStringLiteral("unknown"))) +
                      ",version=" + LabelValue(record.System->Version),
                  1);
    }
    return text;
}

QByteArray Cycle(const TCycleRun::TResult& result) {
    // How the cycle ended, as a run's metrics say it: an interrupted cycle replaces an earlier
    // clean result rather than leave it to be served as the current one.
    QByteArray text;
    const QByteArray test = "test=\"cycle\"";
    AddMetric(text, "completed", "Whether the run reached its planned length (1) or not (0).", test,
              result.Signal == 0 ? 1 : 0);
    AddMetric(text, "interrupted",
              "Whether a stop signal or the user ended the run before its end (1) or not (0).",
              test, result.Signal != 0 ? 1 : 0);
    AddMetric(text, "end_time_seconds", "When the run ended, in seconds since the Unix epoch.",
              test, static_cast<double>(result.End.toMSecsSinceEpoch()) / 1000.0);
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
    for (const TCycleRun::TRow& row : result.Rows) {
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
    if (result.HardwareErrors) {
        AddHardwareErrors(text, "cycle_hardware_errors", *result.HardwareErrors, {});
    }
    AddWarnings(text, result.Warnings, test);
    return text;
}

} // namespace PrometheusReport
