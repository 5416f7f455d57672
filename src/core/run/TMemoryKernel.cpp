// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TMemoryKernel.h"

#include <new>
#include <stdexcept>

TMemoryKernel::TMemoryKernel(std::int64_t blocks) : regions(blocks) {
    if (blocks < 1) {
        throw std::invalid_argument("a memory worker needs one block of memory at least");
    }
    // Not initialised: the first pass writes every word before it is read.
    buffer.reset(new std::uint64_t[static_cast<std::size_t>(blocks * BlockWords)]);
}

std::uint64_t TMemoryKernel::Verify(const std::uint64_t* chunk, std::uint64_t expected,
                                    std::uint64_t& sum) noexcept {
    std::uint64_t bad = 0;
    std::uint64_t total = 0;
    for (std::int64_t i = 0; i < ChunkWords; ++i) {
        const std::uint64_t word = chunk[i];
        bad |= word ^ expected;
        total += word;
        expected += Stride;
    }
    sum += total;
    return bad;
}

std::uint64_t TMemoryKernel::Write(std::uint64_t* chunk, std::uint64_t expected,
                                   std::uint64_t delta) noexcept {
    std::uint64_t value = expected + delta;
    std::uint64_t total = 0;
    for (std::int64_t i = 0; i < ChunkWords; ++i) {
        chunk[i] = value;
        total += value;
        value += Stride;
    }
    return total;
}

TWordFault TMemoryKernel::FirstFault(const std::uint64_t* chunk, std::uint64_t expected,
                                     std::int64_t index) noexcept {
    for (std::int64_t i = 0; i < ChunkWords; ++i, expected += Stride) {
        if (chunk[i] != expected) {
            return {reinterpret_cast<std::uintptr_t>(chunk + i), (index + i) * 8,
                    chunk[i] ^ expected};
        }
    }
    return {};
}

std::uint64_t TMemoryKernel::ComputeBlock(std::int64_t block, std::int64_t blocks) noexcept {
    const std::int64_t pass = block / blocks;
    const std::int64_t first = block % blocks * BlockWords;
    // The sum of PassSeed + (first + i) * Stride over i < BlockWords, modulo 2^64.
    const auto n = static_cast<std::uint64_t>(BlockWords);
    const std::uint64_t indices = n * static_cast<std::uint64_t>(first) + n * (n - 1) / 2;
    return n * PassSeed(pass == 0 ? 0 : pass - 1) + indices * Stride;
}
