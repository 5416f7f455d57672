// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TBlockRing;

// A word of memory that did not read back what was written: where, and which bits differ.
struct TWordFault {
    std::uint64_t Address = 0; // in the worker's address space
    std::int64_t Offset = 0;   // the word's offset in the worker's buffer, in bytes
    std::uint64_t Bits = 0;    // the bits that differ
};

// What a run needs of one worker, whatever its workload: its published state, read from another
// thread at any moment, and a stop request that returns at once. Each workload has its own
// worker; tests hand in stand-ins through the worker table's factory.
class TWorker {
public:
    static constexpr std::int64_t ScoreUnit = 100000; // steps per point of score

    TWorker() = default;
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;
    virtual ~TWorker() = default;

    // Where the worker is, as the list of workers shows it: its workload's own measure (the
    // next trial divisor of the division, the block under way of a block workload).
    virtual std::int64_t Position() const noexcept = 0;
    // Steps of its workload done since the start (the division's are trial divisions).
    virtual std::int64_t StepCount() const noexcept = 0;
    // The checksums of the worker's last blocks, or none for a worker that keeps
    // none.
    virtual const TBlockRing* Blocks() const noexcept { return nullptr; }
    // The first word of its memory that did not read back, for a worker that walks memory.
    virtual std::optional<TWordFault> WordFault() const noexcept { return std::nullopt; }

    // The processor time the worker's thread has had, or none when the system does not say.
    virtual std::optional<std::chrono::nanoseconds> CpuTime() const noexcept {
        return std::nullopt;
    }

    // Asks the worker to stop at its next check. Never waits.
    virtual void RequestStop() noexcept = 0;
    virtual bool StopRequested() const noexcept = 0;
    // True once the worker's body has returned.
    virtual bool Finished() const noexcept = 0;

    // Steps done, in units of ScoreUnit.
    std::int64_t Score() const noexcept { return StepCount() / ScoreUnit; }
};

// Starts the worker of one slot (0 first) and returns it running. Throws when the system refuses
// (typically std::system_error from a thread that cannot be created).
using TWorkerFactory = std::function<std::shared_ptr<TWorker>(int slot)>;

// The processor of the worker in `slot` when the run's workers go round `cpus` in turn, or -1
// (anywhere) when no processors are given.
inline int CpuForSlot(const std::vector<int>& cpus, int slot) noexcept {
    return cpus.empty() ? -1 : cpus[static_cast<std::size_t>(slot) % cpus.size()];
}
