// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TBlockChecker.h"

#include "SThreadUnit.h"

#include <utility>

TBlockChecker::TBlockChecker(Compute computeBlock)
    : compute(computeBlock ? std::move(computeBlock) : Compute(&Workload::ComputeBlock)) {}

std::optional<TBlockFault> TBlockChecker::Add(int source, const TBlockResult& result) {
    ++received;
    TBlock& block = blocks[result.Block];
    if (block.Right) {
        ++judged;
        ++judgedBySource[source];
        if (result.Checksum != *block.Right) {
            return TBlockFault{source, result, *block.Right};
        }
        return std::nullopt;
    }
    block.Waiting.push_back({source, result});
    if (block.Waiting.size() < 2) {
        return std::nullopt;
    }
    const std::uint64_t first = block.Waiting.front().Result.Checksum;
    if (result.Checksum == first) {
        return Judge(block, first);
    }
    // Two that disagree: the block itself decides, at once and for certain, rather than a vote
    // that waits for a third worker and fails when two err alike.
    ++computed;
    return Judge(block, compute(result.Block));
}

bool TBlockChecker::Waiting(std::int64_t block) const {
    const auto found = blocks.find(block);
    return found != blocks.end() && !found->second.Waiting.empty();
}

std::optional<TBlockFault> TBlockChecker::Settle(std::int64_t number) {
    const auto found = blocks.find(number);
    if (found == blocks.end() || found->second.Waiting.empty()) {
        return std::nullopt;
    }
    ++computed;
    return Judge(found->second, compute(number));
}

std::optional<TBlockFault> TBlockChecker::Judge(TBlock& block, std::uint64_t right) {
    block.Right = right;
    std::optional<TBlockFault> fault;
    for (const TPending& pending : block.Waiting) {
        ++judged;
        ++judgedBySource[pending.Source];
        if (!fault && pending.Result.Checksum != right) {
            fault = TBlockFault{pending.Source, pending.Result, right};
        }
    }
    block.Waiting.clear();
    return fault;
}

void TBlockChecker::Forget(std::int64_t block) {
    blocks.erase(blocks.begin(), blocks.lower_bound(block));
}

std::int64_t TBlockChecker::JudgedOf(int source) const {
    const auto found = judgedBySource.find(source);
    return found == judgedBySource.end() ? 0 : found->second;
}
