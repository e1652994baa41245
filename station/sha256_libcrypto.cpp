// SHA-256 from OpenSSL's libcrypto (Linux).
#include "sha256.h"

// The digest's own functions, not the EVP interface: EVP first sets up libcrypto's providers,
// which costs knot-fdt more than hashing a full image does.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

namespace knot::station {
struct Sha256::State {
    SHA256_CTX context;
    bool good = true;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    m_state->good = SHA256_Init(&m_state->context) == 1;
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* bytes, std::size_t size) {
    m_state->good = m_state->good && SHA256_Update(&m_state->context, bytes, size) == 1;
}

std::optional<Sha256Digest> Sha256::Digest() {
    Sha256Digest digest;
    static_assert(SHA256_SIZE == SHA256_DIGEST_LENGTH);
    if (!m_state->good || SHA256_Final(digest.data(), &m_state->context) != 1) {
        return std::nullopt;
    }
    m_state->good = false; // the context is spent
    return digest;
}

std::optional<std::string> Sha256::HexDigest() {
    const std::optional<Sha256Digest> digest = Digest();
    return digest ? std::optional(DigestHex(digest->data(), digest->size())) : std::nullopt;
}

} // namespace knot::station
