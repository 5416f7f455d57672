// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWorkerTable.h"

#include "TWorkload.h"

#include <utility>

TWorkerTable::Factory TWorkerTable::ThreadFactory(std::vector<int> cpus) {
    return TWorkload{}.Factory(std::move(cpus));
}

TWorkerTable::TWorkerTable(Factory workerFactory) : factory(std::move(workerFactory)) {}

void TWorkerTable::StartWorkers(int count) {
    StopWorkers();
    std::vector<std::shared_ptr<TWorker>> started;
    started.reserve(static_cast<std::size_t>(count));
    try {
        for (int slot = 0; slot < count; ++slot) {
            started.push_back(factory(slot));
        }
    } catch (...) {
        for (const auto& worker : started) {
            worker->RequestStop();
        }
        throw;
    }
    workers = std::move(started);
}

std::string TWorkerTable::SampleLine() const {
    std::string line;
    line.reserve(workers.size() * 18);
    for (const auto& worker : workers) {
        line += "  ";
        line += std::to_string(worker->Position());
    }
    return line;
}

std::vector<std::int64_t> TWorkerTable::StepCounts() const {
    std::vector<std::int64_t> counts;
    counts.reserve(workers.size());
    for (const auto& worker : workers) {
        counts.push_back(worker->StepCount());
    }
    return counts;
}

void TWorkerTable::StopWorkers() noexcept {
    for (const auto& worker : workers) {
        worker->RequestStop();
    }
}

std::int64_t TWorkerTable::LowestScore() noexcept {
    std::int64_t lowest = 0;
    bool first = true;
    for (const auto& worker : workers) {
        const std::int64_t score = worker->Score();
        if (first || score < lowest) {
            lowest = score;
            first = false;
        }
        worker->RequestStop();
    }
    return lowest;
}
