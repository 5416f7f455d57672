// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "SThreadUnit.h"
#include "TBlockRing.h"
#include "TMemoryKernel.h"
#include "TThread.h"
#include "TWorker.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

// A worker of a block workload other than the division search: it runs its kernel's blocks 0,
// 1, 2... until it is asked to stop, publishes each block's checksum in its ring exactly as the
// division worker does, and its steps as its count. Its position is the block under way.
//
// A kernel has Run(block, progress) giving the block's checksum, or none when progress.Stop()
// said to stop; it tells progress.Add(steps) as it goes and progress.Mismatch(fault) for a
// word that did not read back.
template <class Kernel> class TBlockThread : public TThread, public TWorker {
public:
    // ringSlots: the block results kept for the checker, several ticks' worth at the kernel's
    // block rate.
    explicit TBlockThread(Kernel work, int cpu = -1,
                          std::size_t ringSlots = TBlockRing::DefaultCapacity)
        : TThread(cpu), kernel(std::move(work)), ring(ringSlots) {}

    std::int64_t Position() const noexcept override {
        return block.load(std::memory_order_relaxed);
    }
    std::int64_t StepCount() const noexcept override {
        return steps.load(std::memory_order_relaxed);
    }
    const TBlockRing* Blocks() const noexcept override { return &ring; }
    std::optional<TWordFault> WordFault() const noexcept override {
        // Acquired with the flag: the fields were stored before it was raised.
        if (!faultSeen.load(std::memory_order_acquire)) {
            return std::nullopt;
        }
        return firstFault;
    }
    void RequestStop() noexcept override { TThread::RequestStop(); }
    bool StopRequested() const noexcept override { return TThread::StopRequested(); }
    bool Finished() const noexcept override { return TThread::Finished(); }
    std::optional<std::chrono::nanoseconds> CpuTime() const noexcept override {
        return TThread::CpuTime();
    }

protected:
    void Execute() override {
        TProgress progress{this};
        for (std::int64_t number = 0;; ++number) {
            block.store(number, std::memory_order_relaxed);
            const std::optional<std::uint64_t> checksum = kernel.Run(number, progress);
            if (!checksum) {
                return;
            }
            ring.Publish({number, *checksum, CurrentCpu()});
        }
    }

private:
    struct TProgress {
        TBlockThread* worker;
        std::int64_t done = 0;
        bool Stop() const noexcept { return worker->TThread::StopRequested(); }
        void Add(std::int64_t count) noexcept {
            done += count;
            worker->steps.store(done, std::memory_order_relaxed);
        }
        void Mismatch(const TWordFault& fault) noexcept {
            if (!worker->faultSeen.load(std::memory_order_relaxed)) {
                worker->firstFault = fault;
                worker->faultSeen.store(true, std::memory_order_release);
            }
        }
    };

    alignas(64) std::atomic<std::int64_t> steps{0};
    std::atomic<std::int64_t> block{0};
    std::atomic<bool> faultSeen{false};
    TWordFault firstFault; // written once by the worker before faultSeen, read after it
    Kernel kernel;
    TBlockRing ring;
};

// A kernel with the faults it runs with (the program's do nothing, a test's err): the Kernel of
// a TBlockThread.
template <class Kernel, class Fault> struct TKernelWork {
    Kernel Work;
    Fault Faults;
    template <class Progress>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress) {
        return Work.Run(block, progress, Faults);
    }
};
