// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TBlockChecker.h"

#include <utility>

TBlockChecker::TBlockChecker(Compute computeBlock) : compute(std::move(computeBlock)) {}

std::optional<TBlockFault> TBlockChecker::Add(int source, const TBlockResult& result) {
    ++received;
    TBlock& block = blocks[result.Block];
    if (block.Right) {
        Count(source);
        if (result.Checksum == *block.Right) {
            return std::nullopt;
        }
        return Disagree(block, source, result);
    }
    if (!block.Waiting) {
        block.Waiting = TPending{source, result};
        return std::nullopt;
    }
    const std::uint64_t first = block.Waiting->Result.Checksum;
    // Two that disagree: the block itself decides, at once and for certain, rather than a vote
    // that waits for a third worker and fails when two err alike.
    if (result.Checksum == first) {
        block.Agreed = block.Waiting;
        return Judge(block, first, TPending{source, result});
    }
    ++computed;
    block.Proven = true;
    return Judge(block, compute(result.Block), TPending{source, result});
}

std::optional<TBlockFault> TBlockChecker::Disagree(TBlock& block, int source,
                                                   const TBlockResult& result) {
    if (!block.Proven) {
        ++computed;
        block.Proven = true;
        const std::uint64_t right = compute(result.Block);
        const std::optional<TPending> agreed = std::exchange(block.Agreed, std::nullopt);
        if (right != *block.Right && agreed) {
            // The sources that agreed erred alike: the first of them is named.
            const TBlockFault fault{agreed->Source, agreed->Result, right};
            block.Right = right;
            return fault;
        }
        block.Right = right;
        if (result.Checksum == right) {
            return std::nullopt;
        }
    }
    return TBlockFault{source, result, *block.Right};
}

bool TBlockChecker::Waiting(std::int64_t block) const {
    const auto found = blocks.find(block);
    return found != blocks.end() && found->second.Waiting.has_value();
}

std::optional<TBlockFault> TBlockChecker::Settle(std::int64_t number) {
    const auto found = blocks.find(number);
    if (found == blocks.end() || !found->second.Waiting) {
        return std::nullopt;
    }
    ++computed;
    found->second.Proven = true;
    return Judge(found->second, compute(number), std::nullopt);
}

std::optional<TBlockFault> TBlockChecker::Judge(TBlock& block, std::uint64_t right,
                                                const std::optional<TPending>& next) {
    block.Right = right;
    std::optional<TBlockFault> fault;
    for (const std::optional<TPending>& pending : {block.Waiting, next}) {
        if (!pending) {
            continue;
        }
        Count(pending->Source);
        if (!fault && pending->Result.Checksum != right) {
            fault = TBlockFault{pending->Source, pending->Result, right};
        }
    }
    block.Waiting.reset();
    return fault;
}

void TBlockChecker::Forget(std::int64_t block) {
    blocks.erase(blocks.begin(), blocks.lower_bound(block));
}

void TBlockChecker::Count(int source) {
    ++judged;
    const auto index = static_cast<std::size_t>(source);
    if (index >= judgedBySource.size()) {
        judgedBySource.resize(index + 1, 0);
    }
    ++judgedBySource[index];
}

std::int64_t TBlockChecker::JudgedOf(int source) const {
    const auto index = static_cast<std::size_t>(source);
    return index < judgedBySource.size() ? judgedBySource[index] : 0;
}
