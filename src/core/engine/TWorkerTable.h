// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TWorker.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The workers of a test run, with the operations a run performs on all of them. Used from one
// thread only; no operation ever waits for a worker.
//
// Workers are made by a factory handed in: the program's starts real workers of a workload;
// tests hand in stand-ins.
class TWorkerTable {
public:
    using Factory = TWorkerFactory;

    // Real workers of the default workload; given processors, the worker of slot i runs on
    // cpus[i % size] only.
    static Factory ThreadFactory(std::vector<int> cpus = {});

    explicit TWorkerTable(Factory factory = ThreadFactory());
    // The factory of the starts from now on.
    void SetFactory(Factory newFactory) { factory = std::move(newFactory); }
    // Tells the workers to stop (never waits): a table let go in the middle of a run, with the
    // engine or window that held it, leaves nothing spinning.
    ~TWorkerTable() { StopWorkers(); }
    TWorkerTable(const TWorkerTable&) = delete;
    TWorkerTable& operator=(const TWorkerTable&) = delete;

    // Starts `count` workers, slot 0 first. Workers of an earlier start that may still be running
    // are told to stop first, so two runs never load the machine at once. All or nothing: when a
    // worker cannot be started, those already started are stopped again, the table keeps its
    // stopped workers and the error goes to the caller.
    void StartWorkers(int count);

    // The slots of the last complete start (0 before the first).
    int Count() const noexcept { return static_cast<int>(workers.size()); }

    // Every worker's position, slot 0 first, each after two spaces.
    std::string SampleLine() const;

    // Every worker's step count, slot 0 first.
    std::vector<std::int64_t> StepCounts() const;

    // Tells every worker to stop. Returns at once.
    void StopWorkers() noexcept;

    // Reads each worker's score and stops it right after, slot 0 first; returns the lowest
    // (0 for an empty table).
    std::int64_t LowestScore() noexcept;

    // The worker in a slot, 0 to Count() - 1.
    const std::shared_ptr<TWorker>& operator[](int slot) const {
        return workers.at(static_cast<std::size_t>(slot));
    }
    const std::vector<std::shared_ptr<TWorker>>& Workers() const noexcept { return workers; }

private:
    Factory factory;
    std::vector<std::shared_ptr<TWorker>> workers;
};
