// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TThread.h"
#include "TWorker.h"

#include <atomic>
#include <cstdint>

// One worker: a thread that searches descending odd candidates for their smallest odd divisor
// by trial division, for ever, until it is asked to stop. The result is never used; the work
// keeps one processor busy and is counted.
//
// The worker publishes its whole state on every division with relaxed atomic stores, so that
// another thread can sample it at any moment and always read whole values, at most a step old.
// The worker is the only writer of its fields.
class SThread final : public TThread, public TWorker {
public:
    // The first candidate of every worker of a run: 10^14 - 1.
    static constexpr std::int64_t StartCandidate = 99999999999999;

    explicit SThread(std::int64_t startValue) noexcept : StartValue(startValue) {}

    // Constructs a worker and starts its search on a thread of its own.
    static std::shared_ptr<SThread> Start(std::int64_t startValue = StartCandidate) {
        return TThread::Start<SThread>(startValue);
    }

    // TWorker: the published state, for sampling and for checking the work against its known
    // answer.
    std::int64_t CurrentDivisor() const noexcept override {
        return Divisor.load(std::memory_order_relaxed);
    }
    std::int64_t DivisionCount() const noexcept override {
        return Iterations.load(std::memory_order_relaxed);
    }
    std::int64_t CurrentCandidate() const noexcept override {
        return Candidate.load(std::memory_order_relaxed);
    }
    bool LastDivisorFound() const noexcept override {
        return DivisorFound.load(std::memory_order_relaxed);
    }
    void RequestStop() noexcept override { TThread::RequestStop(); }
    bool StopRequested() const noexcept override { return TThread::StopRequested(); }
    bool Finished() const noexcept override { return TThread::Finished(); }

    std::int64_t StartingCandidate() const noexcept { return StartValue; }

    // The search itself. shouldStop() is asked at every test of the two outer loops and after
    // every division; the thread body passes StopRequested. Tests pass their own check to halt
    // (and look at) the search after an exact number of divisions, on their own thread.
    template <class StopCheck> void Search(StopCheck&& shouldStop) noexcept;

protected:
    void Execute() override;

private:
    // Each worker's fields get cache lines of their own: workers never slow each other down by
    // writing next to one another.
    alignas(64) std::atomic<std::int64_t> Candidate{0};
    std::atomic<std::int64_t> Divisor{0};
    const std::int64_t StartValue;
    std::atomic<std::int64_t> Iterations{0};
    std::atomic<bool> DivisorFound{false};
};

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

template <class StopCheck> void SThread::Search(StopCheck&& shouldStop) noexcept {
    constexpr auto relaxed = std::memory_order_relaxed;
    // Working copies of the fields: this thread is their only writer, so every value is stored
    // once as it changes and never read back.
    std::int64_t iterations = 0;
    Iterations.store(0, relaxed);
    while (!shouldStop()) {
        std::int64_t candidate = StartValue;
        Candidate.store(candidate, relaxed);
        while (candidate > 3 && !shouldStop()) {
            bool found = false;
            std::int64_t divisor = 3;
            DivisorFound.store(false, relaxed);
            Divisor.store(3, relaxed);
            while (!found && detail::Opaque(candidate) / 2 > divisor) {
                found = candidate % divisor == 0;
                divisor += 2;
                ++iterations;
                DivisorFound.store(found, relaxed);
                Divisor.store(divisor, relaxed);
                Iterations.store(iterations, relaxed);
                if (shouldStop()) {
                    divisor = candidate;
                    Divisor.store(divisor, relaxed);
                }
            }
            candidate -= 2;
            Candidate.store(candidate, relaxed);
        }
    }
}
