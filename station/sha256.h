// SHA-256 of a file's bytes: which image went into the unit, which release manifest allowed it.
// The digest comes from the system's cryptography library (libcrypto, or Windows' CNG).
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace knot::station {
inline constexpr std::size_t SHA256_SIZE = 32;
using Sha256Digest = std::array<unsigned char, SHA256_SIZE>;

// A digest fed piece by piece, as the file is read.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* bytes, std::size_t size);
    // The digest of every byte given, as 64 lower-case hexadecimal digits; nothing when the
    // system's library could not compute it.
    std::optional<std::string> HexDigest();
    // The same digest as bytes; the digest is spent by either call.
    std::optional<Sha256Digest> Digest();

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

// `size` digest bytes as lower-case hexadecimal digits.
inline std::string DigestHex(const unsigned char* digest, std::size_t size) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += DIGITS[digest[i] >> 4];
        hex += DIGITS[digest[i] & 0x0F];
    }
    return hex;
}

} // namespace knot::station
