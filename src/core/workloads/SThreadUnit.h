// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockRing.h"
#include "TThread.h"
#include "TWorker.h"

#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <type_traits>

struct TWorkloadEntry;

namespace detail {
// Keeps the compiler from treating v as a known constant: the half of the candidate is then
// really computed at every test of the loop, as the workload demands.
inline std::int64_t Opaque(std::int64_t v) noexcept {
#if defined(__GNUC__)
    asm volatile("" : "+r"(v));
#endif
    return v;
}
} // namespace detail

// The workload: descending odd candidates from a start value, each tried with the odd divisors
// from 3 up until one divides it or the divisor reaches its half; below 3 it starts again.
//
// Every remainder counts: each division folds its remainder and divisor into a checksum, and
// every BlockDivisions divisions the checksum of that block goes to the sink and starts again.
// All workers of a run compute the same sequence, so their blocks can be compared, and anyone
// can recompute a block on its own (ComputeBlock).
namespace Workload {

constexpr std::int64_t StartCandidate = 99999999999999; // 10^14 - 1
// The first prime below the start: after SettledCount divisions on the thirteen composites
// above it, every worker stays on it for the rest of any run.
constexpr std::int64_t KnownPrime = 99999999999973;
constexpr std::int64_t SettledCount = 1230891;

// A block is 2^23 divisions: some 20 to 100 ms of one processor today.
constexpr int BlockShift = 23;
constexpr std::int64_t BlockDivisions = std::int64_t{1} << BlockShift;

// One division folded into a checksum. Each step is a bijection of the checksum for a given
// remainder and divisor, so one wrong remainder or divisor always changes the block's checksum.
constexpr std::uint64_t Fold(std::uint64_t checksum, std::int64_t remainder,
                             std::int64_t divisor) noexcept {
    return std::rotl(checksum ^ static_cast<std::uint64_t>(remainder), 1) +
           static_cast<std::uint64_t>(divisor);
}

// Where the search is: the candidate under trial, the next divisor and the divisions done.
struct TPoint {
    std::int64_t Candidate = StartCandidate;
    std::int64_t Divisor = 3;
    std::int64_t Divisions = 0;
};

// The point at the start of a block of the search from StartCandidate; exact for blocks that
// lie wholly on KnownPrime (every block but the first).
TPoint BlockStart(std::int64_t block) noexcept;

// The arithmetic of one division step as a processor should do it. A fault injector hands its
// own to the same loop; the program's worker is built with this one, with no branch for faults.
struct TExactArithmetic {
    std::int64_t Remainder(std::int64_t candidate, std::int64_t divisor,
                           std::int64_t /*division*/) const noexcept {
        return candidate % divisor;
    }
    std::int64_t NextDivisor(std::int64_t divisor, std::int64_t /*division*/) const noexcept {
        return divisor + 2;
    }
};

// The search loop, from `from` on, restarting at startValue when a candidate falls to 3.
// The sink is told everything as it happens:
//   bool Stop()                     asked at every test of the outer loops and after every division
//   void Candidate(candidate)       the candidate changed
//   void Begin(divisor)             a candidate's search begins at `divisor`
//   void Step(found, divisor, divisions)  a division was done; `divisor` is the next one
//   void Stopped(divisor)           the stop came inside a candidate's search
//   void Block(block, checksum)     a block of divisions is complete
//
// The sink and the arithmetic are taken by value and the sink handed back at the end: as locals
// of the loop they stay in registers, where a reference would be read again after every store.
template <class Sink, class Arithmetic>
Sink Search(std::int64_t startValue, TPoint from, Sink sink, Arithmetic arithmetic) noexcept {
    std::int64_t candidate = from.Candidate;
    std::int64_t divisor = from.Divisor;
    std::int64_t divisions = from.Divisions;
    std::uint64_t checksum = 0;
    sink.Candidate(candidate);
    while (!sink.Stop()) {
        while (candidate > 3 && !sink.Stop()) {
            sink.Begin(divisor);
            // Until a divisor is found (the break below) or the half is reached.
            while (detail::Opaque(candidate) / 2 > divisor) {
                const std::int64_t remainder = arithmetic.Remainder(candidate, divisor, divisions);
                const bool found = remainder == 0;
                checksum = Fold(checksum, remainder, divisor);
                divisor = arithmetic.NextDivisor(divisor, divisions);
                ++divisions;
                sink.Step(found, divisor, divisions);
                if ((divisions & (BlockDivisions - 1)) == 0) {
                    sink.Block((divisions >> BlockShift) - 1, checksum);
                    checksum = 0;
                }
                if (sink.Stop()) {
                    divisor = candidate;
                    sink.Stopped(divisor);
                }
                if (found) {
                    break;
                }
            }
            candidate -= 2;
            divisor = 3;
            sink.Candidate(candidate);
        }
        if (candidate <= 3) {
            candidate = startValue;
            sink.Candidate(candidate);
        }
    }
    return sink;
}

// The checksum of one block of the search from StartCandidate, computed on the calling thread
// by the same loop the workers run.
std::uint64_t ComputeBlock(std::int64_t block) noexcept;

} // namespace Workload

// What the division's worker publishes beside what every worker does, for the known-path check
// (TVerifier): the candidate under trial, and whether the last division found a divisor of it.
class TSearchState {
public:
    virtual std::int64_t CurrentCandidate() const noexcept = 0;
    virtual bool LastDivisorFound() const noexcept = 0;

protected:
    ~TSearchState() = default;
};

// One worker: a thread that runs the workload until it is asked to stop, and publishes its state
// on every division with relaxed atomic stores, so that another thread can sample it at any
// moment and always read whole values, at most a step old; and the checksum of every block in
// its ring. The worker is the only writer of its fields.
//
// TSearchThread is the worker for any arithmetic; the program's is SThread, with the exact one.
template <class Arithmetic>
class TSearchThread : public TThread, public TWorker, public TSearchState {
public:
    // cpu: the processor to run on (its number), or -1 to let the system choose. Throws
    // std::bad_alloc when its ring cannot be allocated.
    explicit TSearchThread(std::int64_t startValue, int cpu = -1, Arithmetic faults = Arithmetic())
        : TThread(cpu), StartValue(startValue), arithmetic(faults) {}

    // The next trial divisor: the worker's position.
    std::int64_t CurrentDivisor() const noexcept { return Divisor.load(std::memory_order_relaxed); }
    std::int64_t Position() const noexcept override { return CurrentDivisor(); }
    // Trial divisions done since the start.
    std::int64_t StepCount() const noexcept override {
        return Iterations.load(std::memory_order_relaxed);
    }
    std::int64_t CurrentCandidate() const noexcept override {
        return Candidate.load(std::memory_order_relaxed);
    }
    bool LastDivisorFound() const noexcept override {
        return DivisorFound.load(std::memory_order_relaxed);
    }
    const TBlockRing* Blocks() const noexcept override { return &ring; }
    void RequestStop() noexcept override { TThread::RequestStop(); }
    bool StopRequested() const noexcept override { return TThread::StopRequested(); }
    bool Finished() const noexcept override { return TThread::Finished(); }
    std::optional<std::chrono::nanoseconds> CpuTime() const noexcept override {
        return TThread::CpuTime();
    }

    // The search itself, on the calling thread. shouldStop() is asked at every test of the two
    // outer loops and after every division; the thread body passes StopRequested.
    template <class StopCheck> void Search(StopCheck&& shouldStop) noexcept {
        Iterations.store(0, std::memory_order_relaxed);
        Workload::Search(StartValue, {StartValue, 3, 0},
                         TPublisher<std::decay_t<StopCheck>>{this, shouldStop}, arithmetic);
    }

protected:
    void Execute() override {
        Search([this]() noexcept { return TThread::StopRequested(); });
    }

private:
    // Reports a block from the worker's thread, with the processor it ran on.
    void PublishBlock(std::int64_t block, std::uint64_t checksum) noexcept;

    template <class StopCheck> struct TPublisher {
        TSearchThread* worker;
        StopCheck shouldStop;
        static constexpr auto relaxed = std::memory_order_relaxed;

        bool Stop() noexcept { return shouldStop(); }
        void Candidate(std::int64_t candidate) noexcept {
            worker->Candidate.store(candidate, relaxed);
        }
        void Begin(std::int64_t divisor) noexcept {
            worker->DivisorFound.store(false, relaxed);
            worker->Divisor.store(divisor, relaxed);
        }
        void Step(bool found, std::int64_t divisor, std::int64_t divisions) noexcept {
            // The flag is false since Begin() until a division finds a divisor, which ends the
            // candidate's search: it is stored only then, keeping a store out of the loop.
            if (found) {
                worker->DivisorFound.store(true, relaxed);
            }
            worker->Divisor.store(divisor, relaxed);
            worker->Iterations.store(divisions, relaxed);
        }
        void Stopped(std::int64_t divisor) noexcept { worker->Divisor.store(divisor, relaxed); }
        void Block(std::int64_t block, std::uint64_t checksum) noexcept {
            worker->PublishBlock(block, checksum);
        }
    };

    // Each worker's fields get cache lines of their own: workers never slow each other down by
    // writing next to one another.
    alignas(64) std::atomic<std::int64_t> Candidate{0};
    std::atomic<std::int64_t> Divisor{0};
    const std::int64_t StartValue;
    std::atomic<std::int64_t> Iterations{0};
    std::atomic<bool> DivisorFound{false};
    Arithmetic arithmetic;
    TBlockRing ring;
};

// Defined once for every arithmetic, in SThreadUnit.cpp.
int CurrentCpu() noexcept;

template <class Arithmetic>
void TSearchThread<Arithmetic>::PublishBlock(std::int64_t block, std::uint64_t checksum) noexcept {
    ring.Publish({block, checksum, CurrentCpu()});
}

// The program's worker: the workload with exact arithmetic.
class SThread final : public TSearchThread<Workload::TExactArithmetic> {
public:
    // The first candidate of every worker of a run: 10^14 - 1.
    static constexpr std::int64_t StartCandidate = Workload::StartCandidate;

    using TSearchThread::TSearchThread;

    // Constructs a worker and starts its search on a thread of its own, on processor `cpu`
    // unless it is -1.
    static std::shared_ptr<SThread> Start(std::int64_t startValue = StartCandidate, int cpu = -1) {
        return TThread::Start<SThread>(startValue, cpu);
    }
};

// The division in the table of workloads, with its known path (TVerifier).
extern const TWorkloadEntry DivideWorkload;
