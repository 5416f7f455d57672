// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "BlockChecksum.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// The matrix workload: each block multiplies two square matrices of doubles with the BLAS
// library's dgemm, on the worker's own thread. The operands are windows of one pool of random
// whole numbers, placed by the block's number, so anyone can multiply any block. The numbers are
// small enough that every product and every sum of the multiplication is exact: the result does
// not depend on the order the library adds in, and any wrong bit a unit makes shows. The block's
// checksum folds the product's bits, column by column.
class TMatrixKernel {
public:
    static constexpr int Size = 512;
    // Multiply-adds of one block (the steps it counts).
    static constexpr std::int64_t StepsPerBlock = std::int64_t{Size} * Size * Size;
    // The places a window takes in the pool: the pool is a matrix plus this many doubles.
    static constexpr std::int64_t Places = 4096;
    // The pool's numbers lie in (-Bound, Bound): a sum of Size products of two stays below
    // 2^53, where doubles hold every whole number.
    static constexpr double Bound = 0x1p22;
    static_assert(Size * Bound * Bound <= 0x1p53);
    // A block takes some 2 to 40 ms: a worker's ring keeps several seconds of them.
    static constexpr std::size_t RingSlots = 4096;

    // The product, allocated now, and the pool, the first kernel's (throws std::bad_alloc when
    // they cannot be).
    TMatrixKernel();

    // The pool of numbers, the same in every kernel, and the first elements of block `block`'s
    // two operands in it (each Size x Size, column by column).
    const double* Pool() const noexcept { return pool; }
    static std::int64_t LeftPlace(std::int64_t block) noexcept;
    static std::int64_t RightPlace(std::int64_t block) noexcept;

    // Multiplies block `block`'s operands into the product, which it returns as words; none
    // once the process is ending.
    std::uint64_t* Multiply(std::int64_t block) noexcept;
    // The checksum of the product.
    std::uint64_t Checksum() const noexcept;

    // Runs one block: `progress` is asked whether to stop (Stop) and told the multiply-adds
    // (Add); `fault` may change the product before it is checksummed (a test's unit that
    // errs). None when stopped.
    template <class Progress, class Fault>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress, const Fault& fault) {
        if (progress.Stop()) {
            return std::nullopt;
        }
        std::uint64_t* words = Multiply(block);
        if (words == nullptr) {
            return std::nullopt;
        }
        fault.Written(block, words, std::int64_t{Size} * Size);
        progress.Add(StepsPerBlock);
        return Checksum();
    }

    // The checksum of one block, on the calling thread.
    std::uint64_t ComputeBlock(std::int64_t block) noexcept;

private:
    const double* pool; // shared by every kernel, never freed before the process ends
    // Written by the library as doubles, read here only as words.
    std::unique_ptr<std::uint64_t[]> product;
};

struct TWorkloadEntry;
// Matrix multiplication in the table of workloads.
extern const TWorkloadEntry MatrixWorkload;
