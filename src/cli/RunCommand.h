// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "DurableFile.h"
#include "TCliArguments.h"
#include "TCliRun.h"
#include "TWorkload.h"

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// What morvel-cli does with its parsed command line: runs the benchmark, stress test, cycle or
// self-test it asks for, prints the result, writes the files asked for, and works out the exit
// status. Everything that reaches outside the process is handed in, so that the whole command
// also runs in process with stand-in workers and short ticks.
namespace RunCommand {

// Exit statuses besides 0 (completed), 1 (computation error found) and 128 + a stop signal.
constexpr int BadArguments = 2;
constexpr int CannotStart = 3;
constexpr int WriteError = 4;
constexpr int AnotherRun = 5;
constexpr int LockUnusable = 6; // the run lock's folder or file cannot be used
// selftest: the workers got too little processor time to show each fault found or missed.
constexpr int Inconclusive = 7;

struct TContext {
    // The processors this process may run on.
    std::vector<int> UsableCpus;
    // The workers of a run on `cpus` (none: not pinned).
    std::function<TWorkerTable::Factory(const TWorkload& workload, const std::vector<int>& cpus)>
        FactoryFor = [](const TWorkload& workload, const std::vector<int>& cpus) {
            return workload.Factory(cpus);
        };
    std::chrono::milliseconds TickLength = TTestPlan::TickInterval;
    TCliRun::Waiter Wait = &TCliRun::WaitForStopSignal;
    // The run lock of a run; made afresh for each.
    std::function<std::shared_ptr<TRunLock>()> RunLock = [] {
        return std::make_shared<TRunLock>();
    };
    std::shared_ptr<TSleepInhibitor> SleepInhibitor;
    std::optional<TSystemPaths> Machine = TSystemPaths{};
    TFormatSettings Format = TFormatSettings::FromSystem();
    // Writes to standard output, all of it, or says why it could not.
    std::function<DurableFile::TResult(const std::string&)> Out;
    // One line for standard error, without the program's name.
    std::function<void(const std::string&)> Error;
    // Where the status line goes while a run is under way; none: nowhere.
    std::ostream* Progress = nullptr;
};

// The exit status of the command `options` (whose Action is neither Help, Version nor Error).
int Run(const TCliArguments& options, const TContext& context);

} // namespace RunCommand
