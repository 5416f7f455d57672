// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TCliArguments.h"

#include "TRunEngine.h"

namespace {

TCliArguments Failure(QString error) {
    TCliArguments result;
    result.Action = TCliArguments::TAction::Error;
    result.Error = std::move(error);
    return result;
}

// A worker count: "all", or a plain decimal from 1 to the most; 0 when it is neither.
int WorkerCount(const QString& text, int usableProcessors) {
    if (text == QLatin1String("all")) {
        return usableProcessors;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return 0;
        }
    }
    if (text.isEmpty() || text.startsWith(QLatin1Char('0')) || text.size() > 4) {
        return 0;
    }
    const int count = text.toInt();
    return count <= TRunEngine::MaxWorkerCount ? count : 0;
}

} // namespace

QString TCliArguments::Usage() {
    QString usage =
        QStringLiteral(
            "Usage: morvel-cli [OPTION]... benchmark\n"
            "       morvel-cli [OPTION]... stress DURATION\n"
            "       morvel-cli --help | --version\n"
            "\n"
            "Runs worker threads (fifteen unless told otherwise) on a fixed trial-division "
            "workload.\n"
            "  benchmark         %1 one-second ticks; the score is the slowest worker's\n"
            "                    divisions in units of 100,000\n"
            "  stress DURATION   keeps the workers running for DURATION, one of:\n")
            .arg(TRunEngine::BenchmarkTicks);
    for (const TRunEngine::TDuration& duration : TRunEngine::Durations()) {
        usage += QStringLiteral("                    %1 or %2\n")
                     .arg(QStringLiteral("\"%1\"").arg(duration.Text), -16)
                     .arg(duration.Minutes);
    }
    usage +=
        QStringLiteral(
            "Every tick checks each worker against the known answer of the workload.\n"
            "\n"
            "Options:\n"
            "  --quiet           no progress lines on standard error\n"
            "  --json            print the result as one JSON object instead of the result line,\n"
            "                    with the system record and a summary of the sensors\n"
            "  --workers N|all   run N workers (1 to %1, default %2), or one per processor this\n"
            "                    process may run on; scores compare only at equal counts\n"
            "  --record FILE     append a live record to FILE: a JSON line with the system\n"
            "                    record, then one JSON line per tick (divisions, rates,\n"
            "                    frequency, temperature), then the result; flushed to disk\n"
            "                    every 10 ticks\n"
            "  --prometheus FILE write the result of a completed or failed run as Prometheus\n"
            "                    metrics to FILE, replaced in one step (for the node\n"
            "                    exporter's textfile collector: FILE ends in .prom)\n"
            "  --help            show this text\n"
            "  --version         show the version\n"
            "\n"
            "Exit status: 0 completed, 1 computation error found, 2 bad arguments or an output\n"
            "file that cannot be opened, 3 the workers could not be started, 4 the output could\n"
            "not be written, 5 another test is running, 129/130/143 stopped by\n"
            "SIGHUP/SIGINT/SIGTERM.\n")
            .arg(TRunEngine::MaxWorkerCount)
            .arg(TRunEngine::WorkerCount);
    return usage;
}

TCliArguments TCliArguments::Parse(const QStringList& arguments, int usableProcessors) {
    TCliArguments result;
    result.Workers = TRunEngine::WorkerCount;
    QStringList words;
    bool help = false;
    bool version = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            help = true;
        } else if (argument == QLatin1String("--version")) {
            version = true;
        } else if (argument == QLatin1String("--quiet") || argument == QLatin1String("-q")) {
            result.Quiet = true;
        } else if (argument == QLatin1String("--json")) {
            result.Json = true;
        } else if (const QString name = argument.section(QLatin1Char('='), 0, 0);
                   name == QLatin1String("--workers") || name == QLatin1String("--record") ||
                   name == QLatin1String("--prometheus")) {
            QString value;
            if (argument.contains(QLatin1Char('='))) {
                value = argument.mid(argument.indexOf(QLatin1Char('=')) + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return Failure(name == QLatin1String("--workers")
                                   ? QStringLiteral("--workers needs a count or 'all'")
                                   : QStringLiteral("%1 needs a file").arg(name));
            }
            if (name == QLatin1String("--workers")) {
                result.Workers = WorkerCount(value, usableProcessors);
                if (result.Workers == 0) {
                    return Failure(QStringLiteral("--workers takes 1 to %1 or 'all', not '%2'")
                                       .arg(TRunEngine::MaxWorkerCount)
                                       .arg(value));
                }
            } else if (value.isEmpty()) {
                return Failure(QStringLiteral("%1 needs a file").arg(name));
            } else if (name == QLatin1String("--record")) {
                result.RecordPath = value;
            } else {
                result.PrometheusPath = value;
            }
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return Failure(QStringLiteral("unknown option '%1'").arg(argument));
        } else {
            words.append(argument);
        }
    }
    if (help) {
        result.Action = TAction::Help;
        return result;
    }
    if (version) {
        result.Action = TAction::Version;
        return result;
    }
    if (words.isEmpty()) {
        return Failure(QStringLiteral("no test given"));
    }
    const QString test = words.takeFirst();
    if (test == QLatin1String("benchmark")) {
        result.Test = TTestKind::Benchmark;
    } else if (test == QLatin1String("stress")) {
        result.Test = TTestKind::Stress;
        if (words.isEmpty()) {
            return Failure(QStringLiteral("stress needs a duration"));
        }
        const QString duration = words.takeFirst();
        const auto& durations = TRunEngine::Durations();
        result.DurationIndex = -1;
        for (std::size_t i = 0; i < durations.size(); ++i) {
            if (duration == durations[i].Text ||
                duration == QString::number(durations[i].Minutes)) {
                result.DurationIndex = static_cast<int>(i);
            }
        }
        if (result.DurationIndex < 0) {
            return Failure(QStringLiteral("unknown duration '%1'").arg(duration));
        }
    } else {
        return Failure(QStringLiteral("unknown test '%1'").arg(test));
    }
    if (!words.isEmpty()) {
        return Failure(QStringLiteral("unexpected argument '%1'").arg(words.first()));
    }
    result.Action = TAction::Run;
    return result;
}
