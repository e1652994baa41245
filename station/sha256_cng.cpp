// SHA-256 from Windows' own cryptography (CNG, bcrypt.dll: Vista and later).
#include "sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <vector>

namespace knot::station {
namespace {

constexpr std::size_t GATHER_SIZE = 16 * 1024;

} // namespace

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> object; // Windows Vista wants the hash object's memory from the caller
    bool good = false;
    // The reader hands over small slices; each call into bcrypt.dll costs more than copying one.
    std::vector<UCHAR> pending;

    State() {
        pending.reserve(GATHER_SIZE);
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
            algorithm = nullptr;
            return;
        }
        DWORD objectSize = 0;
        ULONG got = 0;
        if (!BCRYPT_SUCCESS(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH,
                                              reinterpret_cast<PUCHAR>(&objectSize),
                                              sizeof objectSize, &got, 0))) {
            return;
        }
        object.resize(objectSize);
        good = BCRYPT_SUCCESS(
            BCryptCreateHash(algorithm, &hash, object.data(), objectSize, nullptr, 0, 0));
        if (!good) {
            hash = nullptr;
        }
    }

    ~State() {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
        if (algorithm != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
        }
    }
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

namespace {

// BCryptHashData takes at most 4 GiB at a time.
bool HashData(BCRYPT_HASH_HANDLE hash, const UCHAR* at, std::size_t size) {
    bool good = true;
    while (good && size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        good = BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(at), piece, 0));
        at += piece;
        size -= piece;
    }
    return good;
}

} // namespace

void Sha256::Update(const void* bytes, std::size_t size) {
    State& state = *m_state;
    const auto* at = static_cast<const UCHAR*>(bytes);
    if (state.pending.size() + size > GATHER_SIZE) {
        state.good = state.good && HashData(state.hash, state.pending.data(), state.pending.size());
        state.pending.clear();
    }
    if (size >= GATHER_SIZE) {
        state.good = state.good && HashData(state.hash, at, size);
    } else {
        state.pending.insert(state.pending.end(), at, at + size);
    }
}

std::optional<Sha256Digest> Sha256::Digest() {
    Sha256Digest digest;
    State& state = *m_state;
    state.good = state.good && HashData(state.hash, state.pending.data(), state.pending.size());
    state.pending.clear();
    if (!state.good ||
        !BCRYPT_SUCCESS(BCryptFinishHash(state.hash, digest.data(), ULONG{SHA256_SIZE}, 0))) {
        return std::nullopt;
    }
    state.good = false; // the hash is spent
    return digest;
}

std::optional<std::string> Sha256::HexDigest() {
    const std::optional<Sha256Digest> digest = Digest();
    return digest ? std::optional(DigestHex(digest->data(), digest->size())) : std::nullopt;
}

} // namespace knot::station
