// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TMemoryKernel.h"

#include "TBlockKernel.h"
#include "TWorkload.h"

#include <array>
#include <new>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <stdexcept>

TMemoryKernel::TMemoryKernel(std::int64_t blocks) : regions(blocks) {
    if (blocks < 1) {
        throw std::invalid_argument("a memory worker needs one block of memory at least");
    }
    // Not initialised: the first pass writes every word before it is read.
    buffer.reset(new std::uint64_t[static_cast<std::size_t>(blocks * BlockWords)]);
}

#if defined(__SSE2__)
// Two words a vector, two vectors a step: the loops keep up with memory rather than with their
// own dependency chains.
namespace {

std::uint64_t Lanes(__m128i v) noexcept {
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(v)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
}

__m128i Pair(std::uint64_t first) noexcept {
    const std::uint64_t second = first + TMemoryKernel::Stride;
    return _mm_set_epi64x(static_cast<long long>(second), static_cast<long long>(first));
}

} // namespace

std::uint64_t TMemoryKernel::Verify(const std::uint64_t* chunk, std::uint64_t expected,
                                    std::uint64_t& sum) noexcept {
    constexpr std::uint64_t fourWords = 4 * Stride;
    const __m128i step = _mm_set1_epi64x(static_cast<long long>(fourWords));
    __m128i low = Pair(expected);
    __m128i high = Pair(expected + 2 * Stride);
    __m128i bad = _mm_setzero_si128();
    __m128i sumLow = _mm_setzero_si128();
    __m128i sumHigh = _mm_setzero_si128();
    for (std::int64_t i = 0; i < ChunkWords; i += 4) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + i + 2));
        bad =
            _mm_or_si128(bad, _mm_or_si128(_mm_xor_si128(first, low), _mm_xor_si128(second, high)));
        sumLow = _mm_add_epi64(sumLow, first);
        sumHigh = _mm_add_epi64(sumHigh, second);
        low = _mm_add_epi64(low, step);
        high = _mm_add_epi64(high, step);
    }
    sum += Lanes(_mm_add_epi64(sumLow, sumHigh));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(bad)) |
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(bad, bad)));
}

std::uint64_t TMemoryKernel::Write(std::uint64_t* chunk, std::uint64_t expected,
                                   std::uint64_t delta) noexcept {
    constexpr std::uint64_t fourWords = 4 * Stride;
    const __m128i step = _mm_set1_epi64x(static_cast<long long>(fourWords));
    __m128i low = Pair(expected + delta);
    __m128i high = Pair(expected + delta + 2 * Stride);
    __m128i sumLow = _mm_setzero_si128();
    __m128i sumHigh = _mm_setzero_si128();
    for (std::int64_t i = 0; i < ChunkWords; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(chunk + i), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(chunk + i + 2), high);
        sumLow = _mm_add_epi64(sumLow, low);
        sumHigh = _mm_add_epi64(sumHigh, high);
        low = _mm_add_epi64(low, step);
        high = _mm_add_epi64(high, step);
    }
    return Lanes(_mm_add_epi64(sumLow, sumHigh));
}
#else
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
#endif

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
    const std::uint64_t seed = PassSeed(pass == 0 ? 0 : pass - 1);
    // A chunk's sum of seed + (first + i) * Stride over i < ChunkWords, modulo 2^64.
    constexpr auto n = static_cast<std::uint64_t>(ChunkWords);
    std::uint64_t checksum = 0;
    for (std::int64_t first = block % blocks * BlockWords, end = first + BlockWords; first < end;
         first += ChunkWords) {
        const std::uint64_t indices = n * static_cast<std::uint64_t>(first) + n * (n - 1) / 2;
        checksum = BlockChecksum::Fold(checksum, n * seed + indices * Stride);
    }
    return checksum;
}

namespace {

TMemoryKernel MakeMemory(const TWorkload& workload, int) {
    return TMemoryKernel(workload.MemoryBlocks);
}
using TMemoryEntry = TBlockEntry<TMemoryKernel, TNoMemoryFault, THookMemoryFault, &MakeMemory,
                                 TMemoryKernel::RingSlots>;

TBlockChecker::Compute MemoryCompute(const TWorkload& workload) {
    return [blocks = workload.MemoryBlocks](std::int64_t block) {
        return TMemoryKernel::ComputeBlock(block, blocks);
    };
}

std::int64_t MemoryStepsBefore(const TWorkload&, std::int64_t block) noexcept {
    return block * TMemoryKernel::StepsPerBlock();
}

// A flipped word shows in the block that reads it back, one pass over the buffer later.
std::int64_t MemoryShowingBlock(const TFault& fault, const TWorkload& workload) noexcept {
    return fault.AtBlock + workload.MemoryBlocks;
}

constexpr std::array MemoryRows{TSelfTestRow{TFault::TKind::FlippedBit}};

} // namespace

const TWorkloadEntry MemoryWorkload{
    "memory",
    "each worker writes, reads back and verifies a buffer",
    "steps/s",
    false,
    true,
    &TMemoryEntry::Start,
    &MemoryCompute,
    &MemoryStepsBefore,
    MemoryRows,
    &Workloads::BlockFault,
    &MemoryShowingBlock,
    nullptr,
    nullptr,
    &TMemoryEntry::Kernel,
};
