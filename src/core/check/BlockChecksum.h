// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <bit>
#include <cstdint>

namespace BlockChecksum {

// One chunk's digest folded into a block's checksum, by the worker and by anyone who computes
// the block: a bijection of the checksum for each digest, and of the digest for each checksum,
// so that one wrong digest always changes the block's checksum. An error that lives on from
// chunk to chunk (a lane of multiply-adds carries it to the block's end) changes digest after
// digest: the rotation by 7, coprime to 64, and the product with an odd constant keep those
// changes from undoing each other, as they can in a sum, or in an exclusive-or rotated by a
// multiple of 64 bits at every chunk.
constexpr std::uint64_t Fold(std::uint64_t checksum, std::uint64_t digest) noexcept {
    return (std::rotl(checksum, 7) ^ digest) * 0x9E3779B97F4A7C15u;
}

} // namespace BlockChecksum
