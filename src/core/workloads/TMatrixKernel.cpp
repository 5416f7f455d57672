// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TMatrixKernel.h"

#include "TBlockKernel.h"
#include "TMemoryKernel.h"
#include "TWorkload.h"

#include <cblas.h>

#include <array>
#include <atomic>
#include <mutex>
#include <random>
#include <thread>

// The library's own threads: present in its builds that start them (weak, so that a build
// without them still loads).
extern "C" int blas_thread_shutdown_(void) __attribute__((weak));

namespace {

constexpr std::int64_t Elements = std::int64_t{TMatrixKernel::Size} * TMatrixKernel::Size;

// The library's build with threads of its own starts them as it is loaded, before main: threads
// that do not block the stop signals the programs wait for, so a signal could land in one of
// them and end the process before it says anything. Every multiplication here runs on its
// worker's thread: before main, the library is told to use one thread and its threads end.
[[maybe_unused]] const bool libraryThreadsEnded = [] {
    openblas_set_num_threads(1);
    if (blas_thread_shutdown_ != nullptr) {
        blas_thread_shutdown_();
    }
    return true;
}();

// The numbers, drawn once for every kernel of the process: the engine's output is fixed by the
// standard, the same everywhere. Never freed: a worker may still read them as the process ends.
const double* SharedPool() {
    static const double* const pool = [] {
        auto* numbers = new double[static_cast<std::size_t>(Elements + TMatrixKernel::Places)];
        std::mt19937_64 random(0x6D6F7276656CULL);
        constexpr auto largest = static_cast<std::uint64_t>(TMatrixKernel::Bound) - 1;
        for (std::int64_t i = 0; i < Elements + TMatrixKernel::Places; ++i) {
            const std::uint64_t draw = random() % (2 * largest + 1);
            numbers[i] = static_cast<double>(static_cast<std::int64_t>(draw - largest));
        }
        return numbers;
    }();
    return pool;
}

// The workers' multiplications under way, and whether the process is ending. As it ends, the
// library frees its buffers while workers, told to stop but not waited for, may still multiply
// in them: before that, no multiplication starts any more and those under way are waited for
// (one block at most).
std::atomic<int> multiplying{0};
std::atomic<bool> ending{false};
struct TEndGuard {
    TEndGuard() = default;
    TEndGuard(const TEndGuard&) = delete;
    TEndGuard& operator=(const TEndGuard&) = delete;
    ~TEndGuard() {
        ending.store(true);
        while (multiplying.load() > 0) {
            std::this_thread::yield();
        }
    }
} endGuard;

} // namespace

TMatrixKernel::TMatrixKernel()
    : pool(SharedPool()), product(new std::uint64_t[static_cast<std::size_t>(Elements)]) {}

// The block's number times the golden ratio's fraction of 2^64 spreads consecutive blocks over
// the places; its top twelve bits place the left operand, the next twelve the right.
static_assert(TMatrixKernel::Places == 4096);

std::int64_t TMatrixKernel::LeftPlace(std::int64_t block) noexcept {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(block) * 0x9E3779B97F4A7C15u >> 52);
}

std::int64_t TMatrixKernel::RightPlace(std::int64_t block) noexcept {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(block) * 0x9E3779B97F4A7C15u >> 40 &
                                     0xFFF);
}

std::uint64_t* TMatrixKernel::Multiply(std::int64_t block) noexcept {
    multiplying.fetch_add(1);
    if (ending.load()) {
        multiplying.fetch_sub(1);
        return nullptr;
    }
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, Size, Size, Size, 1.0,
                pool + LeftPlace(block), Size, pool + RightPlace(block), Size, 0.0,
                reinterpret_cast<double*>(product.get()), Size);
    multiplying.fetch_sub(1);
    return product.get();
}

std::uint64_t TMatrixKernel::Checksum() const noexcept {
    // A column's words summed (one wrong bit always changes the sum), the sums folded.
    std::uint64_t checksum = 0;
    for (std::int64_t column = 0; column < Size; ++column) {
        const std::uint64_t* words = product.get() + column * Size;
        std::uint64_t sum = 0;
        for (int i = 0; i < Size; ++i) {
            sum += words[i];
        }
        checksum = BlockChecksum::Fold(checksum, sum);
    }
    return checksum;
}

std::uint64_t TMatrixKernel::ComputeBlock(std::int64_t block) noexcept {
    // The checker's thread is the one that ends the process: it never multiplies as it ends.
    Multiply(block);
    return Checksum();
}

namespace {

TMatrixKernel MakeMatrix(const TWorkload&, int) {
    return TMatrixKernel();
}
using TMatrixEntry = TBlockEntry<TMatrixKernel, TNoMemoryFault, THookMemoryFault, &MakeMatrix,
                                 TMatrixKernel::RingSlots>;

TBlockChecker::Compute MatrixCompute(const TWorkload&) {
    return SharedCompute<TMatrixKernel>();
}

std::int64_t MatrixStepsBefore(const TWorkload&, std::int64_t block) noexcept {
    return block * TMatrixKernel::StepsPerBlock;
}

constexpr std::array MatrixRows{TSelfTestRow{TFault::TKind::FlippedBit, 1, "wrong product"}};

} // namespace

const TWorkloadEntry MatrixWorkload{
    "matrix",
    "multiplies matrices of doubles with the BLAS library",
    "steps/s",
    false,
    false,
    &TMatrixEntry::Start,
    &MatrixCompute,
    &MatrixStepsBefore,
    MatrixRows,
    &Workloads::BlockFault,
    &Workloads::FaultyBlock,
    nullptr,
    nullptr,
    &TMatrixEntry::Kernel,
};
