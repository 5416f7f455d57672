// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWorkload.h"

#include "TMemoryKernel.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

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
    return [workload = *this, cpus = std::move(cpus)](int slot) {
        return workload.Kind->Start(workload, CpuForSlot(cpus, slot), nullptr);
    };
}
