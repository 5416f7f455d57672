// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockChecker.h"
#include "TBlockKernel.h"
#include "TFaultHook.h"
#include "TFmaKernel.h"
#include "TMemoryInfo.h"
#include "TWorker.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

struct TWorkload;

// A check of the workers' published state against the path a workload is known to take, beside
// the comparison of their blocks. One per run, asked once per tick.
class TPathCheck {
public:
    virtual ~TPathCheck() = default;
    // Forgets what it saw; the run has `slotCount` slots.
    virtual void Reset(int slotCount) = 0;
    // The first slot whose worker is off the known path, or nothing. A slot may be empty.
    virtual std::optional<int> Check(const std::vector<std::shared_ptr<TWorker>>& workers) = 0;
};

// A row of the self-test for a workload: its fault with 1, 2, 3 and 15 workers, the counts below
// MinWorkers left out.
struct TSelfTestRow {
    TFault::TKind Kind = TFault::TKind::WrongRemainder;
    int MinWorkers = 1;
    const char* Name = nullptr; // the row's name in the table; none: the fault's
};

// One workload: everything the engine, the checker, fault injection and the front ends know of
// it. Each workload defines its entry beside its kernel; the table lists them.
struct TWorkloadEntry {
    const char* Name;     // as --workload takes it and result lines name it
    const char* Summary;  // what it loads, in a few words
    const char* RateUnit; // its workers' steps per second, as the progress line says it
    bool TakesIsa;        // its workers run fused multiply-adds of an instruction set
    bool TakesMemory;     // its workers walk buffers of memory
    // Starts a worker on `cpu` (-1: anywhere): the program's when `faults` is empty, else one
    // whose kernel asks `faults` at each point where it may err.
    std::shared_ptr<TWorker> (*Start)(const TWorkload& workload, int cpu,
                                      std::shared_ptr<const TFaultHook> faults);
    // The checker's computation of one block.
    TBlockChecker::Compute (*Compute)(const TWorkload& workload);
    // The steps (the workers' count) done before `block` begins.
    std::int64_t (*StepsBefore)(const TWorkload& workload, std::int64_t block) noexcept;
    // The self-test's rows; where a row's fault goes with `workers` workers; the block whose
    // checksum shows it.
    std::span<const TSelfTestRow> SelfTest;
    TFault (*PlaceFault)(TFault::TKind kind, int workers) noexcept;
    std::int64_t (*ShowingBlock)(const TFault& fault, const TWorkload& workload) noexcept;
    // Optional: the known path of its workers, and the range a block covers for the result
    // texts (its first and last divisor, for a block of divisions).
    std::unique_ptr<TPathCheck> (*PathCheck)() = nullptr;
    std::optional<std::pair<std::int64_t, std::int64_t>> (*BlockRange)(
        std::int64_t block) noexcept = nullptr;
    // Optional: its kernel without a thread (see TBlockEntry), for the worker that runs every
    // workload in turn; the workloads that have one take part.
    std::unique_ptr<TBlockKernel> (*Kernel)(const TWorkload& workload, int cpu,
                                            const std::shared_ptr<const TFaultHook>& faults) =
        nullptr;
};

// The workload of a run is named by its entry.
using TWorkloadKind = const TWorkloadEntry*;

// The table of workloads, the default first.
namespace Workloads {
std::span<const TWorkloadKind> All() noexcept;
TWorkloadKind Default() noexcept;
// The workload of that name, or none.
std::optional<TWorkloadKind> Find(const char* name) noexcept;
// Adds a workload to the table (a test's own).
void Register(const TWorkloadEntry& entry);

// The fault of a block workload's self-test row: with two or more workers one block goes
// wrong, the second; a lone worker, whose blocks the checker only samples, errs in every block.
TFault BlockFault(TFault::TKind kind, int workers) noexcept;
std::int64_t FaultyBlock(const TFault& fault, const TWorkload& workload) noexcept;
} // namespace Workloads

// The workload of a run with its settings: it makes the run's workers and the checker's
// computation of any block, which belong together.
struct TWorkload {
    TWorkloadKind Kind = Workloads::Default();
    TFmaIsa Isa = TFmaIsa::Plain;  // fma and mix: the instruction set of every worker
    std::int64_t MemoryBlocks = 0; // memory and mix: each worker's buffer, in blocks

    static const char* Name(TWorkloadKind kind) noexcept { return kind->Name; }
    static std::optional<TWorkloadKind> FromName(const char* name) noexcept {
        return Workloads::Find(name);
    }
    const char* Name() const noexcept { return Name(Kind); }
    bool IsDefault() const noexcept { return Kind == Workloads::Default(); }
    bool UsesFma() const noexcept { return Kind->TakesIsa; }
    bool UsesMemory() const noexcept { return Kind->TakesMemory; }
    std::int64_t MemoryBytesPerWorker() const noexcept;

    // The smallest buffer a worker takes, and the buffer of each of `workers` workers: `total`
    // shared out when given (none when that is less than the smallest), else half of the
    // available memory shared out, at least four times the last-level cache each as long as
    // three quarters of the available memory hold it.
    static constexpr std::int64_t MinBytesPerWorker = std::int64_t{16} << 20;
    static std::optional<std::int64_t> MemoryBlocksFor(std::optional<std::int64_t> total,
                                                       int workers, const TMemoryInfo& info);
    // Whether buffers of `total` bytes fit in the memory available (they do when it is not
    // known): more would end in an allocation failure or the kernel's out-of-memory killer.
    static bool MemoryFits(std::int64_t total, const TMemoryInfo& info) noexcept {
        return !info.AvailableBytes || total <= *info.AvailableBytes;
    }

    // The workload of a run of `workers` workers: the instruction set given or the widest the
    // processor runs, and the memory given (all workers' together) or sized by `info`. Throws
    // std::invalid_argument when the memory given is less than the smallest buffer each.
    static TWorkload For(TWorkloadKind kind, std::optional<TFmaIsa> isa,
                         std::optional<std::int64_t> memoryBytes, int workers,
                         const TMemoryInfo& info);

    // Starts the workers: slot i on cpus[i % size] when processors are given.
    TWorkerFactory Factory(std::vector<int> cpus = {}) const;
    // The checker's computation of one block.
    TBlockChecker::Compute Compute() const { return Kind->Compute(*this); }
    // The steps (the workers' count) done before `block` begins.
    std::int64_t StepsBefore(std::int64_t block) const noexcept {
        return Kind->StepsBefore(*this, block);
    }
};
