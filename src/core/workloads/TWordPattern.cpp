// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWordPattern.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::int64_t ChunkWords = TWordPattern::ChunkWords;

#if defined(__SSE2__)
// Two words a vector, two vectors a step: the loops keep up with memory rather than with their
// own dependency chains. Lanes give the words four places on, or back.
struct TProgressionLanes {
    __m128i step;
    TProgressionLanes(const TWordPattern& pattern, bool down)
        : step(_mm_set1_epi64x(static_cast<long long>(FourSteps(pattern, down)))) {}
    static std::uint64_t FourSteps(const TWordPattern& pattern, bool down) noexcept {
        const std::uint64_t one = down ? 0 - pattern.Step : pattern.Step;
        return one * 4;
    }
    __m128i Next(__m128i v) const noexcept { return _mm_add_epi64(v, step); }
};

struct TRotatingLanes {
    __m128i left;
    __m128i right;
    TRotatingLanes(const TWordPattern&, bool down)
        : left(_mm_cvtsi32_si128(down ? 60 : 4)), right(_mm_cvtsi32_si128(down ? 4 : 60)) {}
    __m128i Next(__m128i v) const noexcept {
        return _mm_or_si128(_mm_sll_epi64(v, left), _mm_srl_epi64(v, right));
    }
};

__m128i Pair(const TWordPattern& pattern, std::int64_t index) noexcept {
    return _mm_set_epi64x(static_cast<long long>(pattern.Word(index + 1)),
                          static_cast<long long>(pattern.Word(index)));
}

std::uint64_t Lanes(__m128i v) noexcept {
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(v)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
}

// The first of four words the loop takes, and the step to the next four.
template <bool Down> constexpr std::int64_t Start() noexcept {
    return Down ? ChunkWords - 4 : 0;
}
template <bool Down> constexpr std::int64_t Stride() noexcept {
    return Down ? -4 : 4;
}

template <class TLanes, bool Down>
std::uint64_t WriteLanes(std::uint64_t* chunk, std::int64_t index,
                         const TWordPattern& pattern) noexcept {
    const TLanes lanes(pattern, Down);
    std::int64_t i = Start<Down>();
    __m128i low = Pair(pattern, index + i);
    __m128i high = Pair(pattern, index + i + 2);
    __m128i sumLow = _mm_setzero_si128();
    __m128i sumHigh = _mm_setzero_si128();
    for (std::int64_t n = 0; n < ChunkWords / 4; ++n, i += Stride<Down>()) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(chunk + i), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(chunk + i + 2), high);
        sumLow = _mm_add_epi64(sumLow, low);
        sumHigh = _mm_add_epi64(sumHigh, high);
        low = lanes.Next(low);
        high = lanes.Next(high);
    }
    return Lanes(_mm_add_epi64(sumLow, sumHigh));
}

template <class TLanes, bool Down>
std::uint64_t VerifyLanes(const std::uint64_t* chunk, std::int64_t index,
                          const TWordPattern& pattern, std::uint64_t& sum) noexcept {
    const TLanes lanes(pattern, Down);
    std::int64_t i = Start<Down>();
    __m128i low = Pair(pattern, index + i);
    __m128i high = Pair(pattern, index + i + 2);
    __m128i bad = _mm_setzero_si128();
    __m128i sumLow = _mm_setzero_si128();
    __m128i sumHigh = _mm_setzero_si128();
    for (std::int64_t n = 0; n < ChunkWords / 4; ++n, i += Stride<Down>()) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + i + 2));
        bad =
            _mm_or_si128(bad, _mm_or_si128(_mm_xor_si128(first, low), _mm_xor_si128(second, high)));
        sumLow = _mm_add_epi64(sumLow, first);
        sumHigh = _mm_add_epi64(sumHigh, second);
        low = lanes.Next(low);
        high = lanes.Next(high);
    }
    sum += Lanes(_mm_add_epi64(sumLow, sumHigh));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(bad)) |
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(bad, bad)));
}

template <class TLanes>
std::uint64_t WriteAny(std::uint64_t* chunk, std::int64_t index, const TWordPattern& pattern,
                       bool down) noexcept {
    return down ? WriteLanes<TLanes, true>(chunk, index, pattern)
                : WriteLanes<TLanes, false>(chunk, index, pattern);
}

template <class TLanes>
std::uint64_t VerifyAny(const std::uint64_t* chunk, std::int64_t index, const TWordPattern& pattern,
                        bool down, std::uint64_t& sum) noexcept {
    return down ? VerifyLanes<TLanes, true>(chunk, index, pattern, sum)
                : VerifyLanes<TLanes, false>(chunk, index, pattern, sum);
}
#endif

} // namespace

namespace WordPattern {

#if defined(__SSE2__)
std::uint64_t Write(std::uint64_t* chunk, std::int64_t index, const TWordPattern& pattern,
                    bool down) noexcept {
    return pattern.Rotating ? WriteAny<TRotatingLanes>(chunk, index, pattern, down)
                            : WriteAny<TProgressionLanes>(chunk, index, pattern, down);
}

std::uint64_t Verify(const std::uint64_t* chunk, std::int64_t index, const TWordPattern& pattern,
                     bool down, std::uint64_t& sum) noexcept {
    return pattern.Rotating ? VerifyAny<TRotatingLanes>(chunk, index, pattern, down, sum)
                            : VerifyAny<TProgressionLanes>(chunk, index, pattern, down, sum);
}
#else
std::uint64_t Write(std::uint64_t* chunk, std::int64_t index, const TWordPattern& pattern,
                    bool down) noexcept {
    std::uint64_t total = 0;
    for (std::int64_t n = 0; n < ChunkWords; ++n) {
        const std::int64_t i = down ? ChunkWords - 1 - n : n;
        chunk[i] = pattern.Word(index + i);
        total += chunk[i];
    }
    return total;
}

std::uint64_t Verify(const std::uint64_t* chunk, std::int64_t index, const TWordPattern& pattern,
                     bool down, std::uint64_t& sum) noexcept {
    std::uint64_t bad = 0;
    std::uint64_t total = 0;
    for (std::int64_t n = 0; n < ChunkWords; ++n) {
        const std::int64_t i = down ? ChunkWords - 1 - n : n;
        const std::uint64_t word = chunk[i];
        bad |= word ^ pattern.Word(index + i);
        total += word;
    }
    sum += total;
    return bad;
}
#endif

TWordFault FirstFault(const std::uint64_t* chunk, std::int64_t index,
                      const TWordPattern& pattern) noexcept {
    for (std::int64_t i = 0; i < ChunkWords; ++i) {
        const std::uint64_t expected = pattern.Word(index + i);
        if (chunk[i] != expected) {
            return {reinterpret_cast<std::uintptr_t>(chunk + i), (index + i) * 8,
                    chunk[i] ^ expected};
        }
    }
    return {};
}

} // namespace WordPattern
