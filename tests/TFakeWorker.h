// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockRing.h"
#include "TVerifier.h"
#include "TWorker.h"
#include "TWorkerTable.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A stand-in worker whose published state the test sets directly; it never runs a thread.
struct TFakeWorker final : TWorker, TSearchState {
    std::int64_t divisor = 0;
    std::int64_t count = 0;
    std::int64_t candidate = 0;
    bool found = false;
    bool stopped = false;
    std::optional<std::chrono::nanoseconds> cpu; // the processor time it had; none: unknown
    TBlockRing ring;                             // the blocks the test publishes
    std::optional<TWordFault> word;              // a word of its memory that read back wrong
    // Called on every score read and stop request, to record their order.
    std::function<void(const std::string& event)> onEvent;

    std::int64_t Position() const noexcept override { return divisor; }
    std::int64_t StepCount() const noexcept override {
        if (onEvent) {
            onEvent("read");
        }
        return count;
    }
    std::int64_t CurrentCandidate() const noexcept override { return candidate; }
    bool LastDivisorFound() const noexcept override { return found; }
    const TBlockRing* Blocks() const noexcept override { return &ring; }
    std::optional<TWordFault> WordFault() const noexcept override { return word; }
    void RequestStop() noexcept override {
        stopped = true;
        if (onEvent) {
            onEvent("stop");
        }
    }
    bool StopRequested() const noexcept override { return stopped; }
    bool Finished() const noexcept override { return stopped; }
    std::optional<std::chrono::nanoseconds> CpuTime() const noexcept override { return cpu; }

    // On the prime, past the composites: as a healthy worker is after a few milliseconds.
    void Settle(std::int64_t divisions = 2 * TVerifier::SettledCount) {
        count = divisions;
        candidate = TVerifier::KnownPrime;
        found = false;
    }
};

// A factory of stand-ins that keeps every worker it made, in order, and can refuse a start.
struct TFakeWorkers {
    std::vector<std::shared_ptr<TFakeWorker>> made;
    int refuseAt = -1; // the start (counting every start, from 0) that throws
    // Applied to each new worker, with its slot.
    std::function<void(TFakeWorker&, int slot)> prepare;

    TWorkerTable::Factory Factory() {
        return [this](int slot) -> std::shared_ptr<TWorker> {
            if (static_cast<int>(made.size()) == refuseAt) {
                refuseAt = -1;
                throw std::runtime_error("Resource temporarily unavailable");
            }
            auto worker = std::make_shared<TFakeWorker>();
            if (prepare) {
                prepare(*worker, slot);
            }
            made.push_back(worker);
            return worker;
        };
    }
    // The workers of the last start of `count`.
    std::vector<std::shared_ptr<TFakeWorker>> Last(int count) const {
        return {made.end() - count, made.end()};
    }
};
