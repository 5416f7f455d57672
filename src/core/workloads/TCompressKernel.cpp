// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TCompressKernel.h"

#include "TBlockKernel.h"
#include "TWorkload.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr std::size_t InputSize = static_cast<std::size_t>(TCompressKernel::InputBytes);
constexpr std::int64_t RecordSize = 32;

// A splitmix64 stream: the input's only source of variety.
struct TRandom {
    std::uint64_t State;
    std::uint64_t Next() noexcept {
        std::uint64_t z = State += 0x9E3779B97F4A7C15u;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
};

// Words of eight letters at most, padded, so that each is written in one copy of eight bytes.
struct TWord {
    char Text[9];
    std::int64_t Length;
};
constexpr std::array<TWord, 64> Words{{
    {"the", 3},      {"of", 2},       {"and", 3},      {"to", 2},       {"a", 1},
    {"in", 2},       {"is", 2},       {"it", 2},       {"that", 4},     {"for", 3},
    {"on", 2},       {"with", 4},     {"as", 2},       {"was", 3},      {"by", 2},
    {"at", 2},       {"from", 4},     {"this", 4},     {"which", 5},    {"or", 2},
    {"data", 4},     {"block", 5},    {"machine", 7},  {"worker", 6},   {"memory", 6},
    {"value", 5},    {"result", 6},   {"number", 6},   {"system", 6},   {"file", 4},
    {"test", 4},     {"time", 4},     {"core", 4},     {"cache", 5},    {"line", 4},
    {"error", 5},    {"stream", 6},   {"record", 6},   {"buffer", 6},   {"signal", 6},
    {"compute", 7},  {"between", 7},  {"because", 7},  {"without", 7},  {"another", 7},
    {"every", 5},    {"before", 6},   {"after", 5},    {"should", 6},   {"would", 5},
    {"clock", 5},    {"power", 5},    {"thermal", 7},  {"voltage", 7},  {"kernel", 6},
    {"process", 7},  {"thread", 6},   {"counter", 7},  {"address", 7},  {"pattern", 7},
    {"checksum", 8}, {"compress", 8}, {"platform", 8}, {"hardware", 8},
}};
static_assert(std::all_of(Words.begin(), Words.end(), [](const TWord& word) {
    return static_cast<std::int64_t>(std::char_traits<char>::length(word.Text)) == word.Length;
}));

// Text: words, common ones more often (the smaller of two draws), with commas, full stops and
// a capital after them, in lines of some 72 characters. Writes up to 9 bytes past `bytes`.
void MakeText(TRandom& random, unsigned char* out, std::int64_t bytes) noexcept {
    std::int64_t at = 0;
    std::int64_t lineStart = 0;
    bool capital = true;
    while (at < bytes) {
        const std::uint64_t r = random.Next();
        const TWord& word = Words[std::min(r & 63, (r >> 6) & 63)];
        std::memcpy(out + at, word.Text, 8);
        if (capital) {
            out[at] = static_cast<unsigned char>(out[at] - 'a' + 'A');
        }
        at += word.Length;
        const std::uint64_t mark = (r >> 12) & 31;
        capital = mark < 2;
        if (mark < 4) {
            out[at++] = capital ? '.' : ',';
        }
        if (at - lineStart >= 72) {
            out[at++] = '\n';
            lineStart = at;
        } else {
            out[at++] = ' ';
        }
    }
}

// Binary records of 32 bytes: a sequence number, a time that grows, a kind and flags from a
// few, a value that wanders, a random word and a tag from a few.
void MakeRecords(TRandom& random, std::int64_t block, unsigned char* out,
                 std::int64_t bytes) noexcept {
    static constexpr std::array<std::uint16_t, 8> kinds{1, 2, 3, 5, 8, 13, 21, 34};
    static constexpr std::array<char[8], 8> tags{"sensor", "fan",    "cpu0", "cpu1",
                                                 "dimm-a", "dimm-b", "psu",  "board"};
    const std::int64_t count = bytes / RecordSize;
    auto time = static_cast<std::uint32_t>(random.Next());
    auto value = static_cast<std::int32_t>(random.Next() & 0xFFFF);
    for (std::int64_t i = 0; i < count; ++i) {
        const std::uint64_t r = random.Next();
        const auto sequence = static_cast<std::uint32_t>(block * count + i);
        time += 1 + static_cast<std::uint32_t>(r & 1023);
        const std::uint16_t kind = kinds[(r >> 10) & 7];
        const auto flags = static_cast<std::uint16_t>((r >> 13) & 0x0101);
        value += static_cast<std::int32_t>((r >> 16) & 0xFF) - 128;
        const std::uint64_t payload = random.Next();
        unsigned char* record = out + i * RecordSize;
        std::memcpy(record, &sequence, 4);
        std::memcpy(record + 4, &time, 4);
        std::memcpy(record + 8, &kind, 2);
        std::memcpy(record + 10, &flags, 2);
        std::memcpy(record + 12, &value, 4);
        std::memcpy(record + 16, &payload, 8);
        std::memcpy(record + 24, tags[(r >> 24) & 7], 8);
    }
}

std::size_t Words64(std::size_t bytes) noexcept {
    return (bytes + 7) / 8;
}

} // namespace

struct TCompressKernel::TState {
    struct TDeflater {
        z_stream Stream{};
        TDeflater() {
            if (deflateInit2(&Stream, ZlibLevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
                throw std::bad_alloc();
            }
        }
        TDeflater(const TDeflater&) = delete;
        TDeflater& operator=(const TDeflater&) = delete;
        ~TDeflater() { deflateEnd(&Stream); }
    };
    struct TInflater {
        z_stream Stream{};
        TInflater() {
            if (inflateInit(&Stream) != Z_OK) {
                throw std::bad_alloc();
            }
        }
        TInflater(const TInflater&) = delete;
        TInflater& operator=(const TInflater&) = delete;
        ~TInflater() { inflateEnd(&Stream); }
    };
    struct TFreeCCtx {
        void operator()(ZSTD_CCtx* context) const noexcept { ZSTD_freeCCtx(context); }
    };
    struct TFreeDCtx {
        void operator()(ZSTD_DCtx* context) const noexcept { ZSTD_freeDCtx(context); }
    };

    TState()
        : Compressor(ZSTD_createCCtx()), Decompressor(ZSTD_createDCtx()),
          Capacity(
              std::max<std::size_t>(deflateBound(&Deflater.Stream, static_cast<uLong>(InputSize)),
                                    ZSTD_compressBound(InputSize))),
          // The text may write a word past its end, into the records' place.
          Input(new std::uint64_t[Words64(InputSize)]),
          Packed(new std::uint64_t[Words64(Capacity)]),
          Unpacked(new std::uint64_t[Words64(InputSize)]) {
        if (!Compressor || !Decompressor) {
            throw std::bad_alloc();
        }
    }

    TDeflater Deflater;
    TInflater Inflater;
    std::unique_ptr<ZSTD_CCtx, TFreeCCtx> Compressor;
    std::unique_ptr<ZSTD_DCtx, TFreeDCtx> Decompressor;
    std::size_t Capacity;
    std::unique_ptr<std::uint64_t[]> Input;
    std::unique_ptr<std::uint64_t[]> Packed;
    std::unique_ptr<std::uint64_t[]> Unpacked;
};

TCompressKernel::TCompressKernel() : state(std::make_unique<TState>()) {}
TCompressKernel::TCompressKernel(const TCompressKernel&) : TCompressKernel() {}
TCompressKernel::TCompressKernel(TCompressKernel&&) noexcept = default;
TCompressKernel& TCompressKernel::operator=(TCompressKernel&&) noexcept = default;
TCompressKernel::~TCompressKernel() = default;

void TCompressKernel::MakeInput(std::int64_t block, unsigned char* input) noexcept {
    TRandom random{static_cast<std::uint64_t>(block) * 0xD1B54A32D192ED03u};
    MakeText(random, input, TextBytes);
    MakeRecords(random, block, input + TextBytes, RecordBytes);
}

unsigned char* TCompressKernel::Input() noexcept {
    return reinterpret_cast<unsigned char*>(state->Input.get());
}

std::uint64_t* TCompressKernel::Packed() noexcept {
    return state->Packed.get();
}

std::uint64_t* TCompressKernel::Unpacked() noexcept {
    return state->Unpacked.get();
}

std::size_t TCompressKernel::Compress(TCodec codec) noexcept {
    auto* packed = reinterpret_cast<unsigned char*>(state->Packed.get());
    if (codec == TCodec::Zstd) {
        const std::size_t size = ZSTD_compressCCtx(state->Compressor.get(), packed, state->Capacity,
                                                   Input(), InputSize, ZstdLevel);
        return ZSTD_isError(size) ? 0 : size;
    }
    z_stream& stream = state->Deflater.Stream;
    if (deflateReset(&stream) != Z_OK) {
        return 0;
    }
    stream.next_in = Input();
    stream.avail_in = static_cast<uInt>(InputSize);
    stream.next_out = packed;
    stream.avail_out = static_cast<uInt>(state->Capacity);
    return deflate(&stream, Z_FINISH) == Z_STREAM_END ? stream.total_out : 0;
}

bool TCompressKernel::Decompress(TCodec codec, std::size_t size) noexcept {
    const auto* packed = reinterpret_cast<const unsigned char*>(state->Packed.get());
    auto* unpacked = reinterpret_cast<unsigned char*>(state->Unpacked.get());
    if (codec == TCodec::Zstd) {
        return ZSTD_decompressDCtx(state->Decompressor.get(), unpacked, InputSize, packed, size) ==
               InputSize;
    }
    z_stream& stream = state->Inflater.Stream;
    if (inflateReset(&stream) != Z_OK) {
        return false;
    }
    stream.next_in = const_cast<unsigned char*>(packed);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = unpacked;
    stream.avail_out = static_cast<uInt>(InputSize);
    return inflate(&stream, Z_FINISH) == Z_STREAM_END && stream.total_out == InputSize;
}

std::uint64_t TCompressKernel::Digest(std::size_t size) noexcept {
    const std::uint64_t* words = state->Packed.get();
    std::uint64_t digest = 0;
    for (std::size_t i = 0; i < size / 8; ++i) {
        digest = BlockChecksum::Fold(digest, words[i]);
    }
    if (size % 8 != 0) {
        std::uint64_t tail = 0;
        std::memcpy(&tail, words + size / 8, size % 8);
        digest = BlockChecksum::Fold(digest, tail);
    }
    return BlockChecksum::Fold(digest, size);
}

std::uint64_t TCompressKernel::RoundTrip(bool whole) noexcept {
    const bool same =
        whole && std::memcmp(state->Unpacked.get(), state->Input.get(), InputSize) == 0;
    return same ? InputSize : ~std::uint64_t{0};
}

std::uint64_t TCompressKernel::ComputeBlock(std::int64_t block) {
    TQuietProgress progress;
    return *Run(block, progress, TNoMemoryFault{});
}

namespace {

TCompressKernel MakeCompress(const TWorkload&, int) {
    return TCompressKernel();
}
using TCompressEntry =
    TBlockEntry<TCompressKernel, TNoMemoryFault, THookMemoryFault, &MakeCompress>;

TBlockChecker::Compute CompressCompute(const TWorkload&) {
    return SharedCompute<TCompressKernel>();
}

std::int64_t CompressStepsBefore(const TWorkload&, std::int64_t block) noexcept {
    return block * TCompressKernel::StepsPerBlock;
}

constexpr std::array CompressRows{
    TSelfTestRow{TFault::TKind::FlippedBit, 1, "wrong compressed byte"}};

} // namespace

const TWorkloadEntry CompressWorkload{
    "compress",
    "compresses and decompresses text and records with zlib and zstd",
    "bytes/s",
    false,
    false,
    &TCompressEntry::Start,
    &CompressCompute,
    &CompressStepsBefore,
    CompressRows,
    &Workloads::BlockFault,
    &Workloads::FaultyBlock,
    nullptr,
    nullptr,
    &TCompressEntry::Kernel,
};
