// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// morvel-cli: the benchmark and the stress test without a window, for servers and scripts.

#include "DurableFile.h"
#include "JsonReport.h"
#include "PrometheusReport.h"
#include "StopSignals.h"
#include "TCliArguments.h"
#include "TCliRun.h"
#include "TCycleRun.h"
#include "TLogindInhibitor.h"
#include "TSelfTest.h"

#include <QFile>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// Exit statuses besides 0 (completed) and 1 (computation error found).
constexpr int BadArguments = 2;
constexpr int CannotStart = 3;
constexpr int WriteError = 4;
constexpr int AnotherRun = 5;
constexpr int LockUnusable = 6;

void Error(const std::string& text) {
    std::cerr << "morvel-cli: " << text << '\n' << std::flush;
}

// What the program prints on standard output; a failed write is reported and exits with 4
// rather than claim a result nobody received.
int Print(const std::string& bytes, int status) {
    const DurableFile::TResult written =
        DurableFile::WriteAll(STDOUT_FILENO, bytes, QStringLiteral("standard output"));
    if (!written) {
        Error("write error: " + written.Reason.toStdString());
        return WriteError;
    }
    return status;
}

// A run that did not start: the reason on standard error and, with --json, one object that says
// it on standard output.
int NotStarted(bool json, const QByteArray& object, const std::string& message, int status) {
    Error(message);
    return json ? Print((object + '\n').toStdString(), status) : status;
}

// The machine is kept awake while a run is active; where it cannot be, standard error says why.
std::shared_ptr<TSleepInhibitor> SleepInhibitor() {
    return std::make_shared<TLogindInhibitor>([](const QString& why) { Error(why.toStdString()); });
}

// Runs every fault kind against the checker and prints a table; 0 only when each was found in
// time and named the right worker.
int SelfTestCommand() {
    TRunLock lock;
    try {
        lock.Acquire();
    } catch (const ERunLocked& locked) {
        Error(locked.what());
        return AnotherRun;
    } catch (const ERunLockFailed& failed) {
        Error(failed.what());
        return LockUnusable;
    }
    std::string table = "fault            workers  detected  worker named  ticks (allowed)\n";
    bool passed = true;
    for (const SelfTest::TCase& testCase : SelfTest::AllCases()) {
        const SelfTest::TOutcome outcome = SelfTest::Run(testCase, std::chrono::milliseconds(400));
        passed = passed && outcome.Passed();
        char line[160];
        std::snprintf(line, sizeof line, "%-16s %7d  %-8s  %5d of %-4d  %5d (%d)%s\n",
                      TFault::Name(testCase.Kind), testCase.Workers, outcome.Failed ? "yes" : "NO",
                      outcome.NamedWorker.value_or(-2) + 1, outcome.FaultySlot + 1, outcome.Ticks,
                      outcome.AllowedTicks, outcome.Passed() ? "" : "  FAILED");
        table += line;
    }
    table += passed ? "selftest passed: every fault was found and named\n"
                    : "selftest FAILED: the checker missed a fault\n";
    return Print(table, passed ? 0 : 1);
}

// One worker on each chosen processor in turn; the table (or JSON) says which erred.
// Replaces the metrics file; when that fails at the end of a run, the metrics go to standard
// error after the reason, so that they are not lost.
int WriteMetrics(const QString& path, const QByteArray& metrics, int status) {
    const DurableFile::TResult written = DurableFile::Replace(path, metrics, 0644);
    if (written) {
        return status;
    }
    Error(written.Message().toStdString() + "; the metrics follow on standard error");
    std::cerr << metrics.toStdString() << std::flush;
    return WriteError;
}

int CycleCommand(const TCliArguments& options, bool showProgress,
                 DurableFile::TAppender& recordFile) {
    TCycleRun::TSettings settings;
    settings.Cpus = options.Cpus.empty() ? UsableCpuList() : options.Cpus;
    settings.Rounds = options.Rounds;
    settings.TicksPerCpu = options.PerCpuSeconds;
    settings.FactoryFor = [](int, int cpu) { return TWorkerTable::ThreadFactory({cpu}); };
    settings.SleepInhibitor = SleepInhibitor();
    std::optional<TCycleRun::TResult> result;
    using TNotStarted = TRunRecord::TNotStarted;
    const auto notStarted = [&options](TNotStarted why, const std::string& message, int status) {
        return NotStarted(
            options.Json,
            QJsonDocument(JsonReport::NotStartedObject(QStringLiteral("cycle"), why,
                                                       QString::fromStdString(message)))
                .toJson(QJsonDocument::Compact),
            message, status);
    };
    try {
        settings.RunLock = std::make_shared<TRunLock>();
        result = TCycleRun::Run(settings, &TCliRun::WaitForStopSignal,
                                showProgress ? &std::cerr : nullptr);
    } catch (const ERunLocked& locked) {
        return notStarted(TNotStarted::Refused, locked.what(), AnotherRun);
    } catch (const ERunLockFailed& failed) {
        return notStarted(TNotStarted::StartFailed, failed.what(), LockUnusable);
    } catch (const std::exception& error) {
        return notStarted(TNotStarted::StartFailed,
                          std::string("cannot run the test: ") + error.what(), CannotStart);
    }
    if (result->Signal != 0) {
        Error(result->InterruptionText().toStdString());
        return options.Json ? Print((result->ToJson() + '\n').toStdString(), 128 + result->Signal)
                            : 128 + result->Signal;
    }
    int status = Print((options.Json ? result->ToJson() + '\n' : result->Table()).toStdString(),
                       result->Failed() ? 1 : 0);
    if (recordFile.IsOpen() && (!recordFile.Append(result->ToJson()) || !recordFile.Close())) {
        Error(recordFile.Error().Message().toStdString());
        status = WriteError;
    }
    if (!options.PrometheusPath.isEmpty()) {
        status = WriteMetrics(options.PrometheusPath, result->ToPrometheus(), status);
    }
    return status;
}

} // namespace

int main(int argc, char* argv[]) {
    // Before anything else, and before any thread starts so that every thread inherits it: a
    // stop signal waits for the main thread to take it. A write past a file-size limit or to a
    // closed pipe fails with an error instead of ending the program.
    StopSignals::Block();
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QFile::decodeName(argv[i]));
        // A file name whose bytes would not survive (not UTF-8) is refused, never written
        // under another name.
        if (QFile::encodeName(arguments.last()) != QByteArray(argv[i])) {
            Error(std::string("not a UTF-8 name, refused: ") + argv[i]);
            return BadArguments;
        }
    }
    const TCliArguments options = TCliArguments::Parse(arguments, UsableCpuList());
    switch (options.Action) {
    case TCliArguments::TAction::Help:
        return Print(TCliArguments::Usage().toStdString(), 0);
    case TCliArguments::TAction::Version:
        return Print("morvel-cli " MORVEL_VERSION "\n", 0);
    case TCliArguments::TAction::Error:
        std::cerr << options.ErrorMessage().toStdString() << std::flush;
        return BadArguments;
    case TCliArguments::TAction::SelfTest:
        return SelfTestCommand();
    case TCliArguments::TAction::Cycle:
    case TCliArguments::TAction::Run:
        break;
    }

    // Output files are checked before the run, so that a long stress test does not end in a
    // result with nowhere to go.
    // The metrics file is tried with the very operation the end of the run uses.
    DurableFile::TAppender recordFile;
    DurableFile::TResult opened;
    if (!options.RecordPath.isEmpty()) {
        opened = recordFile.Open(options.RecordPath, 0644);
    }
    if (opened && !options.PrometheusPath.isEmpty()) {
        opened = DurableFile::CanReplace(options.PrometheusPath);
    }
    if (!opened) {
        Error(opened.Message().toStdString());
        return BadArguments;
    }

    const bool showProgress = !options.Quiet && isatty(STDERR_FILENO) == 1;
    if (options.Action == TCliArguments::TAction::Cycle) {
        return CycleCommand(options, showProgress, recordFile);
    }

    TCliRun::TSettings settings;
    settings.Test = options.Test;
    settings.DurationIndex = options.DurationIndex;
    if (options.DurationIndex < 0) {
        settings.CustomTicks = static_cast<int>(options.StressSeconds);
        settings.CustomText = options.DurationText;
    }
    settings.Workers = options.Workers;
    if (options.PerCpu) {
        // One worker on each processor, so that a failure names the processor.
        settings.WorkerFactory = TWorkerTable::ThreadFactory(UsableCpuList());
        settings.Pinned = true;
    }
    settings.Format = TFormatSettings::FromSystem();
    settings.SleepInhibitor = SleepInhibitor();
    const TRunRecord planned = TCliRun::Planned(settings);
    using TNotStarted = TRunRecord::TNotStarted;
    const auto notStarted = [&](TNotStarted why, const std::string& message, int status) {
        return NotStarted(options.Json,
                          JsonReport::NotStarted(planned, why, QString::fromStdString(message)),
                          message, status);
    };
    std::optional<TRunRecord> run;
    try {
        settings.RunLock = std::make_shared<TRunLock>();
        run =
            TCliRun::Run(settings, &TCliRun::WaitForStopSignal, showProgress ? &std::cerr : nullptr,
                         options.RecordPath.isEmpty() ? nullptr : &recordFile);
    } catch (const ERunLocked& locked) {
        return notStarted(TNotStarted::Refused, locked.what(), AnotherRun);
    } catch (const ERunLockFailed& failed) {
        return notStarted(TNotStarted::StartFailed, failed.what(), LockUnusable);
    } catch (const std::exception& error) {
        // Typically the system refusing another thread; the workers already started are stopped.
        return notStarted(TNotStarted::StartFailed,
                          std::string("cannot run the test: ") + error.what(), CannotStart);
    }
    const TRunRecord& record = *run;

    int status = 0;
    if (record.Outcome == TRunRecord::TOutcome::Interrupted) {
        // Said on standard error whatever else was asked for; the result, the record's last line
        // and the metrics say it too, so that no earlier result passes for this one.
        Error(record.InterruptionText().toStdString());
        status = options.Json
                     ? Print((JsonReport::Result(record) + '\n').toStdString(), 128 + record.Signal)
                     : 128 + record.Signal;
    } else {
        const QByteArray text =
            (options.Json ? JsonReport::Result(record) : record.ResultLine()) + '\n';
        status = Print(text.toStdString(), record.Outcome == TRunRecord::TOutcome::Failed ? 1 : 0);
    }
    // The files asked for are output too: one that could not be written is no success.
    if (!options.PrometheusPath.isEmpty()) {
        status = WriteMetrics(options.PrometheusPath, PrometheusReport::Metrics(record), status);
    }
    if (!options.RecordPath.isEmpty() && !recordFile.Error()) {
        Error(recordFile.Error().Message().toStdString());
        status = WriteError;
    }
    return status;
}
