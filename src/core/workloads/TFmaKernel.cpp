// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TFmaKernel.h"

#include "TBlockKernel.h"
#include "TWorkload.h"

#include <immintrin.h>

#include <array>
#include <utility>

namespace {

// x = x * A + B tends to B / (1 - A) = 1.5 from anywhere in [1, 2), never leaving it.
constexpr double A = 1.0 - 0x1p-20;
constexpr double B = 1.5 * 0x1p-20;
static_assert(TFmaKernel::Chains == 14, "each loop below spells out its fourteen chains");

// Two doubles, one 16-byte vector (the compiler's vector extension).
using TPair = double __attribute__((vector_size(16)));

TPair LoadPair(const double* lanes) noexcept {
    TPair pair;
    std::memcpy(&pair, lanes, sizeof pair);
    return pair;
}

// The fallback: a multiply and an add on pairs of doubles (one vector instruction each wherever
// the processor has 16-byte vectors), fourteen chains kept in registers.
void PlainChunk(double* lanes, std::int64_t iterations) noexcept {
    const TPair a = {A, A};
    const TPair b = {B, B};
    TPair x0 = LoadPair(lanes + 0);
    TPair x1 = LoadPair(lanes + 2);
    TPair x2 = LoadPair(lanes + 4);
    TPair x3 = LoadPair(lanes + 6);
    TPair x4 = LoadPair(lanes + 8);
    TPair x5 = LoadPair(lanes + 10);
    TPair x6 = LoadPair(lanes + 12);
    TPair x7 = LoadPair(lanes + 14);
    TPair x8 = LoadPair(lanes + 16);
    TPair x9 = LoadPair(lanes + 18);
    TPair x10 = LoadPair(lanes + 20);
    TPair x11 = LoadPair(lanes + 22);
    TPair x12 = LoadPair(lanes + 24);
    TPair x13 = LoadPair(lanes + 26);
    for (std::int64_t n = 0; n < iterations; ++n) {
        x0 = x0 * a + b;
        x1 = x1 * a + b;
        x2 = x2 * a + b;
        x3 = x3 * a + b;
        x4 = x4 * a + b;
        x5 = x5 * a + b;
        x6 = x6 * a + b;
        x7 = x7 * a + b;
        x8 = x8 * a + b;
        x9 = x9 * a + b;
        x10 = x10 * a + b;
        x11 = x11 * a + b;
        x12 = x12 * a + b;
        x13 = x13 * a + b;
    }
    std::memcpy(lanes + 0, &x0, sizeof x0);
    std::memcpy(lanes + 2, &x1, sizeof x1);
    std::memcpy(lanes + 4, &x2, sizeof x2);
    std::memcpy(lanes + 6, &x3, sizeof x3);
    std::memcpy(lanes + 8, &x4, sizeof x4);
    std::memcpy(lanes + 10, &x5, sizeof x5);
    std::memcpy(lanes + 12, &x6, sizeof x6);
    std::memcpy(lanes + 14, &x7, sizeof x7);
    std::memcpy(lanes + 16, &x8, sizeof x8);
    std::memcpy(lanes + 18, &x9, sizeof x9);
    std::memcpy(lanes + 20, &x10, sizeof x10);
    std::memcpy(lanes + 22, &x11, sizeof x11);
    std::memcpy(lanes + 24, &x12, sizeof x12);
    std::memcpy(lanes + 26, &x13, sizeof x13);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2,fma"))) void Avx2Chunk(double* lanes,
                                                   std::int64_t iterations) noexcept {
    const __m256d a = _mm256_set1_pd(A);
    const __m256d b = _mm256_set1_pd(B);
    __m256d x0 = _mm256_load_pd(lanes + 0);
    __m256d x1 = _mm256_load_pd(lanes + 4);
    __m256d x2 = _mm256_load_pd(lanes + 8);
    __m256d x3 = _mm256_load_pd(lanes + 12);
    __m256d x4 = _mm256_load_pd(lanes + 16);
    __m256d x5 = _mm256_load_pd(lanes + 20);
    __m256d x6 = _mm256_load_pd(lanes + 24);
    __m256d x7 = _mm256_load_pd(lanes + 28);
    __m256d x8 = _mm256_load_pd(lanes + 32);
    __m256d x9 = _mm256_load_pd(lanes + 36);
    __m256d x10 = _mm256_load_pd(lanes + 40);
    __m256d x11 = _mm256_load_pd(lanes + 44);
    __m256d x12 = _mm256_load_pd(lanes + 48);
    __m256d x13 = _mm256_load_pd(lanes + 52);
    for (std::int64_t n = 0; n < iterations; ++n) {
        x0 = _mm256_fmadd_pd(x0, a, b);
        x1 = _mm256_fmadd_pd(x1, a, b);
        x2 = _mm256_fmadd_pd(x2, a, b);
        x3 = _mm256_fmadd_pd(x3, a, b);
        x4 = _mm256_fmadd_pd(x4, a, b);
        x5 = _mm256_fmadd_pd(x5, a, b);
        x6 = _mm256_fmadd_pd(x6, a, b);
        x7 = _mm256_fmadd_pd(x7, a, b);
        x8 = _mm256_fmadd_pd(x8, a, b);
        x9 = _mm256_fmadd_pd(x9, a, b);
        x10 = _mm256_fmadd_pd(x10, a, b);
        x11 = _mm256_fmadd_pd(x11, a, b);
        x12 = _mm256_fmadd_pd(x12, a, b);
        x13 = _mm256_fmadd_pd(x13, a, b);
    }
    _mm256_store_pd(lanes + 0, x0);
    _mm256_store_pd(lanes + 4, x1);
    _mm256_store_pd(lanes + 8, x2);
    _mm256_store_pd(lanes + 12, x3);
    _mm256_store_pd(lanes + 16, x4);
    _mm256_store_pd(lanes + 20, x5);
    _mm256_store_pd(lanes + 24, x6);
    _mm256_store_pd(lanes + 28, x7);
    _mm256_store_pd(lanes + 32, x8);
    _mm256_store_pd(lanes + 36, x9);
    _mm256_store_pd(lanes + 40, x10);
    _mm256_store_pd(lanes + 44, x11);
    _mm256_store_pd(lanes + 48, x12);
    _mm256_store_pd(lanes + 52, x13);
}

__attribute__((target("avx512f"))) void Avx512Chunk(double* lanes,
                                                    std::int64_t iterations) noexcept {
    const __m512d a = _mm512_set1_pd(A);
    const __m512d b = _mm512_set1_pd(B);
    __m512d x0 = _mm512_load_pd(lanes + 0);
    __m512d x1 = _mm512_load_pd(lanes + 8);
    __m512d x2 = _mm512_load_pd(lanes + 16);
    __m512d x3 = _mm512_load_pd(lanes + 24);
    __m512d x4 = _mm512_load_pd(lanes + 32);
    __m512d x5 = _mm512_load_pd(lanes + 40);
    __m512d x6 = _mm512_load_pd(lanes + 48);
    __m512d x7 = _mm512_load_pd(lanes + 56);
    __m512d x8 = _mm512_load_pd(lanes + 64);
    __m512d x9 = _mm512_load_pd(lanes + 72);
    __m512d x10 = _mm512_load_pd(lanes + 80);
    __m512d x11 = _mm512_load_pd(lanes + 88);
    __m512d x12 = _mm512_load_pd(lanes + 96);
    __m512d x13 = _mm512_load_pd(lanes + 104);
    for (std::int64_t n = 0; n < iterations; ++n) {
        x0 = _mm512_fmadd_pd(x0, a, b);
        x1 = _mm512_fmadd_pd(x1, a, b);
        x2 = _mm512_fmadd_pd(x2, a, b);
        x3 = _mm512_fmadd_pd(x3, a, b);
        x4 = _mm512_fmadd_pd(x4, a, b);
        x5 = _mm512_fmadd_pd(x5, a, b);
        x6 = _mm512_fmadd_pd(x6, a, b);
        x7 = _mm512_fmadd_pd(x7, a, b);
        x8 = _mm512_fmadd_pd(x8, a, b);
        x9 = _mm512_fmadd_pd(x9, a, b);
        x10 = _mm512_fmadd_pd(x10, a, b);
        x11 = _mm512_fmadd_pd(x11, a, b);
        x12 = _mm512_fmadd_pd(x12, a, b);
        x13 = _mm512_fmadd_pd(x13, a, b);
    }
    _mm512_store_pd(lanes + 0, x0);
    _mm512_store_pd(lanes + 8, x1);
    _mm512_store_pd(lanes + 16, x2);
    _mm512_store_pd(lanes + 24, x3);
    _mm512_store_pd(lanes + 32, x4);
    _mm512_store_pd(lanes + 40, x5);
    _mm512_store_pd(lanes + 48, x6);
    _mm512_store_pd(lanes + 56, x7);
    _mm512_store_pd(lanes + 64, x8);
    _mm512_store_pd(lanes + 72, x9);
    _mm512_store_pd(lanes + 80, x10);
    _mm512_store_pd(lanes + 88, x11);
    _mm512_store_pd(lanes + 96, x12);
    _mm512_store_pd(lanes + 104, x13);
}
#endif

std::uint64_t Mix64(std::uint64_t z) noexcept {
    z += 0x9E3779B97F4A7C15u;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

} // namespace

bool TFmaKernel::Supported(TFmaIsa isa) noexcept {
    switch (isa) {
    case TFmaIsa::Plain:
        return true;
#if defined(__x86_64__) || defined(__i386__)
    case TFmaIsa::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case TFmaIsa::Avx512:
        return __builtin_cpu_supports("avx512f");
#else
    case TFmaIsa::Avx2:
    case TFmaIsa::Avx512:
        break;
#endif
    }
    return false;
}

TFmaIsa TFmaKernel::Best() noexcept {
    for (const TFmaIsa isa : {TFmaIsa::Avx512, TFmaIsa::Avx2}) {
        if (Supported(isa)) {
            return isa;
        }
    }
    return TFmaIsa::Plain;
}

const char* TFmaKernel::Name(TFmaIsa isa) noexcept {
    switch (isa) {
    case TFmaIsa::Avx2:
        return "avx2";
    case TFmaIsa::Avx512:
        return "avx512";
    case TFmaIsa::Plain:
        break;
    }
    return "plain";
}

std::optional<TFmaIsa> TFmaKernel::FromName(const char* name) noexcept {
    for (const TFmaIsa isa : {TFmaIsa::Plain, TFmaIsa::Avx2, TFmaIsa::Avx512}) {
        if (std::strcmp(name, Name(isa)) == 0) {
            return isa;
        }
    }
    return std::nullopt;
}

int TFmaKernel::Lanes(TFmaIsa isa) noexcept {
    switch (isa) {
    case TFmaIsa::Avx2:
        return Chains * 4;
    case TFmaIsa::Avx512:
        return Chains * 8;
    case TFmaIsa::Plain:
        break;
    }
    return Chains * 2;
}

void TFmaKernel::RunChunk(TFmaIsa isa, double* lanes, std::int64_t iterations) noexcept {
    switch (isa) {
#if defined(__x86_64__) || defined(__i386__)
    case TFmaIsa::Avx2:
        Avx2Chunk(lanes, iterations);
        return;
    case TFmaIsa::Avx512:
        Avx512Chunk(lanes, iterations);
        return;
#else
    case TFmaIsa::Avx2:
    case TFmaIsa::Avx512:
#endif
    case TFmaIsa::Plain:
        break;
    }
    PlainChunk(lanes, iterations);
}

void TFmaKernel::StartLanes(std::int64_t block, double* lanes, int count) noexcept {
    for (int i = 0; i < count; ++i) {
        // 1 plus 52 random bits of fraction: [1, 2).
        const std::uint64_t bits =
            Mix64(static_cast<std::uint64_t>(block) * MaxLanes + static_cast<std::uint64_t>(i));
        lanes[i] = std::bit_cast<double>(0x3FF0000000000000u | (bits >> 12));
    }
}

std::uint64_t TFmaKernel::ComputeBlock(std::int64_t block) const noexcept {
    TQuietProgress progress;
    return *Run(block, progress, TNoFmaFault{});
}

namespace {

TFmaKernel MakeFma(const TWorkload& workload, int) {
    return TFmaKernel(workload.Isa);
}
using TFmaEntry = TBlockEntry<TFmaKernel, TNoFmaFault, THookFmaFault, &MakeFma>;

TBlockChecker::Compute FmaCompute(const TWorkload& workload) {
    return [kernel = TFmaKernel(workload.Isa)](std::int64_t block) {
        return kernel.ComputeBlock(block);
    };
}

std::int64_t FmaStepsBefore(const TWorkload& workload, std::int64_t block) noexcept {
    return block * TFmaKernel::StepsPerBlock(workload.Isa);
}

constexpr std::array FmaRows{TSelfTestRow{TFault::TKind::WrongFma}};

} // namespace

const TWorkloadEntry FmaWorkload{
    "fma",
    "fused multiply-adds on the widest vectors",
    "steps/s",
    true,
    false,
    &TFmaEntry::Start,
    &FmaCompute,
    &FmaStepsBefore,
    FmaRows,
    &Workloads::BlockFault,
    &Workloads::FaultyBlock,
    nullptr,
    nullptr,
    &TFmaEntry::Kernel,
};
