// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// What a worker reports of one block of its work: the block's number (0 first), the block's
// checksum, and the processor it finished the block on.
struct TBlockResult {
    std::int64_t Block = 0;
    std::uint64_t Checksum = 0;
    int Cpu = -1;

    bool operator==(const TBlockResult&) const = default;
};

// The last Capacity block results of one worker, written by the worker and read by the checker
// without a lock and without a locked instruction (release stores and acquire loads are plain
// moves on x86): each slot is a sequence lock (an odd sequence while it is written), so a reader
// that races a writer sees a torn slot and drops it, never a mixed one. One writer only; any
// number of readers. Its slots are sized to the worker's block rate: enough for several ticks.
class TBlockRing {
public:
    static constexpr std::size_t DefaultCapacity = 512;

    explicit TBlockRing(std::size_t capacity = DefaultCapacity)
        : slotCount(capacity), entries(new TSlot[capacity]) {}

    std::size_t Capacity() const noexcept { return slotCount; }

    // The worker: publishes the result of the next block. Results come in block order.
    void Publish(const TBlockResult& result) noexcept {
        TSlot& slot = entries[Index(result.Block)];
        const std::uint64_t sequence = slot.Sequence.load(std::memory_order_relaxed);
        slot.Sequence.store(sequence + 1, std::memory_order_relaxed);
        // Each field is released: a reader that acquires a new field sees the odd sequence too.
        slot.Block.store(result.Block, std::memory_order_release);
        slot.Checksum.store(result.Checksum, std::memory_order_release);
        slot.Cpu.store(result.Cpu, std::memory_order_release);
        slot.Sequence.store(sequence + 2, std::memory_order_release);
        published.store(result.Block + 1, std::memory_order_release);
    }

    // The number of blocks published so far.
    std::int64_t Published() const noexcept { return published.load(std::memory_order_acquire); }

    // Reads the result of `block`; false when it is not (or no longer) in the ring.
    bool Read(std::int64_t block, TBlockResult& result) const noexcept {
        if (block < 0) {
            return false;
        }
        const TSlot& slot = entries[Index(block)];
        const std::uint64_t before = slot.Sequence.load(std::memory_order_acquire);
        result.Block = slot.Block.load(std::memory_order_acquire);
        result.Checksum = slot.Checksum.load(std::memory_order_acquire);
        result.Cpu = slot.Cpu.load(std::memory_order_acquire);
        const std::uint64_t after = slot.Sequence.load(std::memory_order_relaxed);
        return before == after && before % 2 == 0 && before != 0 && result.Block == block;
    }

private:
    std::size_t Index(std::int64_t block) const noexcept {
        return static_cast<std::size_t>(block) % slotCount;
    }

    struct TSlot {
        std::atomic<std::uint64_t> Sequence{0};
        std::atomic<std::int64_t> Block{0};
        std::atomic<std::uint64_t> Checksum{0};
        std::atomic<int> Cpu{-1};
    };
    alignas(64) std::atomic<std::int64_t> published{0};
    const std::size_t slotCount;
    const std::unique_ptr<TSlot[]> entries;
};
