// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "SThreadUnit.h"
#include "TFmaKernel.h"
#include "TMemoryKernel.h"

#include <cstdint>
#include <optional>
#include <utility>

// One block of the division workload on its own: the search from the start of block `block`
// until that block is complete, as Workload::ComputeBlock does it, with progress and a stop.
struct TDivideKernel {
    static constexpr std::int64_t StepsPerBlock() noexcept { return Workload::BlockDivisions; }

    template <class Progress>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress) {
        struct TSink {
            Progress* progress = nullptr;
            std::int64_t wanted = 0;
            std::optional<std::uint64_t> checksum;
            bool stopped = false;
            bool Stop() noexcept {
                // The stop flag is polled once every 4096 divisions: a relaxed load each time
                // would cost as much as the division.
                return checksum.has_value() || stopped;
            }
            void Candidate(std::int64_t) noexcept {}
            void Begin(std::int64_t) noexcept {}
            void Step(bool, std::int64_t, std::int64_t divisions) noexcept {
                if ((divisions & 4095) == 0) {
                    progress->Add(4096);
                    stopped = progress->Stop();
                }
            }
            void Stopped(std::int64_t) noexcept {}
            void Block(std::int64_t number, std::uint64_t sum) noexcept {
                if (number == wanted) {
                    checksum = sum;
                }
            }
        };
        TSink sink =
            Workload::Search(Workload::StartCandidate, Workload::BlockStart(block),
                             TSink{&progress, block, std::nullopt}, Workload::TExactArithmetic{});
        return sink.checksum;
    }
};

// Every unit in one run: block by block, a worker divides, runs its fused multiply-adds and
// walks its memory in turn (blocks 0, 3, 6... divide; 1, 4, 7... multiply-add; 2, 5, 8... walk
// the memory, whose own blocks count 0, 1, 2...).
template <class FmaFault = TNoFmaFault, class MemoryFault = TNoMemoryFault> class TMixKernel {
public:
    TMixKernel(TFmaIsa isa, std::int64_t memoryBlocks, FmaFault fmaFault = {},
               MemoryFault memoryFault = {})
        : fma(isa), memory(memoryBlocks), fmaFaults(std::move(fmaFault)),
          memoryFaults(std::move(memoryFault)) {}

    template <class Progress>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress) {
        switch (block % 3) {
        case 0:
            return TDivideKernel().Run(block, progress);
        case 1:
            return fma.Run(block, progress, fmaFaults);
        default:
            return memory.Run(block / 3, progress, memoryFaults);
        }
    }

    // The steps done before `block` begins.
    static std::int64_t StepsBefore(std::int64_t block, TFmaIsa isa) noexcept {
        const std::int64_t divide = (block + 2) / 3;
        const std::int64_t multiply = (block + 1) / 3;
        const std::int64_t walk = block / 3;
        return divide * TDivideKernel::StepsPerBlock() + multiply * TFmaKernel::StepsPerBlock(isa) +
               walk * TMemoryKernel::StepsPerBlock();
    }

    static std::uint64_t ComputeBlock(std::int64_t block, TFmaIsa isa, std::int64_t memoryBlocks) {
        switch (block % 3) {
        case 0:
            return Workload::ComputeBlock(block);
        case 1:
            return TFmaKernel(isa).ComputeBlock(block);
        default:
            return TMemoryKernel::ComputeBlock(block / 3, memoryBlocks);
        }
    }

private:
    TFmaKernel fma;
    TMemoryKernel memory;
    FmaFault fmaFaults;
    MemoryFault memoryFaults;
};

struct TWorkloadEntry;
// The three in turn in the table of workloads.
extern const TWorkloadEntry MixWorkload;
