// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Load and save of a report file of 100,000 result lines.
#include "ResultLines.h"
#include "TFormatSettings.h"
#include "TReportLog.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int LineCount = 100000;

// A year of results under United States settings, benchmark and stress lines mixed.
void FillWithResults(TReportLog& log) {
    TFormatSettings format;
    format.ShortDateFormat = QStringLiteral("M/d/yyyy");
    format.TimeSeparator = QStringLiteral(":");
    format.TwelveHourClock = true;
    format.AmDesignator = QStringLiteral("AM");
    format.PmDesignator = QStringLiteral("PM");
    const QStringList durations{QStringLiteral("20min"), QStringLiteral("60min (1hrs)"),
                                QStringLiteral("240min (4hrs)")};
    QDateTime when(QDate(2026, 1, 1), QTime(8, 0, 0));
    for (int i = 0; i < LineCount; ++i) {
        when = when.addSecs(317);
        const QString text = DateTimeText(when, format);
        log.AddLine(i % 3 == 0 ? StressResultLine(text, durations[i % durations.size()])
                               : BenchmarkResultLine(text, 4000 + (i * 7919) % 3000));
    }
}

void BM_SaveReport(benchmark::State& state) {
    QTemporaryDir dir;
    TReportLog log(dir.path() + QStringLiteral("/morvel/MorvelReport.dat"));
    FillWithResults(log);
    for (auto _ : state) {
        log.Save();
    }
    const auto bytes = QFileInfo(log.FileName()).size();
    state.counters["lines"] = log.Count();
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_LoadReport(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/morvel/MorvelReport.dat");
    {
        TReportLog writer(path);
        FillWithResults(writer);
        writer.Save();
    }
    TReportLog log(path);
    for (auto _ : state) {
        log.Load();
        benchmark::DoNotOptimize(log.Count());
    }
    if (log.Count() != LineCount) {
        state.SkipWithError("the file did not load whole");
    }
    state.counters["lines"] = log.Count();
    state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
}

} // namespace

BENCHMARK(BM_SaveReport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadReport)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
