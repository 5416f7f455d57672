// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "BlockChecksum.h"
#include "TFaultHook.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// The cryptography workload, through the system's cryptography library: AES-256-GCM encryption
// and decryption and SHA-256, on the processor's AES, carry-less multiply and SHA instructions
// where it has them. A block is a chain of chunks under one key, derived from the block's number:
// the first chunk's plaintext is a pattern of that number, each later one the ciphertext before
// it. A chunk is encrypted with its own nonce (the block and the chunk's numbers), decrypted with
// its tag checked and compared with its plaintext, and its ciphertext hashed on; each chunk's tag
// and what failed, then the digest of all the ciphertexts (their checksum), are folded into the
// block's checksum. A wrong ciphertext byte changes the digest and fails the tag and every later
// chunk; a decryption that errs shows as a plaintext that differs. One digest a block: each start
// of one costs the library (3.0) an allocation.
class TCryptoKernel {
public:
    static constexpr std::int64_t ChunkBytes = std::int64_t{64} << 10; // in the caches
    static constexpr std::int64_t ChunkWords = ChunkBytes / 8;
    static constexpr int BlockChunks = 64; // 4 MiB: a few milliseconds with AES and SHA units
    static constexpr std::int64_t BlockBytes = ChunkBytes * BlockChunks;
    // A block takes a millisecond or more: a worker's ring keeps some seconds of them.
    static constexpr std::size_t RingSlots = 4096;
    static std::int64_t StepsPerBlock() noexcept { return BlockBytes; }

    // What went wrong in a chunk, folded after its tag (nothing: 0): the library refused a
    // call (its outputs are not to be trusted), the decryption did not verify the tag, the
    // decrypted plaintext is not the one encrypted.
    static constexpr std::uint64_t CallFailed = 1;
    static constexpr std::uint64_t TagRejected = 2;
    static constexpr std::uint64_t PlainDiffers = 4;

    // The library's algorithms and the contexts and buffers of every block. Throws
    // std::runtime_error when the library lacks them.
    TCryptoKernel();
    TCryptoKernel(TCryptoKernel&&) noexcept;
    TCryptoKernel& operator=(TCryptoKernel&&) noexcept;
    ~TCryptoKernel();

    // Runs one block: `progress` is told the bytes encrypted (each also decrypted and hashed)
    // and asked whether to stop; `fault` may change each chunk's ciphertext before it is
    // decrypted and hashed (a test's unit that errs). None when stopped.
    template <class Progress, class Fault>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress, const Fault& fault) {
        std::uint64_t checksum = 0;
        std::uint64_t failed = Begin(block);
        for (int chunk = 0; chunk < BlockChunks; ++chunk) {
            if (progress.Stop()) {
                return std::nullopt;
            }
            failed |= Encrypt(chunk);
            fault.Written(block, Ciphertext(), ChunkWords);
            checksum = Finish(checksum, failed);
            failed = 0;
            progress.Add(ChunkBytes);
        }
        return End(checksum);
    }

    // The checksum of `block`, as a worker that does not err computes it.
    std::uint64_t ComputeBlock(std::int64_t block);

private:
    struct TState;
    // Keys the contexts and writes the first chunk's plaintext of `block`; what failed.
    std::uint64_t Begin(std::int64_t block) noexcept;
    // Encrypts the chunk's plaintext into the ciphertext, with its tag; what failed.
    std::uint64_t Encrypt(int chunk) noexcept;
    std::uint64_t* Ciphertext() noexcept;
    // Decrypts and compares, hashes the ciphertext on, folds the chunk into `checksum` and makes
    // the ciphertext the next chunk's plaintext.
    std::uint64_t Finish(std::uint64_t checksum, std::uint64_t failed) noexcept;
    // Folds the digest of the block's ciphertexts into `checksum`.
    std::uint64_t End(std::uint64_t checksum) noexcept;

    std::unique_ptr<TState> state;
};

struct TWorkloadEntry;
// AES-GCM and SHA-256 in the table of workloads.
extern const TWorkloadEntry CryptoWorkload;
