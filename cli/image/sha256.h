// SHA-256 of an image's bytes, for inspect and the flash report: which image went into the unit.
// The digest comes from the system's cryptography library (libcrypto, or Windows' CNG).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace knot::cli {
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

} // namespace knot::cli
