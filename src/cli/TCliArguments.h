// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "Processors.h"
#include "ResultLines.h"
#include "TRunRecord.h"
#include "TWorkload.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// What the command line asks for.
struct TCliArguments {
    enum class TAction { Run, SelfTest, Cycle, Help, Version, Error };

    // The longest stress run or per-processor load the command line takes: 366 days.
    static constexpr std::int64_t MaxLengthSeconds = std::int64_t{366} * 24 * 60 * 60;
    static constexpr int MaxRounds = 1000;

    TAction Action = TAction::Error;
    TTestKind Test = TTestKind::Benchmark;
    // Stress only: the entry of TTestPlan::Durations(), or -1 for another length or forever.
    int DurationIndex = 0;
    // Stress only: the length in seconds (a preset's too); 0 with DurationIndex -1 is forever.
    std::int64_t StressSeconds = 0;
    // Stress only: the length as the result line names it; empty for forever.
    QString DurationText;
    int Workers = 0;     // 1 to TRunEngine::MaxWorkerCount
    bool PerCpu = false; // --workers all or 0: one worker pinned on each usable processor
    bool Quiet = false;
    bool Json = false;
    QString RecordPath;     // --record: the live record, appended to; empty for none
    QString PrometheusPath; // --prometheus: the metrics file, replaced; empty for none
    // --workload, --isa (fma and mix; none: the widest the processor runs) and --memory (memory
    // and mix: the bytes of all workers together; none: sized by the machine).
    TWorkloadKind Workload = Workloads::Default();
    std::optional<TFmaIsa> Isa;
    std::optional<std::int64_t> MemoryBytes;
    QString Error; // what is wrong with the command line, one line, for TAction::Error
    // Cycle only: how long each processor is loaded, how many times the processors are gone
    // over, and which processors, ascending (empty: every usable one).
    int PerCpuSeconds = 60;
    int Rounds = 1;
    std::vector<int> Cpus;

    // Reads the arguments after the program name. `usableCpus` are the numbers of the
    // processors this process may run on: `--workers all` is their count, and `--cpus` may name
    // only them. `memory` is what the machine has available: `--memory` may not ask for more.
    static TCliArguments Parse(const QStringList& arguments, const std::vector<int>& usableCpus,
                               const TMemoryInfo& memory = {});
    static QString Usage();
    // What the program prints on standard error for TAction::Error: Error and where to read
    // more, two lines.
    QString ErrorMessage() const;
};
