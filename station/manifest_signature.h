// The check of a release manifest's detached signature: ECDSA P-256 over the SHA-256 of the
// manifest's bytes, as "openssl dgst -sha256 -sign" writes it, against the line's public key.
#pragma once

#include <string_view>

namespace knot::station {
enum class SignatureVerdict {
    Good,
    Bad,           // the bytes or the key are not the ones signed (or the signature is not DER)
    KeyNotP256,    // the key is not a PEM SubjectPublicKeyInfo of an ECDSA P-256 key
    SystemFailure, // the system's cryptography failed
};

// Checks `derSignature` over `message` with the public key `keyPem`: libcrypto on Linux, CNG on
// Windows.
SignatureVerdict VerifyP256Signature(std::string_view keyPem, std::string_view message,
                                     std::string_view derSignature);

} // namespace knot::station
