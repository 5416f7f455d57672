// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "BlockChecksum.h"
#include "TFaultHook.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

// The floating-point workload: every lane runs x = x * A + B over and over, fused into one
// instruction where the processor has one. With A just below 1 and B small, every value stays
// between 1 and 2 whatever the start, so that no denormal or overflow ever slows a unit down,
// and an error in one result lives on for millions of steps. Each block starts its lanes from
// its own number, so anyone can compute any block on its own.
//
// The vector width is chosen at run time; the checksums of one width differ from another's, so
// only workers of one instruction set are compared (all workers of a run use the same).
enum class TFmaIsa { Plain, Avx2, Avx512 };

class TFmaKernel {
public:
    // Independent chains of every loop: a step waits for the one before it on its chain, and
    // fourteen keep two units busy through the latency of a fused multiply-add, or of a
    // multiply then an add (twelve left the plain loop a tenth short of a loop without
    // dependencies), and with the two constants still fit sixteen registers.
    static constexpr int Chains = 14;
    // The lanes of the widest loop: fourteen vectors of eight doubles.
    static constexpr int MaxLanes = Chains * 8;
    static constexpr int ChunkIterations = 2048;
    static constexpr int BlockChunks = 8192;

    // The widest instruction set this processor runs.
    static TFmaIsa Best() noexcept;
    static bool Supported(TFmaIsa isa) noexcept;
    // "plain", "avx2" or "avx512"; none for another name.
    static const char* Name(TFmaIsa isa) noexcept;
    static std::optional<TFmaIsa> FromName(const char* name) noexcept;
    // Independent lanes of each instruction set (its chains times its vector width).
    static int Lanes(TFmaIsa isa) noexcept;
    // Fused multiply-adds of one lane per block, times the lanes.
    static std::int64_t StepsPerBlock(TFmaIsa isa) noexcept {
        return std::int64_t{ChunkIterations} * BlockChunks * Lanes(isa);
    }

    // The bare loop: `iterations` steps of every lane of `lanes`, in place.
    static void RunChunk(TFmaIsa isa, double* lanes, std::int64_t iterations) noexcept;

    // The lanes at the start of `block`.
    static void StartLanes(std::int64_t block, double* lanes, int count) noexcept;
    // One chunk's lanes folded into the block's checksum, as digests of up to 64 lanes each. A
    // digest rotates its lane i by i bits, so one wrong bit in one lane always changes it, and
    // the same wrong bit in two lanes (the same element of two registers) does not cancel out;
    // the digests are folded as every block workload folds its chunks.
    static std::uint64_t Fold(std::uint64_t checksum, const double* lanes, int count) noexcept {
        for (int first = 0; first < count; first += 64) {
            std::uint64_t digest = 0;
            for (int i = first; i < count && i < first + 64; ++i) {
                digest ^= std::rotl(std::bit_cast<std::uint64_t>(lanes[i]), i - first);
            }
            checksum = BlockChecksum::Fold(checksum, digest);
        }
        return checksum;
    }

    explicit TFmaKernel(TFmaIsa chosen) noexcept : isa(chosen), lanes(Lanes(chosen)) {}

    TFmaIsa Isa() const noexcept { return isa; }
    std::int64_t StepsPerBlock() const noexcept { return StepsPerBlock(isa); }

    // Runs one block. `progress` is told the steps of every chunk (Add) and asked whether to
    // stop (Stop); `fault` may change the lanes after each chunk (a test's processor that errs;
    // the program's does nothing). None when stopped before the end.
    template <class Progress, class Fault>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress,
                                     const Fault& fault) const noexcept {
        alignas(64) double state[MaxLanes] = {};
        StartLanes(block, state, lanes);
        std::uint64_t checksum = 0;
        for (int chunk = 0; chunk < BlockChunks; ++chunk) {
            if (progress.Stop()) {
                return std::nullopt;
            }
            RunChunk(isa, state, ChunkIterations);
            fault.Chunk(block, chunk, state);
            checksum = Fold(checksum, state, lanes);
            progress.Add(std::int64_t{ChunkIterations} * lanes);
        }
        return checksum;
    }

    // The checksum of one block, on the calling thread.
    std::uint64_t ComputeBlock(std::int64_t block) const noexcept;

private:
    TFmaIsa isa;
    int lanes;
};

// The program's lanes: nothing goes wrong.
struct TNoFmaFault {
    void Chunk(std::int64_t, int, double*) const noexcept {}
};

// The lanes of a worker that errs: each chunk asks the hook.
struct THookFmaFault {
    std::shared_ptr<const TFaultHook> Hook;
    void Chunk(std::int64_t block, int chunk, double* lanes) const noexcept {
        Hook->Chunk(block, chunk, lanes);
    }
};

struct TWorkloadEntry;
// Fused multiply-adds in the table of workloads.
extern const TWorkloadEntry FmaWorkload;
