// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockThread.h"
#include "TMixKernel.h"
#include "TWorkload.h"

#include <memory>
#include <stdexcept>
#include <utility>

// The kernels of the block workloads with the faults they run with: the program's do nothing,
// a test's err (TFaultInjection). Each is the Kernel of a TBlockThread.
template <class Kernel, class Fault> struct TKernelWork {
    Kernel Work;
    Fault Faults;
    template <class Progress>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress) {
        return Work.Run(block, progress, Faults);
    }
};

// Starts one worker of a block workload (not the division's) on `cpu` (-1: anywhere).
template <class FmaFault, class MemoryFault>
std::shared_ptr<TWorker> StartWorker(const TWorkload& workload, int cpu, FmaFault fmaFault,
                                     MemoryFault memoryFault) {
    switch (workload.Kind) {
    case TWorkloadKind::Fma:
        return TThread::Start<TBlockThread<TKernelWork<TFmaKernel, FmaFault>>>(
            TKernelWork<TFmaKernel, FmaFault>{TFmaKernel(workload.Isa), std::move(fmaFault)}, cpu);
    case TWorkloadKind::Memory:
        return TThread::Start<TBlockThread<TKernelWork<TMemoryKernel, MemoryFault>>>(
            TKernelWork<TMemoryKernel, MemoryFault>{TMemoryKernel(workload.MemoryBlocks),
                                                    std::move(memoryFault)},
            cpu, TMemoryKernel::RingSlots);
    case TWorkloadKind::Mix:
        return TThread::Start<TBlockThread<TMixKernel<FmaFault, MemoryFault>>>(
            TMixKernel<FmaFault, MemoryFault>(workload.Isa, workload.MemoryBlocks,
                                              std::move(fmaFault), std::move(memoryFault)),
            cpu);
    case TWorkloadKind::Divide:
        break;
    }
    throw std::invalid_argument("the division's worker is SThread");
}
