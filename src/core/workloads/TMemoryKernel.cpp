// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TMemoryKernel.h"

#include "TBlockKernel.h"
#include "TWorkload.h"

#include <array>
#include <new>
#include <stdexcept>
#include <utility>

TMemoryKernel::TMemoryKernel(std::int64_t blocks) : regions(blocks) {
    if (blocks < 1) {
        throw std::invalid_argument("a memory worker needs one block of memory at least");
    }
    // Not initialised: the first pass writes every word before it is read.
    buffer.reset(new std::uint64_t[static_cast<std::size_t>(blocks * BlockWords)]);
}

std::uint64_t TMemoryKernel::ComputeBlock(std::int64_t block, std::int64_t blocks) noexcept {
    const std::int64_t pass = block / blocks;
    const TWordPattern read = PassPattern(pass == 0 ? 0 : pass - 1);
    const bool down = WalksDown(pass);
    const std::int64_t first = block % blocks * BlockWords;
    std::uint64_t checksum = 0;
    for (std::int64_t done = 0; done < BlockWords; done += ChunkWords) {
        const std::int64_t offset = down ? BlockWords - ChunkWords - done : done;
        checksum = BlockChecksum::Fold(checksum, read.ChunkSum(first + offset));
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
