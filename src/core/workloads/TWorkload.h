// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockChecker.h"
#include "TFmaKernel.h"
#include "TMemoryInfo.h"
#include "TWorker.h"

#include <cstdint>
#include <optional>
#include <vector>

// What the workers of a run compute. Scores compare only within one workload.
enum class TWorkloadKind {
    Divide, // trial division (the program's own, and the default)
    Fma,    // fused multiply-adds on the widest vectors of the processor
    Memory, // writes, reads back and verifies a buffer of each worker's
    Mix,    // the three in turn, block by block
};

// The workload of a run with its settings: it makes the run's workers and the checker's
// computation of any block, which belong together.
struct TWorkload {
    TWorkloadKind Kind = TWorkloadKind::Divide;
    TFmaIsa Isa = TFmaIsa::Plain;  // fma and mix: the instruction set of every worker
    std::int64_t MemoryBlocks = 0; // memory and mix: each worker's buffer, in blocks

    // Every workload, the default first.
    static constexpr TWorkloadKind Kinds[] = {TWorkloadKind::Divide, TWorkloadKind::Fma,
                                              TWorkloadKind::Memory, TWorkloadKind::Mix};
    // "divide", "fma", "memory" or "mix".
    static const char* Name(TWorkloadKind kind) noexcept;
    static std::optional<TWorkloadKind> FromName(const char* name) noexcept;
    const char* Name() const noexcept { return Name(Kind); }
    bool UsesFma() const noexcept {
        return Kind == TWorkloadKind::Fma || Kind == TWorkloadKind::Mix;
    }
    bool UsesMemory() const noexcept {
        return Kind == TWorkloadKind::Memory || Kind == TWorkloadKind::Mix;
    }
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
    TBlockChecker::Compute Compute() const;
    // The steps (the workers' count) done before `block` begins.
    std::int64_t StepsBefore(std::int64_t block) const noexcept;
};
