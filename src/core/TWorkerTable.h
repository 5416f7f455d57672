#pragma once

#include "SThreadUnit.h"
#include "TVerifier.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

// The fifteen workers of a test run, with the operations a run performs on all of them.
// Used from one thread only; no operation ever waits for a worker.
//
// Worker is SThread in the program. Tests put a stand-in there that has the same four members:
// a static Start(startValue) that returns a shared_ptr to a running worker, CurrentDivisor(),
// Score() and RequestStop().
template <class Worker> class TWorkerTableOf {
public:
    static constexpr int WorkerCount = 15;
    static_assert(WorkerCount == TVerifier::SlotCount);
    static constexpr std::int64_t StartCandidate = 99999999999999; // 10^14 - 1
    using StartValues = std::array<std::int64_t, WorkerCount>;

    // StartCandidate in every slot.
    static StartValues AllStartCandidate() {
        StartValues values;
        values.fill(StartCandidate);
        return values;
    }

    // Starts fifteen workers on StartCandidate, slot 0 first. Workers of an earlier start that
    // may still be running are told to stop first, so two runs never load the machine at once.
    void StartWorkers() { StartWorkers(AllStartCandidate()); }

    // The same with a start value per slot. All or nothing: when a worker cannot be started
    // (the system refuses another thread), those already started are stopped again, the table
    // keeps its stopped workers and the error goes to the caller.
    void StartWorkers(const StartValues& values) {
        StopWorkers();
        std::array<std::shared_ptr<Worker>, WorkerCount> started{};
        try {
            for (int slot = 0; slot < WorkerCount; ++slot) {
                started[Index(slot)] = Worker::Start(values[Index(slot)]);
            }
        } catch (...) {
            for (const auto& worker : started) {
                if (worker) {
                    worker->RequestStop();
                }
            }
            throw;
        }
        WorkerTable = std::move(started);
    }

    // Every worker's current divisor, slot 0 first, each after two spaces.
    std::string SampleLine() const {
        std::string line;
        line.reserve(WorkerCount * 18);
        for (const auto& worker : WorkerTable) {
            line += "  ";
            line += std::to_string(worker ? worker->CurrentDivisor() : 0);
        }
        return line;
    }

    // Tells every worker to stop. Returns at once.
    void StopWorkers() noexcept {
        for (const auto& worker : WorkerTable) {
            if (worker) {
                worker->RequestStop();
            }
        }
    }

    // Reads each worker's score and stops it right after, slot 0 first; returns the lowest.
    std::int64_t LowestScore() noexcept {
        std::int64_t lowest = 0;
        for (int slot = 0; slot < WorkerCount; ++slot) {
            const auto& worker = WorkerTable[Index(slot)];
            const std::int64_t score = worker ? worker->Score() : 0;
            if (slot == 0 || score < lowest) {
                lowest = score;
            }
            if (worker) {
                worker->RequestStop();
            }
        }
        return lowest;
    }

    // The worker in a slot (empty before the first start).
    const std::shared_ptr<Worker>& operator[](int slot) const { return WorkerTable[Index(slot)]; }

private:
    static std::size_t Index(int slot) { return static_cast<std::size_t>(slot); }

    std::array<std::shared_ptr<Worker>, WorkerCount> WorkerTable{};
};

using TWorkerTable = TWorkerTableOf<SThread>;
