// The image's SHA-256 from OpenSSL's libcrypto (Linux).
#include "sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

std::optional<std::string> Sha256Hex(const std::uint8_t* bytes, std::size_t size) {
    // A digest needs no system configuration: reading openssl.cnf costs more than hashing a
    // small image.
    if (OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr) != 1) {
        return std::nullopt;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes, size, digest, &length, EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    return DigestHex(digest, length);
}
