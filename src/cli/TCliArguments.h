// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TRunRecord.h"

#include <QString>
#include <QStringList>

// What the command line asks for.
struct TCliArguments {
    enum class TAction { Run, Help, Version, Error };

    TAction Action = TAction::Error;
    TTestKind Test = TTestKind::Benchmark;
    int DurationIndex = 0; // stress only: the entry of TRunEngine::Durations()
    int Workers = 0;       // 1 to TRunEngine::MaxWorkerCount
    bool Quiet = false;
    bool Json = false;
    QString RecordPath;     // --record: the live record, appended to; empty for none
    QString PrometheusPath; // --prometheus: the metrics file, replaced; empty for none
    QString Error;          // what is wrong with the command line, for TAction::Error

    // Reads the arguments after the program name. `usableProcessors` is what `--workers all`
    // stands for.
    static TCliArguments Parse(const QStringList& arguments, int usableProcessors);
    static QString Usage();
};
