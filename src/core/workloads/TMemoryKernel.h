// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "BlockChecksum.h"
#include "TFaultHook.h"
#include "TWordPattern.h"
#include "TWorker.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// The memory workload: a worker's buffer is walked region by region; each block reads back
// and verifies one region, written one pass over the buffer earlier, and writes it again with
// the next pass's pattern. A word's pattern is derived from its offset and the pass, so the
// block's checksum (the sums of the words read, chunk by chunk, folded) is the same for every
// worker and computed in closed form by anyone. The first pass reads nothing and sums what it
// writes. The passes take the patterns of memory testers in turn (see PassPattern).
class TMemoryKernel {
public:
    static constexpr std::int64_t BlockWords = std::int64_t{1} << 21; // 16 MiB
    static constexpr std::int64_t BlockBytes = BlockWords * 8;
    // A block takes a millisecond or more (a buffer in cache at 32 GB/s read and written): a
    // worker's ring keeps some eight seconds of them for the checker.
    static constexpr std::size_t RingSlots = 8192;

    // A buffer of `blocks` regions, allocated now (throws std::bad_alloc when it cannot be).
    explicit TMemoryKernel(std::int64_t blocks);

    std::int64_t Blocks() const noexcept { return regions; }
    static std::int64_t StepsPerBlock() noexcept { return BlockWords; }

    // The pattern of pass `pass`, by pass modulo Families: 0 a progression of a stride whose
    // bits are all mixed, from a seed of the pass; 1 the complement of what it verified, the
    // region walked downwards (moving inversions); 2 a walking one; 3 a walking zero (the one
    // or zero starting one place further each round of families); 4 each word its own offset
    // in bytes, or its complement every other round.
    static constexpr int Families = 5;
    static constexpr std::uint64_t Stride = 0xD6E8FEB86659FD93u;
    static constexpr std::uint64_t PassSeed(std::int64_t pass) noexcept {
        return static_cast<std::uint64_t>(pass) * 0x9E3779B97F4A7C15u + 0x5851F42D4C957F2Du;
    }
    static constexpr TWordPattern PassPattern(std::int64_t pass) noexcept {
        const std::int64_t round = pass / Families;
        const std::uint64_t one = std::uint64_t{1} << (round & 63);
        switch (pass % Families) {
        case 0:
            return TWordPattern::Progression(PassSeed(pass), Stride);
        case 1:
            return PassPattern(pass - 1).Complement();
        case 2:
            return TWordPattern::Walking(one);
        case 3:
            return TWordPattern::Walking(~one);
        default: {
            const TWordPattern offset = TWordPattern::Progression(0, 8);
            return round % 2 == 0 ? offset : offset.Complement();
        }
        }
    }
    static constexpr bool WalksDown(std::int64_t pass) noexcept { return pass % Families == 1; }
    // The checksum of block `block` of a buffer of `blocks` regions.
    static std::uint64_t ComputeBlock(std::int64_t block, std::int64_t blocks) noexcept;

    // Runs one block: `progress` is told the words done (Add), asked whether to stop (Stop)
    // and told the first word that did not read back (Mismatch); `fault` may change the
    // region after it is written (a test's memory that errs). None when stopped.
    template <class Progress, class Fault>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress, const Fault& fault) {
        const std::int64_t region = block % regions;
        const std::int64_t pass = block / regions;
        const std::int64_t first = region * BlockWords;
        const TWordPattern written = PassPattern(pass);
        const TWordPattern read = PassPattern(pass == 0 ? 0 : pass - 1);
        const bool down = WalksDown(pass);
        std::uint64_t* words = buffer.get() + first;
        std::uint64_t sum = 0;
        for (std::int64_t done = 0; done < BlockWords; done += ChunkWords) {
            if (progress.Stop()) {
                return std::nullopt;
            }
            const std::int64_t offset = down ? BlockWords - ChunkWords - done : done;
            const std::int64_t index = first + offset;
            std::uint64_t* chunk = words + offset;
            std::uint64_t chunkSum = 0;
            if (pass == 0) {
                chunkSum = WordPattern::Write(chunk, index, written, down);
            } else {
                if (WordPattern::Verify(chunk, index, read, down, chunkSum) != 0) {
                    progress.Mismatch(WordPattern::FirstFault(chunk, index, read));
                }
                WordPattern::Write(chunk, index, written, down);
            }
            sum = BlockChecksum::Fold(sum, chunkSum);
            progress.Add(ChunkWords);
        }
        fault.Written(block, words, BlockWords);
        return sum;
    }

private:
    static constexpr std::int64_t ChunkWords = TWordPattern::ChunkWords;

    std::int64_t regions;
    std::unique_ptr<std::uint64_t[]> buffer;
};

// The program's memory: nothing goes wrong.
struct TNoMemoryFault {
    void Written(std::int64_t, std::uint64_t*, std::int64_t) const noexcept {}
};

// The memory of a worker that errs: each region written asks the hook.
struct THookMemoryFault {
    std::shared_ptr<const TFaultHook> Hook;
    void Written(std::int64_t block, std::uint64_t* words, std::int64_t count) const noexcept {
        Hook->Written(block, words, count);
    }
};

struct TWorkloadEntry;
// The memory walk in the table of workloads.
extern const TWorkloadEntry MemoryWorkload;
