// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "BlockChecksum.h"
#include "TWordPattern.h"

#include <sched.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The hand-off workload: data written on one processor is read back on another. A round writes
// a buffer the size of a core's second-level cache on the worker's home processor, moves the
// worker's thread to a partner processor, verifies and sums every word there, and moves it home
// again; a block is BlockRounds rounds. The partners go round the other processors the process
// may run on, so a fault in moving lines between cores and caches shows in a word that does
// not read back and in the block's checksum, which depends on the block alone. A partner the
// system refuses (taken away since) is skipped: the round is verified at home. With one usable
// processor there is no move.
class THandoffKernel {
public:
    static constexpr std::int64_t BufferWords = std::int64_t{1} << 16; // 512 KiB
    static constexpr int BlockRounds = 32;
    // A block takes a millisecond or more (a buffer in cache, a move or none): some eight
    // seconds of them for the checker.
    static constexpr std::size_t RingSlots = 8192;

    // A worker at home on `home` (-1: kept to no processor; home is where it runs) that hands
    // off to the others of `cpus`.
    THandoffKernel(int home, std::vector<int> cpus);

    static constexpr std::int64_t StepsPerBlock() noexcept { return BufferWords * BlockRounds; }
    // What round `round` of block `block` writes.
    static constexpr TWordPattern RoundPattern(std::int64_t block, int round) noexcept {
        const auto handoff = static_cast<std::uint64_t>(block * BlockRounds + round);
        return TWordPattern::Progression(handoff * 0xBF58476D1CE4E5B9u + 0x94D049BB133111EBu,
                                         0x9FB21C651E98DF25u);
    }
    // The partner of hand-off `handoff` from `home`: the (handoff mod n)-th of the n processors
    // of `cpus` other than home, or -1 when there is none.
    static int Partner(const std::vector<int>& cpus, int home, std::int64_t handoff) noexcept;
    static std::uint64_t ComputeBlock(std::int64_t block) noexcept;
    // The rounds verified on a partner so far.
    std::int64_t HandedOff() const noexcept { return handedOff; }

    // Runs one block: `progress` is told the words verified (Add), asked whether to stop (Stop)
    // and told the first word that did not read back (Mismatch); `fault` may change the buffer
    // once written, before it moves. None when stopped.
    template <class Progress, class Fault>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress, const Fault& fault) {
        std::uint64_t* words = buffer.data();
        std::uint64_t sum = 0;
        for (int round = 0; round < BlockRounds; ++round) {
            if (progress.Stop()) {
                return std::nullopt;
            }
            const TWordPattern pattern = RoundPattern(block, round);
            for (std::int64_t index = 0; index < BufferWords; index += ChunkWords) {
                WordPattern::Write(words + index, index, pattern, false);
            }
            fault.Written(block, words, BufferWords);
            const bool moved = MoveTo(
                Partner(cpus, home >= 0 ? home : sched_getcpu(), block * BlockRounds + round));
            for (std::int64_t index = 0; index < BufferWords; index += ChunkWords) {
                std::uint64_t chunkSum = 0;
                if (WordPattern::Verify(words + index, index, pattern, false, chunkSum) != 0) {
                    progress.Mismatch(WordPattern::FirstFault(words + index, index, pattern));
                }
                sum = BlockChecksum::Fold(sum, chunkSum);
            }
            if (moved) {
                ++handedOff;
                ReturnHome();
            }
            progress.Add(BufferWords);
        }
        return sum;
    }

private:
    static constexpr std::int64_t ChunkWords = TWordPattern::ChunkWords;

    // Keeps the calling thread to `cpu`; false when there is none or the system refuses.
    bool MoveTo(int cpu) noexcept;
    // Keeps it to home again, or to any of `cpus` when it has none or home is refused.
    void ReturnHome() noexcept;

    struct TFreeSet {
        void operator()(cpu_set_t* freed) const noexcept { CPU_FREE(freed); }
    };

    int home;
    std::vector<int> cpus;
    std::vector<std::uint64_t> buffer;
    std::size_t setSize = 0;
    std::unique_ptr<cpu_set_t, TFreeSet> set;
    std::int64_t handedOff = 0;
};

struct TWorkloadEntry;
// The hand-off between processors in the table of workloads.
extern const TWorkloadEntry HandoffWorkload;
