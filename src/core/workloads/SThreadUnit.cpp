// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"

#include "TMixKernel.h"

#include "TVerifier.h"
#include "TWorkload.h"

#include <pthread.h>
#include <sched.h>

#include <array>
#include <utility>

namespace Workload {

TPoint BlockStart(std::int64_t block) noexcept {
    const std::int64_t divisions = block * BlockDivisions;
    if (divisions < SettledCount) {
        return {};
    }
    return {KnownPrime, 3 + 2 * (divisions - SettledCount), divisions};
}

std::uint64_t ComputeBlock(std::int64_t block) noexcept {
    // Keeps nothing but the checksum of the block asked for, and stops right after it.
    struct TSink {
        std::int64_t wanted;
        std::uint64_t checksum = 0;
        bool done = false;
        bool Stop() const noexcept { return done; }
        void Candidate(std::int64_t) noexcept {}
        void Begin(std::int64_t) noexcept {}
        void Step(bool, std::int64_t, std::int64_t) noexcept {}
        void Stopped(std::int64_t) noexcept {}
        void Block(std::int64_t number, std::uint64_t sum) noexcept {
            if (number == wanted) {
                checksum = sum;
                done = true;
            }
        }
    };
    return Search(StartCandidate, BlockStart(block), TSink{block}, TExactArithmetic{}).checksum;
}

} // namespace Workload

int CurrentCpu() noexcept {
    return sched_getcpu();
}

namespace {

// The arithmetic of a worker that errs: each division asks the hook.
struct THookArithmetic {
    std::shared_ptr<const TFaultHook> hook;
    std::int64_t Remainder(std::int64_t candidate, std::int64_t divisor,
                           std::int64_t division) const noexcept {
        return hook->Remainder(candidate, divisor, division);
    }
    std::int64_t NextDivisor(std::int64_t divisor, std::int64_t division) const noexcept {
        return hook->NextDivisor(divisor, division);
    }
};

std::shared_ptr<TWorker> StartDivide(const TWorkload&, int cpu,
                                     std::shared_ptr<const TFaultHook> faults) {
    if (!faults) {
        return SThread::Start(SThread::StartCandidate, cpu);
    }
    return TThread::Start<TSearchThread<THookArithmetic>>(SThread::StartCandidate, cpu,
                                                          THookArithmetic{std::move(faults)});
}

TBlockChecker::Compute DivideCompute(const TWorkload&) {
    return &Workload::ComputeBlock;
}

std::int64_t DivideStepsBefore(const TWorkload&, std::int64_t block) noexcept {
    return block * Workload::BlockDivisions;
}

// The known path, for workers that publish the search's state (others are not judged).
class TDividePath final : public TPathCheck {
public:
    void Reset(int slotCount) override { verifier.Reset(slotCount); }
    std::optional<int> Check(const std::vector<std::shared_ptr<TWorker>>& workers) override {
        views.assign(workers.size(), {});
        for (std::size_t slot = 0; slot < workers.size(); ++slot) {
            views[slot].worker = workers[slot].get();
            views[slot].search = dynamic_cast<const TSearchState*>(workers[slot].get());
        }
        return verifier.Check(*this);
    }
    // The table TVerifier reads: an empty handle for a slot that is no search worker.
    struct TView {
        const TWorker* worker = nullptr;
        const TSearchState* search = nullptr;
        std::int64_t DivisionCount() const noexcept { return worker->StepCount(); }
        std::int64_t CurrentCandidate() const noexcept { return search->CurrentCandidate(); }
        bool LastDivisorFound() const noexcept { return search->LastDivisorFound(); }
    };
    const TView* operator[](int slot) const {
        const TView& view = views.at(static_cast<std::size_t>(slot));
        return view.worker && view.search ? &view : nullptr;
    }

private:
    TVerifier verifier;
    std::vector<TView> views;
};

std::unique_ptr<TPathCheck> DividePath() {
    return std::make_unique<TDividePath>();
}

// A lone worker errs in every block, a third of the way in; with others, once in the middle
// of the second block, on the known prime. A stall comes there too.
TFault DivideFault(TFault::TKind kind, int workers) noexcept {
    TFault fault;
    fault.Kind = kind;
    if (workers == 1 && kind != TFault::TKind::Stall) {
        fault.AtDivision = Workload::BlockDivisions / 3;
        fault.EveryBlock = true;
    } else {
        fault.AtDivision = Workload::BlockDivisions + Workload::BlockDivisions / 2 + 12345;
    }
    return fault;
}

std::int64_t DivideShowingBlock(const TFault& fault, const TWorkload&) noexcept {
    return fault.AtDivision / Workload::BlockDivisions;
}

// The first and last divisor of a block that lies on the known prime.
std::optional<std::pair<std::int64_t, std::int64_t>> DivideRange(std::int64_t block) noexcept {
    const Workload::TPoint start = Workload::BlockStart(block);
    if (start.Candidate != Workload::KnownPrime) {
        return std::nullopt;
    }
    return std::pair{start.Divisor, start.Divisor + 2 * (Workload::BlockDivisions - 1)};
}

// The division's blocks without the search's worker, for the worker that runs every workload
// in turn. Its faults are the division worker's own.
struct TDivideWork {
    template <class Progress>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress) {
        return TDivideKernel().Run(block, progress);
    }
};

std::unique_ptr<TBlockKernel> DivideKernel(const TWorkload&, int,
                                           const std::shared_ptr<const TFaultHook>&) {
    return std::make_unique<TKernelOf<TDivideWork>>(TDivideWork{});
}

constexpr std::array DivideRows{
    TSelfTestRow{TFault::TKind::WrongRemainder},
    TSelfTestRow{TFault::TKind::ZeroRemainder},
    TSelfTestRow{TFault::TKind::SkippedDivisor},
    TSelfTestRow{TFault::TKind::Stall},
};

} // namespace

const TWorkloadEntry DivideWorkload{
    "divide",
    "the default: trial division, integer units",
    "div/s",
    false,
    false,
    &StartDivide,
    &DivideCompute,
    &DivideStepsBefore,
    DivideRows,
    &DivideFault,
    &DivideShowingBlock,
    &DividePath,
    &DivideRange,
    &DivideKernel,
};
