// The manifest's signature checked by Windows' own cryptography: the key's PEM decoded by
// crypt32, the signature by CNG (bcrypt.dll), both present since Windows Vista.
#include "manifest_signature.h"

#include "ecdsa_der.h"
#include "sha256.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace knot::station {
namespace {

constexpr char PEM_KEY_LABEL[] = "-----BEGIN PUBLIC KEY-----";
constexpr NTSTATUS STATUS_INVALID_SIGNATURE_VALUE = static_cast<NTSTATUS>(0xC000A000L);

// The DER bytes of the first PEM block, when it is a public key's.
std::optional<std::string> PemKeyDer(std::string_view pem) {
    const std::size_t begin = pem.find(PEM_KEY_LABEL);
    if (begin == std::string_view::npos || pem.size() > MAXDWORD) {
        return std::nullopt;
    }
    const std::string text(pem.substr(begin));
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        return std::nullopt;
    }
    std::string der(size, '\0');
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()),
                              CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()), &size,
                              nullptr, nullptr)) {
        return std::nullopt;
    }
    der.resize(size);
    return der;
}

// The CNG key of `point`: a BCRYPT_ECCPUBLIC_BLOB is its header, then X and Y.
BCRYPT_KEY_HANDLE ImportKey(BCRYPT_ALG_HANDLE algorithm, const P256Numbers& point) {
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + point.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, ULONG(point.size() / 2)};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, point.data(), point.size());
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                            blob.data(), ULONG(blob.size()), 0))) {
        return nullptr;
    }
    return key;
}

SignatureVerdict Verify(const P256Numbers& point, Sha256Digest& digest, P256Numbers& signature) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
        return SignatureVerdict::SystemFailure;
    }
    SignatureVerdict verdict = SignatureVerdict::SystemFailure;
    if (BCRYPT_KEY_HANDLE key = ImportKey(algorithm, point)) {
        const NTSTATUS status =
            BCryptVerifySignature(key, nullptr, digest.data(), ULONG(digest.size()),
                                  signature.data(), ULONG(signature.size()), 0);
        if (BCRYPT_SUCCESS(status)) {
            verdict = SignatureVerdict::Good;
        } else if (status == STATUS_INVALID_SIGNATURE_VALUE) {
            verdict = SignatureVerdict::Bad;
        }
        BCryptDestroyKey(key);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return verdict;
}

} // namespace

SignatureVerdict VerifyP256Signature(std::string_view keyPem, std::string_view message,
                                     std::string_view derSignature) {
    const std::optional<std::string> der = PemKeyDer(keyPem);
    const std::optional<P256Numbers> point = der ? P256PointFromSpki(*der) : std::nullopt;
    if (!point) {
        return SignatureVerdict::KeyNotP256;
    }
    std::optional<P256Numbers> signature = P256SignatureFromDer(derSignature);
    if (!signature) {
        return SignatureVerdict::Bad;
    }
    Sha256 hash;
    hash.Update(message.data(), message.size());
    std::optional<Sha256Digest> digest = hash.Digest();
    if (!digest) {
        return SignatureVerdict::SystemFailure;
    }
    return Verify(*point, *digest, *signature);
}

} // namespace knot::station
