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

// Hashes `size` bytes with the open provider `algorithm` into `digest`.
bool HashWith(BCRYPT_ALG_HANDLE algorithm, const std::uint8_t* bytes, std::size_t size,
              UCHAR (&digest)[SHA256_SIZE]) {
    // Windows Vista wants the hash object's memory from the caller.
    DWORD objectSize = 0;
    ULONG got = 0;
    if (!Succeeded(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH,
                                     reinterpret_cast<PUCHAR>(&objectSize), sizeof objectSize, &got,
                                     0))) {
        return false;
    }
    std::vector<UCHAR> object(objectSize);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!Succeeded(BCryptCreateHash(algorithm, &hash, object.data(), objectSize, nullptr, 0, 0))) {
        return false;
    }
    bool done = true;
    // BCryptHashData takes at most 4 GiB at a time.
    for (std::size_t at = 0; done && at < size;) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size - at, 1u << 30));
        done = Succeeded(BCryptHashData(hash, const_cast<PUCHAR>(bytes + at), piece, 0));
        at += piece;
    }
    done = done && Succeeded(BCryptFinishHash(hash, digest, SHA256_SIZE, 0));
    BCryptDestroyHash(hash);
    return done;
}

} // namespace

std::optional<std::string> Sha256Hex(const std::uint8_t* bytes, std::size_t size) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return std::nullopt;
    }
    UCHAR digest[SHA256_SIZE];
    const bool done = HashWith(algorithm, bytes, size, digest);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!done) {
        return std::nullopt;
    }
    return DigestHex(digest, SHA256_SIZE);
}
