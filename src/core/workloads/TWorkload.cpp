// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWorkload.h"

#include "TBlockThread.h"
#include "TMixKernel.h"
#include "TWorkloadWork.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

const char* TWorkload::Name(TWorkloadKind kind) noexcept {
    switch (kind) {
    case TWorkloadKind::Fma:
        return "fma";
    case TWorkloadKind::Memory:
        return "memory";
    case TWorkloadKind::Mix:
        return "mix";
    case TWorkloadKind::Divide:
        break;
    }
    return "divide";
}

std::optional<TWorkloadKind> TWorkload::FromName(const char* name) noexcept {
    for (const TWorkloadKind kind : Kinds) {
        if (std::strcmp(name, Name(kind)) == 0) {
            return kind;
        }
    }
    return std::nullopt;
}

std::int64_t TWorkload::MemoryBytesPerWorker() const noexcept {
    return UsesMemory() ? MemoryBlocks * TMemoryKernel::BlockBytes : 0;
}

std::optional<std::int64_t> TWorkload::MemoryBlocksFor(std::optional<std::int64_t> total,
                                                       int workers, const TMemoryInfo& info) {
    const std::int64_t count = std::max(workers, 1);
    const std::int64_t block = TMemoryKernel::BlockBytes;
    if (total) {
        const std::int64_t blocks = *total / count / block;
        return blocks >= 1 ? std::optional<std::int64_t>(blocks) : std::nullopt;
    }
    const std::int64_t available = info.AvailableBytes.value_or(0);
    std::int64_t blocks = available / 2 / count / block;
    const std::int64_t cacheBlocks = (4 * info.LastLevelCacheBytes.value_or(0) + block - 1) / block;
    blocks = std::max(blocks, std::min(cacheBlocks, available / 4 * 3 / count / block));
    return std::max<std::int64_t>(blocks, 1);
}

TWorkload TWorkload::For(TWorkloadKind kind, std::optional<TFmaIsa> isa,
                         std::optional<std::int64_t> memoryBytes, int workers,
                         const TMemoryInfo& info) {
    TWorkload workload;
    workload.Kind = kind;
    if (workload.UsesFma()) {
        workload.Isa = isa.value_or(TFmaKernel::Best());
    }
    if (workload.UsesMemory()) {
        const auto blocks = MemoryBlocksFor(memoryBytes, workers, info);
        if (!blocks) {
            throw std::invalid_argument("too little memory for the workers");
        }
        workload.MemoryBlocks = *blocks;
    }
    return workload;
}

TWorkerFactory TWorkload::Factory(std::vector<int> cpus) const {
    if (Kind == TWorkloadKind::Divide) {
        return [cpus = std::move(cpus)](int slot) -> std::shared_ptr<TWorker> {
            return SThread::Start(SThread::StartCandidate, CpuForSlot(cpus, slot));
        };
    }
    return [workload = *this, cpus = std::move(cpus)](int slot) -> std::shared_ptr<TWorker> {
        return StartWorker(workload, CpuForSlot(cpus, slot), TNoFmaFault{}, TNoMemoryFault{});
    };
}

TBlockChecker::Compute TWorkload::Compute() const {
    switch (Kind) {
    case TWorkloadKind::Fma:
        return
            [kernel = TFmaKernel(Isa)](std::int64_t block) { return kernel.ComputeBlock(block); };
    case TWorkloadKind::Memory:
        return [blocks = MemoryBlocks](std::int64_t block) {
            return TMemoryKernel::ComputeBlock(block, blocks);
        };
    case TWorkloadKind::Mix:
        return [isa = Isa, blocks = MemoryBlocks](std::int64_t block) {
            return TMixKernel<>::ComputeBlock(block, isa, blocks);
        };
    case TWorkloadKind::Divide:
        break;
    }
    return &Workload::ComputeBlock;
}

std::int64_t TWorkload::StepsBefore(std::int64_t block) const noexcept {
    switch (Kind) {
    case TWorkloadKind::Fma:
        return block * TFmaKernel::StepsPerBlock(Isa);
    case TWorkloadKind::Memory:
        return block * TMemoryKernel::StepsPerBlock();
    case TWorkloadKind::Mix:
        return TMixKernel<>::StepsBefore(block, Isa);
    case TWorkloadKind::Divide:
        break;
    }
    return block * Workload::BlockDivisions;
}
