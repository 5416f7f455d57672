// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TAllKernel.h"

#include "TMemoryKernel.h"
#include "TWorkload.h"

#include <span>
#include <utility>

std::vector<const TWorkloadEntry*> TAllKernel::Parts() {
    std::vector<const TWorkloadEntry*> parts;
    for (const TWorkloadKind kind : Workloads::All()) {
        if (kind->Kernel != nullptr) {
            parts.push_back(kind);
        }
    }
    return parts;
}

namespace {

// The number of parts, and part k, without allocating (the engine asks at every tick).
std::int64_t PartCount() noexcept {
    std::int64_t n = 0;
    for (const TWorkloadKind kind : Workloads::All()) {
        n += kind->Kernel != nullptr ? 1 : 0;
    }
    return n;
}

const TWorkloadEntry* PartAt(std::int64_t k) noexcept {
    for (const TWorkloadKind kind : Workloads::All()) {
        if (kind->Kernel != nullptr && k-- == 0) {
            return kind;
        }
    }
    return nullptr;
}

// The run's workload as one of its parts sees it: the same settings, its own kind.
TWorkload PartOf(const TWorkload& workload, const TWorkloadEntry* part) {
    TWorkload of = workload;
    of.Kind = part;
    return of;
}

// Work with the faults handed in, as TBlockThread runs it.
struct TAllWork {
    TAllKernel Kernel;
    template <class Progress>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress) {
        return Kernel.Run(block, progress);
    }
};

// By value, as every entry's Start takes it; each part's kernel keeps its own share.
std::shared_ptr<TWorker>
StartAll(const TWorkload& workload, int cpu,
         std::shared_ptr<const TFaultHook> faults) { // NOLINT(performance-unnecessary-value-param)
    std::vector<std::unique_ptr<TBlockKernel>> kernels;
    for (const TWorkloadEntry* part : TAllKernel::Parts()) {
        kernels.push_back(part->Kernel(PartOf(workload, part), cpu, faults));
    }
    return TThread::Start<TBlockThread<TAllWork>>(TAllWork{TAllKernel(std::move(kernels))}, cpu,
                                                  TMemoryKernel::RingSlots);
}

TBlockChecker::Compute AllCompute(const TWorkload& workload) {
    std::vector<TBlockChecker::Compute> computes;
    for (const TWorkloadEntry* part : TAllKernel::Parts()) {
        computes.push_back(part->Compute(PartOf(workload, part)));
    }
    return [computes = std::move(computes)](std::int64_t block) {
        const auto n = static_cast<std::int64_t>(computes.size());
        return computes[static_cast<std::size_t>(block % n)](block / n);
    };
}

// The steps of each part's blocks before `block`: part k has had those of the blocks below
// `block` that are k modulo n.
std::int64_t AllStepsBefore(const TWorkload& workload, std::int64_t block) noexcept {
    const std::int64_t n = PartCount();
    std::int64_t steps = 0;
    for (std::int64_t k = 0; k < n; ++k) {
        const TWorkloadEntry* part = PartAt(k);
        steps += part->StepsBefore(PartOf(workload, part), block > k ? (block - k + n - 1) / n : 0);
    }
    return steps;
}

std::optional<std::pair<std::int64_t, std::int64_t>> AllRange(std::int64_t block) noexcept {
    const std::int64_t n = PartCount();
    if (n == 0) {
        return std::nullopt;
    }
    const TWorkloadEntry* part = PartAt(block % n);
    return part->BlockRange != nullptr ? part->BlockRange(block / n) : std::nullopt;
}

} // namespace

// No self-test rows of its own: each part's rows test its kernel.
const TWorkloadEntry AllWorkload{
    "all",
    "every workload in turn, block by block",
    "steps/s",
    true,
    true,
    &StartAll,
    &AllCompute,
    &AllStepsBefore,
    {},
    &Workloads::BlockFault,
    &Workloads::FaultyBlock,
    nullptr,
    &AllRange,
};
