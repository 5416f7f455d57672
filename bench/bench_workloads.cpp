// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Measures the block workloads besides the division, each against a bare loop on this machine:
//  1. fma, for every instruction set the processor runs: one worker's multiply-adds per second
//     over the bare loop of the same instructions (target >= 0.95), and the bare loop's FLOP rate
//     beside the processor's peak (units x vector width x operations per instruction x clock:
//     a fused multiply-add is two, the plain loop's separate multiply and add one each; the
//     vector width is the kernel's lanes over its chains; the units are assumed 2 unless given);
//     and beside a loop of the same instructions where no step waits on latency (x86-64);
//  2. memory: one worker's bandwidth (each word read back and written again) over a bare copy
//     loop between buffers of the same size (target >= 0.9);
//  3. mix: one worker's steps per second over what the three bare loops give in turn;
//  4. crypto: one worker's bytes per second over a bare loop of the same library calls on the
//     same chunks (target >= 0.95);
//  5. compress: one worker's input bytes per second over a bare loop of the same library calls
//     (zlib and zstd each compress a block's input and decompress it again) (target >= 0.95);
//  6. matrix: one worker's multiply-adds per second over a bare loop of the same dgemm calls
//     (target >= 0.95), and fifteen workers at once;
//  7. handoff: one worker's words verified per second over a bare loop of the same writes, move
//     to the partner, reads and move back (target >= 0.95).
// Every rate is of the processor time of the thread that does the work (the worker's or this
// one's), the bare loop and the worker measured in turn, so that a busy machine does not count.
//
// Usage: bench_workloads [MiB of the memory worker's buffer, default 256] [FMA units, default 2]
//        bench_workloads crypto|compress|matrix|handoff   (that workload alone)
#include "Processors.h"
#include "SThreadUnit.h"
#include "TCompressKernel.h"
#include "TCryptoKernel.h"
#include "TFmaKernel.h"
#include "THandoffKernel.h"
#include "TMatrixKernel.h"
#include "TMemoryKernel.h"
#include "TMixKernel.h"
#include "TSensors.h"
#include "TWorkload.h"
#include "WorkerRate.h"

#include <openssl/evp.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <zlib.h>
#include <zstd.h>

#include <cblas.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bench::Median;
using Bench::ThreadSeconds;

// One real worker of `workload`: its steps per second over `seconds`, once `warmBlocks` blocks
// are done (the memory's first pass only writes).
double WorkerStepsPerSecond(const TWorkload& workload, double seconds, std::int64_t warmBlocks) {
    const std::shared_ptr<TWorker> worker = workload.Factory()(0);
    while (worker->Blocks()->Published() < warmBlocks) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Bench::StepsPerSecondThenStop(*worker, seconds);
}

// The bare loop of the fma workload: the same chunks, no checksum, no count, no stop.
double BareFmaPerSecond(TFmaIsa isa) {
    alignas(64) double lanes[TFmaKernel::MaxLanes];
    TFmaKernel::StartLanes(0, lanes, TFmaKernel::Lanes(isa));
    // About as long as the worker is measured.
    std::int64_t iterations = 0;
    const double start = ThreadSeconds();
    double elapsed = 0;
    while (elapsed < 1.5) {
        TFmaKernel::RunChunk(isa, lanes, std::int64_t{TFmaKernel::ChunkIterations} * 256);
        iterations += std::int64_t{TFmaKernel::ChunkIterations} * 256;
        elapsed = ThreadSeconds() - start;
    }
    if (lanes[0] == 0) {
        std::puts("unexpected lane");
    }
    return static_cast<double>(iterations) * TFmaKernel::Lanes(isa) / elapsed;
}

#if defined(__x86_64__)
// The instructions of each loop with no step waiting for another, or as near as the registers
// allow: the plain loop's multiplies and adds each on the two constants, the fused multiply-adds
// on as many chains as there are registers besides the constants (fourteen, twenty-eight), more
// than their latency needs. The most this core gives those instructions, at whatever clock it
// runs them. Each returns the vector steps of one round.
__attribute__((target("avx"))) void LatencyFreePlain(std::int64_t rounds) {
    const __m128d a = _mm_set1_pd(0.5);
    const __m128d b = _mm_set1_pd(0.5);
    asm volatile("vpxor %%xmm0, %%xmm0, %%xmm0\n\t"
                 "vpxor %%xmm1, %%xmm1, %%xmm1\n\t"
                 "vpxor %%xmm2, %%xmm2, %%xmm2\n\t"
                 "vpxor %%xmm3, %%xmm3, %%xmm3\n\t"
                 "vpxor %%xmm4, %%xmm4, %%xmm4\n\t"
                 "vpxor %%xmm5, %%xmm5, %%xmm5\n\t"
                 "vpxor %%xmm6, %%xmm6, %%xmm6\n\t"
                 "vpxor %%xmm7, %%xmm7, %%xmm7\n\t"
                 "vpxor %%xmm8, %%xmm8, %%xmm8\n\t"
                 "vpxor %%xmm9, %%xmm9, %%xmm9\n\t"
                 "vpxor %%xmm10, %%xmm10, %%xmm10\n\t"
                 "vpxor %%xmm11, %%xmm11, %%xmm11\n\t"
                 "1:\n\t"
                 "vmulpd %[a], %[b], %%xmm0\n\t"
                 "vaddpd %[a], %[b], %%xmm0\n\t"
                 "vmulpd %[a], %[b], %%xmm1\n\t"
                 "vaddpd %[a], %[b], %%xmm1\n\t"
                 "vmulpd %[a], %[b], %%xmm2\n\t"
                 "vaddpd %[a], %[b], %%xmm2\n\t"
                 "vmulpd %[a], %[b], %%xmm3\n\t"
                 "vaddpd %[a], %[b], %%xmm3\n\t"
                 "vmulpd %[a], %[b], %%xmm4\n\t"
                 "vaddpd %[a], %[b], %%xmm4\n\t"
                 "vmulpd %[a], %[b], %%xmm5\n\t"
                 "vaddpd %[a], %[b], %%xmm5\n\t"
                 "vmulpd %[a], %[b], %%xmm6\n\t"
                 "vaddpd %[a], %[b], %%xmm6\n\t"
                 "vmulpd %[a], %[b], %%xmm7\n\t"
                 "vaddpd %[a], %[b], %%xmm7\n\t"
                 "vmulpd %[a], %[b], %%xmm8\n\t"
                 "vaddpd %[a], %[b], %%xmm8\n\t"
                 "vmulpd %[a], %[b], %%xmm9\n\t"
                 "vaddpd %[a], %[b], %%xmm9\n\t"
                 "vmulpd %[a], %[b], %%xmm10\n\t"
                 "vaddpd %[a], %[b], %%xmm10\n\t"
                 "vmulpd %[a], %[b], %%xmm11\n\t"
                 "vaddpd %[a], %[b], %%xmm11\n\t"
                 "dec %[n]\n\t"
                 "jnz 1b"
                 : [n] "+r"(rounds)
                 : [a] "x"(a), [b] "x"(b)
                 : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
                   "xmm10", "xmm11", "cc");
}

__attribute__((target("avx2,fma"))) void LatencyFreeAvx2(std::int64_t rounds) {
    const __m256d a = _mm256_set1_pd(0.5);
    const __m256d b = _mm256_set1_pd(0.5);
    asm volatile("vpxor %%xmm0, %%xmm0, %%xmm0\n\t"
                 "vpxor %%xmm1, %%xmm1, %%xmm1\n\t"
                 "vpxor %%xmm2, %%xmm2, %%xmm2\n\t"
                 "vpxor %%xmm3, %%xmm3, %%xmm3\n\t"
                 "vpxor %%xmm4, %%xmm4, %%xmm4\n\t"
                 "vpxor %%xmm5, %%xmm5, %%xmm5\n\t"
                 "vpxor %%xmm6, %%xmm6, %%xmm6\n\t"
                 "vpxor %%xmm7, %%xmm7, %%xmm7\n\t"
                 "vpxor %%xmm8, %%xmm8, %%xmm8\n\t"
                 "vpxor %%xmm9, %%xmm9, %%xmm9\n\t"
                 "vpxor %%xmm10, %%xmm10, %%xmm10\n\t"
                 "vpxor %%xmm11, %%xmm11, %%xmm11\n\t"
                 "vpxor %%xmm12, %%xmm12, %%xmm12\n\t"
                 "vpxor %%xmm13, %%xmm13, %%xmm13\n\t"
                 "1:\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm0\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm1\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm2\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm3\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm4\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm5\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm6\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm7\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm8\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm9\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm10\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm11\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm12\n\t"
                 "vfmadd231pd %[a], %[b], %%ymm13\n\t"
                 "dec %[n]\n\t"
                 "jnz 1b"
                 : [n] "+r"(rounds)
                 : [a] "x"(a), [b] "x"(b)
                 : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
                   "xmm10", "xmm11", "xmm12", "xmm13", "cc");
}

__attribute__((target("avx512f"))) void LatencyFreeAvx512(std::int64_t rounds) {
    const __m512d a = _mm512_set1_pd(0.5);
    const __m512d b = _mm512_set1_pd(0.5);
    asm volatile("vpxord %%zmm0, %%zmm0, %%zmm0\n\t"
                 "vpxord %%zmm1, %%zmm1, %%zmm1\n\t"
                 "vpxord %%zmm2, %%zmm2, %%zmm2\n\t"
                 "vpxord %%zmm3, %%zmm3, %%zmm3\n\t"
                 "vpxord %%zmm4, %%zmm4, %%zmm4\n\t"
                 "vpxord %%zmm5, %%zmm5, %%zmm5\n\t"
                 "vpxord %%zmm6, %%zmm6, %%zmm6\n\t"
                 "vpxord %%zmm7, %%zmm7, %%zmm7\n\t"
                 "vpxord %%zmm8, %%zmm8, %%zmm8\n\t"
                 "vpxord %%zmm9, %%zmm9, %%zmm9\n\t"
                 "vpxord %%zmm10, %%zmm10, %%zmm10\n\t"
                 "vpxord %%zmm11, %%zmm11, %%zmm11\n\t"
                 "vpxord %%zmm12, %%zmm12, %%zmm12\n\t"
                 "vpxord %%zmm13, %%zmm13, %%zmm13\n\t"
                 "vpxord %%zmm14, %%zmm14, %%zmm14\n\t"
                 "vpxord %%zmm15, %%zmm15, %%zmm15\n\t"
                 "vpxord %%zmm16, %%zmm16, %%zmm16\n\t"
                 "vpxord %%zmm17, %%zmm17, %%zmm17\n\t"
                 "vpxord %%zmm18, %%zmm18, %%zmm18\n\t"
                 "vpxord %%zmm19, %%zmm19, %%zmm19\n\t"
                 "vpxord %%zmm20, %%zmm20, %%zmm20\n\t"
                 "vpxord %%zmm21, %%zmm21, %%zmm21\n\t"
                 "vpxord %%zmm22, %%zmm22, %%zmm22\n\t"
                 "vpxord %%zmm23, %%zmm23, %%zmm23\n\t"
                 "vpxord %%zmm24, %%zmm24, %%zmm24\n\t"
                 "vpxord %%zmm25, %%zmm25, %%zmm25\n\t"
                 "vpxord %%zmm26, %%zmm26, %%zmm26\n\t"
                 "vpxord %%zmm27, %%zmm27, %%zmm27\n\t"
                 "1:\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm0\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm1\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm2\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm3\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm4\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm5\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm6\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm7\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm8\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm9\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm10\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm11\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm12\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm13\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm14\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm15\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm16\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm17\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm18\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm19\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm20\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm21\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm22\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm23\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm24\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm25\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm26\n\t"
                 "vfmadd231pd %[a], %[b], %%zmm27\n\t"
                 "dec %[n]\n\t"
                 "jnz 1b"
                 : [n] "+r"(rounds)
                 : [a] "v"(a), [b] "v"(b)
                 : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
                   "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "xmm16", "xmm17", "xmm18",
                   "xmm19", "xmm20", "xmm21", "xmm22", "xmm23", "xmm24", "xmm25", "xmm26", "xmm27",
                   "cc");
}

int LatencyFreeRounds(TFmaIsa isa, std::int64_t rounds) {
    switch (isa) {
    case TFmaIsa::Avx2:
        LatencyFreeAvx2(rounds);
        return 14 * 4;
    case TFmaIsa::Avx512:
        LatencyFreeAvx512(rounds);
        return 28 * 8;
    case TFmaIsa::Plain:
        break;
    }
    LatencyFreePlain(rounds);
    return 12 * 2;
}
#endif

// Lane steps per second of the latency-free loop of `isa`, or 0 where there is none.
double LatencyFreePerSecond(TFmaIsa isa) {
#if defined(__x86_64__)
    if (isa == TFmaIsa::Plain && !__builtin_cpu_supports("avx")) {
        return 0;
    }
    const std::int64_t rounds = std::int64_t{1} << 22;
    std::int64_t steps = 0;
    const double start = ThreadSeconds();
    double elapsed = 0;
    while (elapsed < 1.5) {
        steps += std::int64_t{LatencyFreeRounds(isa, rounds)} * rounds;
        elapsed = ThreadSeconds() - start;
    }
    return static_cast<double>(steps) / elapsed;
#else
    (void)isa;
    return 0;
#endif
}

// A bare copy between two buffers of `words` each: words read (and as many written) per second.
double BareCopyWordsPerSecond(std::int64_t words) {
    std::vector<std::uint64_t> from(static_cast<std::size_t>(words), 1);
    std::vector<std::uint64_t> to(static_cast<std::size_t>(words), 2);
    const double start = ThreadSeconds();
    for (int pass = 0; pass < 16; ++pass) {
        for (std::size_t i = 0; i < from.size(); ++i) {
            to[i] = from[i] + static_cast<std::uint64_t>(pass);
        }
    }
    const double elapsed = ThreadSeconds() - start;
    if (to[1] == 0) {
        std::puts("unexpected word");
    }
    return 16.0 * static_cast<double>(words) / elapsed;
}

// The clock a busy core runs at, measured: a chain of dependent additions takes one cycle each
// (the sensors of a virtual machine show the nominal clock, not the boost). The addend is in a
// register: newer cores fold a chain of additions of a constant, several to a cycle.
double MeasuredMHz() {
    std::uint64_t x = 0;
    const std::uint64_t one = 1;
    const std::int64_t rounds = 50'000'000;
    const double start = ThreadSeconds();
    for (std::int64_t n = 0; n < rounds; ++n) {
#if defined(__x86_64__)
        asm volatile("add %1, %0\n\tadd %1, %0\n\tadd %1, %0\n\tadd %1, %0\n\t"
                     "add %1, %0\n\tadd %1, %0\n\tadd %1, %0\n\tadd %1, %0"
                     : "+r"(x)
                     : "r"(one));
#else
        x = static_cast<std::uint64_t>(detail::Opaque(static_cast<std::int64_t>(x + 8)));
#endif
    }
    const double elapsed = ThreadSeconds() - start;
    return x == 0 ? 0 : 8.0 * static_cast<double>(rounds) / elapsed / 1e6;
}

// The bare loop of the division on the prime: divisions per second.
double BareDivisionsPerSecond() {
    const std::int64_t divisions = 100'000'000;
    std::int64_t divisor = 3;
    std::uint64_t checksum = 0;
    const double start = ThreadSeconds();
    for (std::int64_t n = 0; n < divisions; ++n) {
        const std::int64_t remainder = detail::Opaque(Workload::KnownPrime) % divisor;
        checksum = Workload::Fold(checksum, remainder, divisor);
        divisor += 2;
    }
    const double elapsed = ThreadSeconds() - start;
    if (checksum == 1) {
        std::puts("unexpected checksum");
    }
    return static_cast<double>(divisions) / elapsed;
}

// The doubles of one vector instruction of `isa`'s loop: its lanes over its chains. The plain
// loop's pairs are one instruction wherever the processor has 16-byte vectors, two elsewhere.
int VectorWidth(TFmaIsa isa) {
#if !defined(__SSE2__) && !defined(__aarch64__)
    if (isa == TFmaIsa::Plain) {
        return 1;
    }
#endif
    return TFmaKernel::Lanes(isa) / TFmaKernel::Chains;
}

// The bare loop of the crypto workload: each block keyed by its number, then the chunks in a
// chain, each encrypted, decrypted with its tag and its ciphertext hashed on, as the worker does,
// without its comparison, checksum, count or stop. Bytes encrypted per second.
double BareCryptoBytesPerSecond(double seconds) {
    EVP_CIPHER* aes = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
    EVP_MD* sha = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    EVP_CIPHER_CTX* encryption = EVP_CIPHER_CTX_new();
    EVP_CIPHER_CTX* decryption = EVP_CIPHER_CTX_new();
    EVP_MD_CTX* hash = EVP_MD_CTX_new();
    const auto chunk = static_cast<std::size_t>(TCryptoKernel::ChunkBytes);
    std::vector<unsigned char> plain(chunk, 1);
    std::vector<unsigned char> sealed(chunk);
    std::vector<unsigned char> opened(chunk);
    std::uint64_t key[4] = {};
    unsigned char nonce[12] = {};
    unsigned char tag[16] = {};
    unsigned char digest[32] = {};
    unsigned int size = 0;
    int length = 0;
    const int bytes = static_cast<int>(chunk);
    int ok = EVP_EncryptInit_ex2(encryption, aes, nullptr, nullptr, nullptr) &
             EVP_DecryptInit_ex2(decryption, aes, nullptr, nullptr, nullptr);
    std::int64_t blocks = 0;
    const double start = ThreadSeconds();
    double elapsed = 0;
    while (elapsed < seconds) {
        for (std::uint64_t i = 0; i < 4; ++i) {
            key[i] = (static_cast<std::uint64_t>(blocks) + i) * 0x9E3779B97F4A7C15u;
        }
        const auto* keyBytes = reinterpret_cast<const unsigned char*>(key);
        ok &= EVP_EncryptInit_ex2(encryption, nullptr, keyBytes, nullptr, nullptr) &
              EVP_DecryptInit_ex2(decryption, nullptr, keyBytes, nullptr, nullptr) &
              EVP_DigestInit_ex2(hash, sha, nullptr);
        for (int i = 0; i < TCryptoKernel::BlockChunks; ++i) {
            nonce[8] = static_cast<unsigned char>(i);
            ok &= EVP_EncryptInit_ex2(encryption, nullptr, nullptr, nonce, nullptr) &
                  EVP_EncryptUpdate(encryption, sealed.data(), &length, plain.data(), bytes) &
                  EVP_EncryptFinal_ex(encryption, sealed.data() + length, &length) &
                  EVP_CIPHER_CTX_ctrl(encryption, EVP_CTRL_GCM_GET_TAG, 16, tag);
            ok &= EVP_DecryptInit_ex2(decryption, nullptr, nullptr, nonce, nullptr) &
                  EVP_DecryptUpdate(decryption, opened.data(), &length, sealed.data(), bytes) &
                  EVP_CIPHER_CTX_ctrl(decryption, EVP_CTRL_GCM_SET_TAG, 16, tag) &
                  EVP_DecryptFinal_ex(decryption, opened.data() + length, &length);
            ok &= EVP_DigestUpdate(hash, sealed.data(), chunk);
            plain.swap(sealed);
        }
        ok &= EVP_DigestFinal_ex(hash, digest, &size);
        ++blocks;
        elapsed = ThreadSeconds() - start;
    }
    if (ok != 1) {
        std::puts("the cryptography library refused a call");
    }
    EVP_MD_CTX_free(hash);
    EVP_CIPHER_CTX_free(decryption);
    EVP_CIPHER_CTX_free(encryption);
    EVP_MD_free(sha);
    EVP_CIPHER_free(aes);
    return static_cast<double>(blocks * TCryptoKernel::BlockBytes) / elapsed;
}

// 4. crypto: one worker against the bare loop, in turn.
void MeasureCrypto() {
    TWorkload crypto;
    crypto.Kind = &CryptoWorkload;
    std::vector<double> bare;
    std::vector<double> worker;
    for (int round = 0; round < 5; ++round) {
        bare.push_back(BareCryptoBytesPerSecond(1.5));
        worker.push_back(WorkerStepsPerSecond(crypto, 1.5, 0));
    }
    const double bareRate = Median(bare);
    const double workerRate = Median(worker);
    std::printf("crypto      worker %.2f GB/s, bare loop %.2f GB/s (AES-256-GCM both ways and "
                "SHA-256): ratio %.3f  (target >= 0.95)\n",
                workerRate / 1e9, bareRate / 1e9, workerRate / bareRate);
}

// The bare loop of the compress workload: the library calls of its blocks on the inputs of its
// first blocks, made beforehand; no input made, no checksum, no comparison. Input bytes per
// second.
double BareCompressBytesPerSecond() {
    using Kernel = TCompressKernel;
    constexpr auto size = static_cast<std::size_t>(Kernel::InputBytes);
    constexpr int inputs = 8;
    std::vector<std::vector<unsigned char>> input(inputs, std::vector<unsigned char>(size + 16));
    for (int i = 0; i < inputs; ++i) {
        Kernel::MakeInput(i, input[static_cast<std::size_t>(i)].data());
    }
    z_stream deflater{};
    z_stream inflater{};
    if (deflateInit2(&deflater, Kernel::ZlibLevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK ||
        inflateInit(&inflater) != Z_OK) {
        std::puts("zlib failed");
        std::exit(1);
    }
    ZSTD_CCtx* compressor = ZSTD_createCCtx();
    ZSTD_DCtx* decompressor = ZSTD_createDCtx();
    const std::size_t capacity =
        std::max<std::size_t>(deflateBound(&deflater, size), ZSTD_compressBound(size));
    std::vector<unsigned char> packed(capacity);
    std::vector<unsigned char> unpacked(size);
    std::int64_t bytes = 0;
    std::size_t sink = 0;
    const double start = ThreadSeconds();
    double elapsed = 0;
    for (std::size_t round = 0; elapsed < 1.5; ++round) {
        unsigned char* from = input[round % inputs].data();
        deflateReset(&deflater);
        deflater.next_in = from;
        deflater.avail_in = static_cast<uInt>(size);
        deflater.next_out = packed.data();
        deflater.avail_out = static_cast<uInt>(capacity);
        deflate(&deflater, Z_FINISH);
        inflateReset(&inflater);
        inflater.next_in = packed.data();
        inflater.avail_in = static_cast<uInt>(deflater.total_out);
        inflater.next_out = unpacked.data();
        inflater.avail_out = static_cast<uInt>(size);
        inflate(&inflater, Z_FINISH);
        const std::size_t zstd =
            ZSTD_compressCCtx(compressor, packed.data(), capacity, from, size, Kernel::ZstdLevel);
        sink += ZSTD_decompressDCtx(decompressor, unpacked.data(), size, packed.data(), zstd);
        sink += inflater.total_out;
        bytes += 2 * Kernel::InputBytes;
        elapsed = ThreadSeconds() - start;
    }
    if (sink != static_cast<std::size_t>(bytes)) {
        std::puts("unexpected round trip");
    }
    ZSTD_freeCCtx(compressor);
    ZSTD_freeDCtx(decompressor);
    deflateEnd(&deflater);
    inflateEnd(&inflater);
    return static_cast<double>(bytes) / elapsed;
}

// 4. compress: one worker against the bare library calls, in turn.
void BenchCompress() {
    TWorkload workload;
    workload.Kind = &CompressWorkload;
    std::vector<double> bare;
    std::vector<double> worker;
    for (int round = 0; round < 5; ++round) {
        bare.push_back(BareCompressBytesPerSecond());
        worker.push_back(WorkerStepsPerSecond(workload, 1.5, 1));
    }
    const double bareRate = Median(bare);
    const double workerRate = Median(worker);
    std::printf("compress    worker %.1f MB/s, bare library calls %.1f MB/s (input bytes, zlib %d "
                "and zstd %d): ratio %.3f  (target >= 0.95)\n",
                workerRate / 1e6, bareRate / 1e6, TCompressKernel::ZlibLevel,
                TCompressKernel::ZstdLevel, workerRate / bareRate);
}

// The most processors that ran threads of this process at one moment, sampled every
// millisecond for `seconds`: each running thread's state and processor, as /proc shows them.
int MostProcessorsAtOnce(double seconds) {
    int most = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::set<int> running;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::ifstream stat(task.path() / "stat");
            std::string line;
            std::getline(stat, line);
            // After the name in parentheses: the state (field 3), then the processor (39).
            std::istringstream fields(line.substr(line.rfind(')') + 2));
            std::vector<std::string> values{std::istream_iterator<std::string>(fields), {}};
            if (values.size() > 36 && values[0] == "R") {
                running.insert(std::atoi(values[36].c_str()));
            }
        }
        most = std::max(most, static_cast<int>(running.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return most;
}

// 6. matrix: one worker's multiply-adds per second over a bare loop of the same dgemm calls on
// the same operands (target >= 0.95), with the GFLOP/s of each; then as many workers at once as
// the run's default (fifteen): their processor time over the time gone, the most processors
// that ran them at one moment, and whether every block they all reached has one checksum.
void MatrixBench() {
    constexpr int n = TMatrixKernel::Size;
    const TMatrixKernel operands;
    std::vector<double> product(std::size_t{n} * n);
    const auto bare = [&] {
        std::int64_t blocks = 0;
        const double start = ThreadSeconds();
        double elapsed = 0;
        while (elapsed < 1.5) {
            cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0,
                        operands.Pool() + TMatrixKernel::LeftPlace(blocks), n,
                        operands.Pool() + TMatrixKernel::RightPlace(blocks), n, 0.0, product.data(),
                        n);
            ++blocks;
            elapsed = ThreadSeconds() - start;
        }
        return static_cast<double>(blocks * TMatrixKernel::StepsPerBlock) / elapsed;
    };
    TWorkload workload;
    workload.Kind = &MatrixWorkload;
    std::vector<double> bares;
    std::vector<double> workers;
    for (int round = 0; round < 11; ++round) { // a load in the caches: more rounds
        bares.push_back(bare());
        workers.push_back(WorkerStepsPerSecond(workload, 1.5, 2));
    }
    const double bareRate = Median(bares);
    const double workerRate = Median(workers);
    std::printf("matrix      worker %.2f G multiply-adds/s (%.1f GFLOP/s), bare dgemm loop %.2f G "
                "(%.1f GFLOP/s): ratio %.3f  (target >= 0.95; %dx%d, OpenBLAS kernels for %s)\n",
                workerRate / 1e9, 2 * workerRate / 1e9, bareRate / 1e9, 2 * bareRate / 1e9,
                workerRate / bareRate, n, n, openblas_get_corename());

    const int count = 15;
    std::vector<std::shared_ptr<TWorker>> all;
    const auto wall = std::chrono::steady_clock::now();
    for (int slot = 0; slot < count; ++slot) {
        all.push_back(workload.Factory()(slot));
    }
    const int atOnce = MostProcessorsAtOnce(3.0);
    // Their processor time while they run (a thread's clock ends with it).
    double cpu = 0;
    for (const std::shared_ptr<TWorker>& worker : all) {
        cpu += std::chrono::duration<double>(
                   worker->CpuTime().value_or(std::chrono::nanoseconds::zero()))
                   .count();
    }
    const double gone =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    std::int64_t reached = std::numeric_limits<std::int64_t>::max();
    for (const std::shared_ptr<TWorker>& worker : all) {
        worker->RequestStop();
    }
    for (const std::shared_ptr<TWorker>& worker : all) {
        while (!worker->Finished()) {
            std::this_thread::yield();
        }
        reached = std::min(reached, worker->Blocks()->Published());
    }
    std::int64_t differ = 0;
    for (std::int64_t block = 0; block < reached; ++block) {
        TBlockResult first;
        all.front()->Blocks()->Read(block, first);
        for (const std::shared_ptr<TWorker>& worker : all) {
            TBlockResult result;
            differ +=
                worker->Blocks()->Read(block, result) && result.Checksum == first.Checksum ? 0 : 1;
        }
    }
    std::printf(
        "            %d workers at once: %.2f processors busy on average, %d at most of %u, "
        "%lld blocks each compared, %lld differ\n",
        count, cpu / gone, atOnce, std::thread::hardware_concurrency(),
        static_cast<long long>(reached), static_cast<long long>(differ));
}

// The bare loop of the hand-off: the same writes of a buffer, move to the partner, reads back
// and move home (onto every processor), without a count, a checksum or a stop; words read per
// second.
double BareHandoffWordsPerSecond(const std::vector<int>& cpus) {
    constexpr std::int64_t chunk = TWordPattern::ChunkWords;
    std::vector<std::uint64_t> words(static_cast<std::size_t>(THandoffKernel::BufferWords));
    cpu_set_t all;
    CPU_ZERO(&all);
    for (const int cpu : cpus) {
        CPU_SET(static_cast<std::size_t>(cpu), &all);
    }
    std::uint64_t sum = 0;
    std::uint64_t bad = 0;
    std::int64_t handoffs = 0;
    const double start = ThreadSeconds();
    double elapsed = 0;
    while (elapsed < 1.5) {
        const TWordPattern pattern = THandoffKernel::RoundPattern(handoffs, 0);
        for (std::int64_t i = 0; i < THandoffKernel::BufferWords; i += chunk) {
            WordPattern::Write(words.data() + i, i, pattern, false);
        }
        const int partner = THandoffKernel::Partner(cpus, sched_getcpu(), handoffs);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(static_cast<std::size_t>(std::max(partner, 0)), &one);
        const bool moved = partner >= 0 && sched_setaffinity(0, sizeof one, &one) == 0;
        for (std::int64_t i = 0; i < THandoffKernel::BufferWords; i += chunk) {
            bad |= WordPattern::Verify(words.data() + i, i, pattern, false, sum);
        }
        if (moved) {
            sched_setaffinity(0, sizeof all, &all);
        }
        ++handoffs;
        elapsed = ThreadSeconds() - start;
    }
    if (sum == 1 || bad != 0) {
        std::puts("unexpected sum");
    }
    return static_cast<double>(handoffs * THandoffKernel::BufferWords) / elapsed;
}

// 7. handoff: one unpinned worker against the bare loop, in turn.
void BenchHandoff() {
    const std::vector<int> cpus = UsableCpuList();
    TWorkload workload;
    workload.Kind = &HandoffWorkload;
    std::vector<double> bare;
    std::vector<double> worker;
    for (int round = 0; round < 5; ++round) {
        bare.push_back(BareHandoffWordsPerSecond(cpus));
        worker.push_back(WorkerStepsPerSecond(workload, 1.5, 1));
    }
    const double bareRate = Median(bare);
    const double workerRate = Median(worker);
    std::printf("handoff     worker %.2f G words/s, bare loop %.2f G words/s (%zu processors): "
                "ratio %.3f  (target >= 0.95)\n",
                workerRate / 1e9, bareRate / 1e9, cpus.size(), workerRate / bareRate);
}

} // namespace

int main(int argc, char** argv) {
    // The workloads of the libraries: each alone when named as the only argument.
    const struct {
        const char* Name;
        void (*Measure)();
    } libraries[] = {{"crypto", &MeasureCrypto},
                     {"compress", &BenchCompress},
                     {"matrix", &MatrixBench},
                     {"handoff", &BenchHandoff}};
    for (const auto& library : libraries) {
        if (argc > 1 && std::strcmp(argv[1], library.Name) == 0) {
            library.Measure();
            return 0;
        }
    }
    const std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 256;
    const int units = argc > 2 ? std::atoi(argv[2]) : 2;
    const std::int64_t blocks =
        std::max<std::int64_t>(mib * (1 << 20) / TMemoryKernel::BlockBytes, 1);
    const TSensorSample sensors = TSensors().Read();
    std::vector<double> clocks;
    for (int round = 0; round < 5; ++round) {
        clocks.push_back(MeasuredMHz());
    }
    const double mhz = Median(clocks);
    std::printf("clock       %.0f MHz measured (the sensors say %.0f MHz)\n", mhz,
                sensors.MaxMHz.value_or(0));

    // 1. fma, each instruction set.
    double bestFma = 0;
    for (const TFmaIsa isa : {TFmaIsa::Plain, TFmaIsa::Avx2, TFmaIsa::Avx512}) {
        if (!TFmaKernel::Supported(isa)) {
            continue;
        }
        TWorkload workload;
        workload.Kind = &FmaWorkload;
        workload.Isa = isa;
        std::vector<double> bare;
        std::vector<double> worker;
        std::vector<double> free;
        for (int round = 0; round < 5; ++round) {
            bare.push_back(BareFmaPerSecond(isa));
            worker.push_back(WorkerStepsPerSecond(workload, 1.5, 0));
            free.push_back(LatencyFreePerSecond(isa));
        }
        const double bareRate = Median(bare);
        const double workerRate = Median(worker);
        const double freeRate = Median(free);
        if (isa == TFmaKernel::Best()) {
            bestFma = bareRate;
        }
        // A lane's step is two operations: one fused instruction, or the plain loop's multiply
        // and add, one instruction each.
        const int width = VectorWidth(isa);
        const int perInstruction = isa == TFmaIsa::Plain ? 1 : 2;
        const double peak = units * width * perInstruction * mhz * 1e6;
        std::printf("fma %-7s worker %.2f G fma/s, bare loop %.2f G fma/s: ratio %.3f  (target "
                    ">= 0.95)\n",
                    TFmaKernel::Name(isa), workerRate / 1e9, bareRate / 1e9, workerRate / bareRate);
        std::printf("            bare loop %.1f GFLOP/s of a peak of %.1f (%d units x %d x %d x "
                    "%.0f MHz): %.3f\n",
                    2 * bareRate / 1e9, peak / 1e9, units, width, perInstruction, mhz,
                    peak > 0 ? 2 * bareRate / peak : 0.0);
        std::printf("            latency-free loop of its instructions %.2f G fma/s: bare loop "
                    "%.3f of it\n",
                    freeRate / 1e9, freeRate > 0 ? bareRate / freeRate : 0.0);
    }

    // 2. memory: after the first pass, every word is read back and written again.
    TWorkload memory;
    memory.Kind = &MemoryWorkload;
    memory.MemoryBlocks = blocks;
    std::vector<double> copies;
    std::vector<double> walks;
    for (int round = 0; round < 3; ++round) {
        copies.push_back(BareCopyWordsPerSecond(blocks * TMemoryKernel::BlockWords));
        walks.push_back(WorkerStepsPerSecond(memory, 2.0, blocks));
    }
    const double copyRate = Median(copies);
    const double memoryRate = Median(walks);
    std::printf("memory      worker %.2f GB/s, bare copy %.2f GB/s (%lld MiB, read + written): "
                "ratio %.3f  (target >= 0.9)\n",
                memoryRate * 16 / 1e9, copyRate * 16 / 1e9,
                static_cast<long long>(blocks * TMemoryKernel::BlockBytes >> 20),
                memoryRate / copyRate);

    // 3. mix: the three kinds of block in turn.
    TWorkload mix = memory;
    mix.Kind = &MixWorkload;
    mix.Isa = TFmaKernel::Best();
    const double divideRate = BareDivisionsPerSecond();
    const double bareSeconds = static_cast<double>(Workload::BlockDivisions) / divideRate +
                               static_cast<double>(TFmaKernel::StepsPerBlock(mix.Isa)) / bestFma +
                               static_cast<double>(TMemoryKernel::BlockWords) / copyRate;
    const double bareMix = static_cast<double>(mix.StepsBefore(3)) / bareSeconds;
    const double mixRate = WorkerStepsPerSecond(mix, 3.0, 3 * blocks);
    std::printf("mix         worker %.2f G steps/s, bare loops in turn %.2f G steps/s: ratio "
                "%.3f\n",
                mixRate / 1e9, bareMix / 1e9, mixRate / bareMix);

    for (const auto& library : libraries) {
        library.Measure();
    }
    return 0;
}
