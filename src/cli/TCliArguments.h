#pragma once

#include <QString>
#include <QStringList>

enum class TTestKind { Benchmark, Stress };

// What the command line asks for.
struct TCliArguments {
    enum class TAction { Run, Help, Version, Error };

    static constexpr int BenchmarkTicks = 180;
    static constexpr int TicksPerMinute = 60;

    TAction Action = TAction::Error;
    TTestKind Test = TTestKind::Benchmark;
    int Minutes = 0;      // stress only: 20, 40, ... 240
    QString DurationText; // stress only: the duration as the window names it, e.g. "60min (1hrs)"
    bool Quiet = false;
    bool Json = false;
    QString Error; // what is wrong with the command line, for TAction::Error

    // The length of the run in one-second ticks.
    int Ticks() const noexcept {
        return Test == TTestKind::Benchmark ? BenchmarkTicks : Minutes * TicksPerMinute;
    }

    // Reads the arguments after the program name.
    static TCliArguments Parse(const QStringList& arguments);
    static QString Usage();
    // The twelve stress durations, 20 minutes apart, shortest first.
    static const QStringList& DurationTexts();
};
