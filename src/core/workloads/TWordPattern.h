// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TWorker.h"

#include <bit>
#include <cstdint>

// What a run of words holds, word i of a buffer (its index from the buffer's start) derived from
// i alone: a progression First + i * Step, or First rotated left by i (a walking one in zeros,
// a walking zero in ones). The complement of either is one of the same kind. The loops write
// and verify a chunk of ChunkWords, upwards or downwards, and sum its words.
struct TWordPattern {
    static constexpr std::int64_t ChunkWords = 512; // 4 KiB: read, then written while in cache

    bool Rotating = false;
    std::uint64_t First = 0;
    std::uint64_t Step = 0; // a progression's

    static constexpr TWordPattern Progression(std::uint64_t first, std::uint64_t step) noexcept {
        return {false, first, step};
    }
    static constexpr TWordPattern Walking(std::uint64_t first) noexcept { return {true, first, 0}; }
    constexpr std::uint64_t Word(std::int64_t index) const noexcept {
        return Rotating ? std::rotl(First, static_cast<int>(index & 63))
                        : First + static_cast<std::uint64_t>(index) * Step;
    }
    constexpr TWordPattern Complement() const noexcept {
        return Rotating ? Walking(~First) : Progression(~First, 0 - Step);
    }
    // The sum of the chunk from word `index` on (a multiple of ChunkWords), modulo 2^64.
    constexpr std::uint64_t ChunkSum(std::int64_t index) const noexcept {
        constexpr auto n = static_cast<std::uint64_t>(ChunkWords);
        if (Rotating) {
            // Every rotation of First, n / 64 times over: each of its bits in every place.
            return 0 - n / 64 * static_cast<std::uint64_t>(std::popcount(First));
        }
        return n * First + (n * static_cast<std::uint64_t>(index) + n * (n - 1) / 2) * Step;
    }
};

namespace WordPattern {

// Writes the chunk at `chunk`, word `index` of the buffer, downwards when `down`; the sum of
// what it wrote.
std::uint64_t Write(std::uint64_t* chunk, std::int64_t index, const TWordPattern& pattern,
                    bool down) noexcept;
// Reads the chunk back and adds its words to `sum`; the bits that differ from the pattern, or'ed
// together.
std::uint64_t Verify(const std::uint64_t* chunk, std::int64_t index, const TWordPattern& pattern,
                     bool down, std::uint64_t& sum) noexcept;
// The first word of the chunk that differs (its offset in the buffer in bytes).
TWordFault FirstFault(const std::uint64_t* chunk, std::int64_t index,
                      const TWordPattern& pattern) noexcept;

} // namespace WordPattern
