// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TCryptoKernel.h"

#include "TBlockKernel.h"
#include "TMemoryKernel.h"
#include "TWorkload.h"

#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TFreeCipher {
    void operator()(EVP_CIPHER* p) const noexcept { EVP_CIPHER_free(p); }
};
struct TFreeMd {
    void operator()(EVP_MD* p) const noexcept { EVP_MD_free(p); }
};
struct TFreeCipherCtx {
    void operator()(EVP_CIPHER_CTX* p) const noexcept { EVP_CIPHER_CTX_free(p); }
};
struct TFreeMdCtx {
    void operator()(EVP_MD_CTX* p) const noexcept { EVP_MD_CTX_free(p); }
};

template <class T> T* Required(T* made, const char* what) {
    if (made == nullptr) {
        throw std::runtime_error(std::string("the cryptography library has no ") + what);
    }
    return made;
}

constexpr int TagBytes = 16;
constexpr int NonceBytes = 12;
constexpr int ChunkLength = static_cast<int>(TCryptoKernel::ChunkBytes);

std::uint64_t Word(const unsigned char* bytes) noexcept {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

} // namespace

struct TCryptoKernel::TState {
    // Fetched once: a fetch is a search of the library's providers.
    std::unique_ptr<EVP_CIPHER, TFreeCipher> Aes{
        Required(EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr), "AES-256-GCM")};
    std::unique_ptr<EVP_MD, TFreeMd> Sha{
        Required(EVP_MD_fetch(nullptr, "SHA256", nullptr), "SHA-256")};
    std::unique_ptr<EVP_CIPHER_CTX, TFreeCipherCtx> Encryption{
        Required(EVP_CIPHER_CTX_new(), "cipher context")};
    std::unique_ptr<EVP_CIPHER_CTX, TFreeCipherCtx> Decryption{
        Required(EVP_CIPHER_CTX_new(), "cipher context")};
    std::unique_ptr<EVP_MD_CTX, TFreeMdCtx> Hash{Required(EVP_MD_CTX_new(), "digest context")};
    std::vector<std::uint64_t> Plain = std::vector<std::uint64_t>(ChunkWords);
    std::vector<std::uint64_t> Sealed = std::vector<std::uint64_t>(ChunkWords);
    std::vector<std::uint64_t> Opened = std::vector<std::uint64_t>(ChunkWords);
    unsigned char Nonce[NonceBytes] = {};
    unsigned char Tag[TagBytes] = {};

    TState() {
        if (EVP_EncryptInit_ex2(Encryption.get(), Aes.get(), nullptr, nullptr, nullptr) != 1 ||
            EVP_DecryptInit_ex2(Decryption.get(), Aes.get(), nullptr, nullptr, nullptr) != 1) {
            throw std::runtime_error("the cryptography library refused AES-256-GCM");
        }
    }
    unsigned char* Bytes(std::vector<std::uint64_t>& words) noexcept {
        return reinterpret_cast<unsigned char*>(words.data());
    }
};

TCryptoKernel::TCryptoKernel() : state(std::make_unique<TState>()) {}
TCryptoKernel::TCryptoKernel(TCryptoKernel&&) noexcept = default;
TCryptoKernel& TCryptoKernel::operator=(TCryptoKernel&&) noexcept = default;
TCryptoKernel::~TCryptoKernel() = default;

std::uint64_t TCryptoKernel::Begin(std::int64_t block) noexcept {
    TState& s = *state;
    const auto number = static_cast<std::uint64_t>(block);
    // The key: four words of the block's number, the plaintext its count of words.
    std::uint64_t key[4];
    for (std::uint64_t i = 0; i < 4; ++i) {
        key[i] = (number + i) * 0x9E3779B97F4A7C15u;
    }
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(key);
    const bool ok =
        EVP_EncryptInit_ex2(s.Encryption.get(), nullptr, keyBytes, nullptr, nullptr) == 1 &&
        EVP_DecryptInit_ex2(s.Decryption.get(), nullptr, keyBytes, nullptr, nullptr) == 1 &&
        EVP_DigestInit_ex2(s.Hash.get(), s.Sha.get(), nullptr) == 1;
    for (std::int64_t i = 0; i < ChunkWords; ++i) {
        s.Plain[static_cast<std::size_t>(i)] = number * ChunkWords + static_cast<std::uint64_t>(i);
    }
    std::memcpy(s.Nonce, &number, sizeof number);
    return ok ? 0 : CallFailed;
}

std::uint64_t TCryptoKernel::Encrypt(int chunk) noexcept {
    TState& s = *state;
    const auto index = static_cast<std::uint32_t>(chunk);
    std::memcpy(s.Nonce + 8, &index, sizeof index);
    int written = 0;
    int last = 0;
    const bool ok =
        EVP_EncryptInit_ex2(s.Encryption.get(), nullptr, nullptr, s.Nonce, nullptr) == 1 &&
        EVP_EncryptUpdate(s.Encryption.get(), s.Bytes(s.Sealed), &written, s.Bytes(s.Plain),
                          ChunkLength) == 1 &&
        EVP_EncryptFinal_ex(s.Encryption.get(), s.Bytes(s.Sealed) + written, &last) == 1 &&
        written + last == ChunkLength &&
        EVP_CIPHER_CTX_ctrl(s.Encryption.get(), EVP_CTRL_GCM_GET_TAG, TagBytes, s.Tag) == 1;
    return ok ? 0 : CallFailed;
}

std::uint64_t* TCryptoKernel::Ciphertext() noexcept {
    return state->Sealed.data();
}

std::uint64_t TCryptoKernel::Finish(std::uint64_t checksum, std::uint64_t failed) noexcept {
    TState& s = *state;
    int written = 0;
    int last = 0;
    if (EVP_DecryptInit_ex2(s.Decryption.get(), nullptr, nullptr, s.Nonce, nullptr) != 1 ||
        EVP_DecryptUpdate(s.Decryption.get(), s.Bytes(s.Opened), &written, s.Bytes(s.Sealed),
                          ChunkLength) != 1 ||
        EVP_CIPHER_CTX_ctrl(s.Decryption.get(), EVP_CTRL_GCM_SET_TAG, TagBytes, s.Tag) != 1) {
        failed |= CallFailed;
    } else if (EVP_DecryptFinal_ex(s.Decryption.get(), s.Bytes(s.Opened) + written, &last) != 1) {
        failed |= TagRejected;
    }
    if (written + last != ChunkLength ||
        std::memcmp(s.Opened.data(), s.Plain.data(), static_cast<std::size_t>(ChunkBytes)) != 0) {
        failed |= PlainDiffers;
    }
    if (EVP_DigestUpdate(s.Hash.get(), s.Sealed.data(), static_cast<std::size_t>(ChunkBytes)) !=
        1) {
        failed |= CallFailed;
    }
    for (int i = 0; i < TagBytes; i += 8) {
        checksum = BlockChecksum::Fold(checksum, Word(s.Tag + i));
    }
    checksum = BlockChecksum::Fold(checksum, failed);
    // The chain: this ciphertext is the next chunk's plaintext.
    s.Plain.swap(s.Sealed);
    return checksum;
}

std::uint64_t TCryptoKernel::End(std::uint64_t checksum) noexcept {
    unsigned char digest[32] = {};
    unsigned int digestBytes = 0;
    const bool ok = EVP_DigestFinal_ex(state->Hash.get(), digest, &digestBytes) == 1 &&
                    digestBytes == sizeof digest;
    for (int i = 0; i < 32; i += 8) {
        checksum = BlockChecksum::Fold(checksum, Word(digest + i));
    }
    return BlockChecksum::Fold(checksum, ok ? 0 : CallFailed);
}

std::uint64_t TCryptoKernel::ComputeBlock(std::int64_t block) {
    TQuietProgress progress;
    return *Run(block, progress, TNoMemoryFault{});
}

namespace {

TCryptoKernel MakeCrypto(const TWorkload&, int) {
    return TCryptoKernel();
}
using TCryptoEntry = TBlockEntry<TCryptoKernel, TNoMemoryFault, THookMemoryFault, &MakeCrypto,
                                 TCryptoKernel::RingSlots>;

TBlockChecker::Compute CryptoCompute(const TWorkload&) {
    return SharedCompute<TCryptoKernel>();
}

std::int64_t CryptoStepsBefore(const TWorkload&, std::int64_t block) noexcept {
    return block * TCryptoKernel::StepsPerBlock();
}

constexpr std::array CryptoRows{TSelfTestRow{TFault::TKind::FlippedBit, 1, "wrong ciphertext"}};

} // namespace

const TWorkloadEntry CryptoWorkload{
    "crypto",
    "AES-256-GCM encryption, decryption and SHA-256",
    "bytes/s",
    false,
    false,
    &TCryptoEntry::Start,
    &CryptoCompute,
    &CryptoStepsBefore,
    CryptoRows,
    &Workloads::BlockFault,
    &Workloads::FaultyBlock,
    nullptr,
    nullptr,
    &TCryptoEntry::Kernel,
};
