// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "BlockChecksum.h"
#include "TMemoryKernel.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// The compression workload: each block makes an input from its number alone (text of words
// drawn by a small generator, then binary records), compresses it with zlib and with zstd at
// fixed levels, and decompresses each stream again. The block's checksum folds, for each
// library, the compressed bytes and whether the round trip gave the input back byte for byte,
// so a wrong compression or a wrong decompression changes it. One library's version gives the
// same stream on every worker, so the checksums of one machine's workers agree.
class TCompressKernel {
public:
    static constexpr std::int64_t TextBytes = std::int64_t{64} << 10;
    static constexpr std::int64_t RecordBytes = std::int64_t{64} << 10;
    static constexpr std::int64_t InputBytes = TextBytes + RecordBytes;
    static constexpr int ZlibLevel = 6;
    static constexpr int ZstdLevel = 3;
    enum class TCodec { Zlib, Zstd };
    static constexpr TCodec Codecs[] = {TCodec::Zlib, TCodec::Zstd};
    // The input bytes each library compresses, both libraries.
    static constexpr std::int64_t StepsPerBlock = 2 * InputBytes;

    // The libraries' contexts and the buffers, allocated now (throws std::bad_alloc when they
    // cannot be) and reused by every block. A copy has contexts and buffers of its own.
    TCompressKernel();
    TCompressKernel(const TCompressKernel&);
    TCompressKernel(TCompressKernel&&) noexcept;
    TCompressKernel& operator=(const TCompressKernel&) = delete;
    TCompressKernel& operator=(TCompressKernel&&) noexcept;
    ~TCompressKernel();

    // The input of `block`, InputBytes long.
    static void MakeInput(std::int64_t block, unsigned char* input) noexcept;

    // Runs one block: `progress` is told the input bytes of each library (Add) and asked
    // whether to stop (Stop); `fault` may change each compressed stream before it is summed
    // and decompressed, and each decompressed one before it is compared (a test's processor
    // that errs). None when stopped.
    template <class Progress, class Fault>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress, const Fault& fault) {
        if (progress.Stop()) {
            return std::nullopt;
        }
        MakeInput(block, Input());
        std::uint64_t checksum = 0;
        for (const TCodec codec : Codecs) {
            if (progress.Stop()) {
                return std::nullopt;
            }
            const std::size_t size = Compress(codec);
            fault.Written(block, Packed(), static_cast<std::int64_t>(size / 8));
            checksum = BlockChecksum::Fold(checksum, Digest(size));
            const bool whole = Decompress(codec, size);
            fault.Written(block, Unpacked(), InputBytes / 8);
            checksum = BlockChecksum::Fold(checksum, RoundTrip(whole));
            progress.Add(InputBytes);
        }
        return checksum;
    }

    // The checksum of one block, on the calling thread.
    std::uint64_t ComputeBlock(std::int64_t block);

private:
    unsigned char* Input() noexcept;
    std::uint64_t* Packed() noexcept;
    std::uint64_t* Unpacked() noexcept;
    // Compresses the input with `codec`: the stream's size, 0 when the library failed.
    std::size_t Compress(TCodec codec) noexcept;
    // Decompresses the stream: whether the library gave InputBytes back.
    bool Decompress(TCodec codec, std::size_t size) noexcept;
    // The compressed stream's digest: its words folded, then its size.
    std::uint64_t Digest(std::size_t size) noexcept;
    // The round trip's digest: the input's size when the library decompressed the whole
    // stream and gave the input back, else a value no size is.
    std::uint64_t RoundTrip(bool whole) noexcept;

    struct TState;
    std::unique_ptr<TState> state;
};

struct TWorkloadEntry;
// Compression in the table of workloads.
extern const TWorkloadEntry CompressWorkload;
