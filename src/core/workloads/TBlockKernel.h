// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockChecker.h"
#include "TBlockRing.h"
#include "TBlockThread.h"
#include "TFaultHook.h"
#include "TThread.h"
#include "TWorker.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

struct TWorkload;

// What a block kernel tells and asks as it goes (see TBlockThread), behind one interface: for a
// worker that runs several workloads' kernels in turn.
class TBlockProgress {
public:
    virtual ~TBlockProgress() = default;
    virtual bool Stop() const noexcept = 0;
    virtual void Add(std::int64_t steps) noexcept = 0;
    virtual void Mismatch(const TWordFault& fault) noexcept = 0;
};

// A block workload's kernel without a thread of its own: block `block`'s checksum, or none when
// `progress` said to stop.
class TBlockKernel {
public:
    virtual ~TBlockKernel() = default;
    virtual std::optional<std::uint64_t> Run(std::int64_t block, TBlockProgress& progress) = 0;
};

// The progress of a block the checker computes: never stopped, counted by nobody.
struct TQuietProgress {
    bool Stop() const noexcept { return false; }
    void Add(std::int64_t) noexcept {}
    void Mismatch(const TWordFault&) noexcept {}
};

// The checker's computation of a block by a kernel of its own (its ComputeBlock), made once and
// kept between blocks with its contexts and buffers, one block at a time whoever asks.
template <class Kernel> TBlockChecker::Compute SharedCompute() {
    struct TShared {
        std::mutex Lock;
        Kernel Of;
    };
    return [shared = std::make_shared<TShared>()](std::int64_t block) {
        const std::lock_guard<std::mutex> hold(shared->Lock);
        return shared->Of.ComputeBlock(block);
    };
}

// A TBlockThread's progress behind the interface.
template <class Progress> class TProgressOf final : public TBlockProgress {
public:
    explicit TProgressOf(Progress& of) : progress(of) {}
    bool Stop() const noexcept override { return progress.Stop(); }
    void Add(std::int64_t steps) noexcept override { progress.Add(steps); }
    void Mismatch(const TWordFault& fault) noexcept override { progress.Mismatch(fault); }

private:
    Progress& progress;
};

// A kernel with its faults behind the interface.
template <class Work> class TKernelOf final : public TBlockKernel {
public:
    explicit TKernelOf(Work of) : work(std::move(of)) {}
    std::optional<std::uint64_t> Run(std::int64_t block, TBlockProgress& progress) override {
        return work.Run(block, progress);
    }

private:
    Work work;
};

// The Start and Kernel of a block workload's table entry. `Make` builds its kernel for a worker
// on `cpu` (-1: anywhere) of the run's workload; the kernel's Run(block, progress, fault) asks
// `fault` at the points where it may err: NoFault's do nothing (the program's), HookFault{hook}
// asks a test's hook.
template <class TKernel, class NoFault, class HookFault, TKernel (*Make)(const TWorkload&, int),
          std::size_t RingSlots = TBlockRing::DefaultCapacity>
struct TBlockEntry {
    static std::shared_ptr<TWorker> Start(const TWorkload& workload, int cpu,
                                          std::shared_ptr<const TFaultHook> faults) {
        if (!faults) {
            return StartWith(workload, cpu, NoFault{});
        }
        return StartWith(workload, cpu, HookFault{std::move(faults)});
    }
    static std::unique_ptr<TBlockKernel> Kernel(const TWorkload& workload, int cpu,
                                                const std::shared_ptr<const TFaultHook>& faults) {
        if (!faults) {
            return KernelWith(workload, cpu, NoFault{});
        }
        return KernelWith(workload, cpu, HookFault{faults});
    }

private:
    template <class Fault>
    static std::shared_ptr<TWorker> StartWith(const TWorkload& workload, int cpu, Fault fault) {
        using TWork = TKernelWork<TKernel, Fault>;
        return TThread::Start<TBlockThread<TWork>>(TWork{Make(workload, cpu), std::move(fault)},
                                                   cpu, RingSlots);
    }
    template <class Fault>
    static std::unique_ptr<TBlockKernel> KernelWith(const TWorkload& workload, int cpu,
                                                    Fault fault) {
        using TWork = TKernelWork<TKernel, Fault>;
        return std::make_unique<TKernelOf<TWork>>(TWork{Make(workload, cpu), std::move(fault)});
    }
};
