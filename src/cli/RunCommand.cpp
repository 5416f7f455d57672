// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "RunCommand.h"

#include "DurableFile.h"
#include "ResultWriter.h"
#include "TCycleRun.h"
#include "TSelfTest.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>

namespace RunCommand {
namespace {

// The exit status of a command that found a computation or hardware error: it wins over a write
// error (whose message is still printed), so that no script takes the error for a lost result.
constexpr int ErrorFound = 1;

// What the program prints on standard output; a failed write is reported and exits with 4
// rather than claim a result nobody received.
int Print(const TContext& context, const std::string& bytes, int status) {
    const DurableFile::TResult written = context.Out(bytes);
    if (!written) {
        context.Error("write error: " + written.Reason.toStdString());
        return WriteError;
    }
    return status;
}

// The writers the options chose, in the order they write: standard output and error, the live
// record, the metrics.
TResultWriters Writers(const TCliArguments& options, const TContext& context,
                       DurableFile::TAppender& recordFile) {
    TResultWriters writers;
    const TConsole console{context.Out, context.Error};
    if (options.Json) {
        writers.Add(std::make_unique<TJsonWriter>(console));
    } else {
        writers.Add(std::make_unique<TTextWriter>(console, options.Quiet));
    }
    if (!options.RecordPath.isEmpty()) {
        writers.Add(std::make_unique<TRecordWriter>(recordFile, context.Error));
    }
    if (!options.PrometheusPath.isEmpty()) {
        writers.Add(std::make_unique<TMetricsWriter>(options.PrometheusPath, context.Error));
    }
    return writers;
}

// The exit status once the writers had the test's end: `status`, or WriteError when an output
// could not be written (the files asked for are output too). A computation or hardware error
// found wins over both, so that no script takes it for a lost result.
int Status(const TResultWriter& writers, bool failed, int status) {
    return failed ? ErrorFound : writers.Written() ? status : WriteError;
}

// Starts a test and waits for its end. A test that did not start is told to `notStarted` (why,
// the message, the exit status), whose status is returned; none when the test ran.
template <class NotStarted>
std::optional<int> Refusal(const std::function<void()>& start, const NotStarted& notStarted) {
    using TNotStarted = TRunRecord::TNotStarted;
    try {
        start();
    } catch (const ERunLocked& locked) {
        return notStarted(TNotStarted::Refused, locked.what(), AnotherRun);
    } catch (const ERunLockFailed& failed) {
        return notStarted(TNotStarted::StartFailed, failed.what(), LockUnusable);
    } catch (const std::exception& error) {
        // Typically the system refusing another thread; the workers already started are stopped.
        return notStarted(TNotStarted::StartFailed,
                          std::string("cannot run the test: ") + error.what(), CannotStart);
    }
    return std::nullopt;
}

// Runs every fault kind against the checker and prints a table; 0 only when each was found in
// time and named the right worker, 1 when one was missed, late or pinned on the wrong worker,
// Inconclusive when the machine ran the workers too little to tell.
int SelfTestCommand(const TContext& context) {
    const std::shared_ptr<TRunLock> lock = context.RunLock();
    try {
        lock->Acquire();
    } catch (const ERunLocked& locked) {
        context.Error(locked.what());
        return AnotherRun;
    } catch (const ERunLockFailed& failed) {
        context.Error(failed.what());
        return LockUnusable;
    }
    using TVerdict = SelfTest::TOutcome::TVerdict;
    const std::vector<SelfTest::TCase> cases = SelfTest::AllCases();
    // The fault column as wide as its longest name, 16 at least.
    int width = 16;
    for (const SelfTest::TCase& testCase : cases) {
        width = std::max(width, static_cast<int>(SelfTest::Name(testCase).size()));
    }
    char header[320];
    std::snprintf(header, sizeof header,
                  "%-*s workers  detected  worker named  found after (allowed)\n", width, "fault");
    std::string table = header;
    const std::vector<SelfTest::TOutcome> outcomes = SelfTest::RunAll(
        cases, std::chrono::milliseconds(400), [&context](std::chrono::milliseconds tick) {
            return context.Wait(TCliRun::Clock::now() + tick);
        });
    // Stopped by a signal: no verdict, and the status a stopped run has.
    for (const SelfTest::TOutcome& outcome : outcomes) {
        if (outcome.Signal != 0) {
            context.Error("selftest interrupted by " + SignalName(outcome.Signal).toStdString() +
                          ": no verdict");
            return 128 + outcome.Signal;
        }
    }
    for (const SelfTest::TOutcome& outcome : outcomes) {
        const SelfTest::TCase& testCase = outcome.Case;
        const std::string after = outcome.After >= 0 ? std::to_string(outcome.After) : "-";
        const std::string why = outcome.Why().toStdString();
        char line[320];
        std::snprintf(line, sizeof line, "%-*s %7d  %-8s  %5d of %-4d  %5s %-6s (%lld)%s%s\n",
                      width, SelfTest::Name(testCase).c_str(), testCase.Workers,
                      outcome.Failed ? "yes" : "NO", outcome.NamedWorker.value_or(-2) + 1,
                      outcome.FaultySlot + 1, after.c_str(), outcome.Stall ? "ticks" : "blocks",
                      static_cast<long long>(outcome.Allowed), why.empty() ? "" : "  ",
                      why.c_str());
        table += line;
    }
    switch (SelfTest::Overall(outcomes)) {
    case TVerdict::Passed:
        table += "selftest passed: every fault was found and named\n";
        return Print(context, table, 0);
    case TVerdict::Inconclusive: {
        const auto unjudged = std::count_if(outcomes.begin(), outcomes.end(), [](const auto& row) {
            return row.Verdict() == TVerdict::Inconclusive;
        });
        table += "selftest inconclusive: the workers got too little processor time to judge " +
                 std::to_string(unjudged) + " of " + std::to_string(outcomes.size()) +
                 " faults; every other was found and named\n";
        return Print(context, table, Inconclusive);
    }
    case TVerdict::Late:
        table += "selftest FAILED: the checker found a fault later than allowed\n";
        return Print(context, table, 1);
    case TVerdict::NotDetected:
    case TVerdict::WrongWorker:
        break;
    }
    table += "selftest FAILED: the checker missed a fault\n";
    return Print(context, table, 1);
}

// One worker on each chosen processor in turn; the table (or JSON) says which erred.
int CycleCommand(const TCliArguments& options, const TContext& context, const TWorkload& workload,
                 TResultWriter& writers) {
    TCycleRun::TSettings settings;
    settings.Cpus = options.Cpus.empty() ? context.UsableCpus : options.Cpus;
    settings.Rounds = options.Rounds;
    settings.TicksPerCpu = options.PerCpuSeconds;
    settings.TickLength = context.TickLength;
    settings.Machine = context.Machine;
    settings.Workload = workload;
    settings.FactoryFor = [&context, workload = settings.Workload](int, int cpu) {
        return context.FactoryFor(workload, {cpu});
    };
    settings.SleepInhibitor = context.SleepInhibitor;
    std::optional<TCycleRun::TResult> result;
    using TNotStarted = TRunRecord::TNotStarted;
    const auto notStarted = [&](TNotStarted why, const std::string& message, int status) {
        writers.Refused({std::nullopt, why, QString::fromStdString(message)});
        return Status(writers, false, status);
    };
    if (const std::optional<int> refused = Refusal(
            [&] {
                settings.RunLock = context.RunLock();
                result = TCycleRun::Run(settings, context.Wait, context.Progress);
            },
            notStarted)) {
        return *refused;
    }
    if (result->Signal != 0) {
        writers.Interrupted(result->InterruptionText());
    }
    writers.CycleEnded(*result);
    return Status(writers, result->Failed(), result->Signal != 0 ? 128 + result->Signal : 0);
}

} // namespace

int Run(const TCliArguments& options, const TContext& context) {
    if (options.Action == TCliArguments::TAction::SelfTest) {
        return SelfTestCommand(context);
    }
    const bool cycle = options.Action == TCliArguments::TAction::Cycle;
    std::optional<TWorkload> workload;
    try {
        workload = TWorkload::For(options.Workload, options.Isa, options.MemoryBytes,
                                  cycle ? 1 : options.Workers, TMemoryInfo::Read());
    } catch (const std::invalid_argument& refused) {
        context.Error(std::string("error: --memory: ") + refused.what());
        return BadArguments;
    }
    // Output files are checked before the run, so that a long stress test does not end in a
    // result with nowhere to go. The metrics file is tried with the very operation the end of
    // the run uses.
    DurableFile::TAppender recordFile;
    DurableFile::TResult opened;
    if (!options.RecordPath.isEmpty()) {
        opened = recordFile.Open(options.RecordPath, 0644);
    }
    if (opened && !options.PrometheusPath.isEmpty()) {
        opened = DurableFile::CanReplace(options.PrometheusPath);
    }
    if (!opened) {
        context.Error(opened.Message().toStdString());
        return BadArguments;
    }
    TResultWriters writers = Writers(options, context, recordFile);
    if (cycle) {
        return CycleCommand(options, context, *workload, writers);
    }

    TCliRun::TSettings settings;
    settings.Test = options.Test;
    settings.DurationIndex = options.DurationIndex;
    if (options.DurationIndex < 0) {
        settings.CustomTicks = static_cast<int>(options.StressSeconds);
        settings.CustomText = options.DurationText;
    }
    settings.Workers = options.Workers;
    settings.TickLength = context.TickLength;
    settings.Workload = *workload;
    // With all, one worker on each processor, so that a failure names the processor.
    settings.WorkerFactory = context.FactoryFor(
        settings.Workload, options.PerCpu ? context.UsableCpus : std::vector<int>{});
    settings.Pinned = options.PerCpu;
    settings.Format = context.Format;
    settings.Machine = context.Machine;
    settings.SleepInhibitor = context.SleepInhibitor;
    if (!options.Quiet) {
        settings.Warned = [&context](const TWarning& warning) {
            context.Error(TCliRun::WarningLine(warning));
        };
    }
    using TNotStarted = TRunRecord::TNotStarted;
    const auto notStarted = [&](TNotStarted why, const std::string& message, int status) {
        writers.Refused({TCliRun::Planned(settings), why, QString::fromStdString(message)});
        return Status(writers, false, status);
    };
    std::optional<TRunRecord> run;
    if (const std::optional<int> refused = Refusal(
            [&] {
                settings.RunLock = context.RunLock();
                run = TCliRun::Run(settings, context.Wait, context.Progress, &writers);
            },
            notStarted)) {
        return *refused;
    }
    const bool interrupted = run->Outcome == TRunRecord::TOutcome::Interrupted;
    if (interrupted) {
        writers.Interrupted(run->InterruptionText());
    }
    writers.Ended(*run);
    return Status(writers, run->Outcome == TRunRecord::TOutcome::Failed,
                  interrupted ? 128 + run->Signal : 0);
}

} // namespace RunCommand
