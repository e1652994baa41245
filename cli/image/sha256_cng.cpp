// The image's SHA-256 from Windows' own cryptography (CNG, bcrypt.dll: Vista and later).
#include "sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <vector>

namespace {

constexpr ULONG SHA256_SIZE = 32;

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

} // namespace

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> object; // Windows Vista wants the hash object's memory from the caller
    bool good = false;

    State() {
        if (!Succeeded(
                BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
            algorithm = nullptr;
            return;
        }
        DWORD objectSize = 0;
        ULONG got = 0;
        if (!Succeeded(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH,
                                         reinterpret_cast<PUCHAR>(&objectSize), sizeof objectSize,
                                         &got, 0))) {
            return;
        }
        object.resize(objectSize);
        good =
            Succeeded(BCryptCreateHash(algorithm, &hash, object.data(), objectSize, nullptr, 0, 0));
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

void Sha256::Update(const void* bytes, std::size_t size) {
    const auto* at = static_cast<const UCHAR*>(bytes);
    // BCryptHashData takes at most 4 GiB at a time.
    while (m_state->good && size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        m_state->good = Succeeded(BCryptHashData(m_state->hash, const_cast<PUCHAR>(at), piece, 0));
        at += piece;
        size -= piece;
    }
}

std::optional<std::string> Sha256::HexDigest() {
    UCHAR digest[SHA256_SIZE];
    if (!m_state->good || !Succeeded(BCryptFinishHash(m_state->hash, digest, SHA256_SIZE, 0))) {
        return std::nullopt;
    }
    m_state->good = false; // the hash is spent
    return DigestHex(digest, SHA256_SIZE);
}
