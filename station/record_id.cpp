#include "record_id.h"

#include <array>
#include <cstdint>
#include <random>

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

namespace knot::station {
namespace {

constexpr std::size_t ID_BYTES = 16;

// The system's random bytes (std::random_device should the system refuse them).
std::array<std::uint8_t, ID_BYTES> RandomBytes() {
    std::array<std::uint8_t, ID_BYTES> bytes{};
#ifdef _WIN32
    const bool got = BCryptGenRandom(nullptr, bytes.data(), ULONG(bytes.size()),
                                     BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
#else
    const bool got = ::getrandom(bytes.data(), bytes.size(), 0) == ssize_t(bytes.size());
#endif
    if (!got) {
        std::random_device device;
        for (std::uint8_t& byte : bytes) {
            byte = static_cast<std::uint8_t>(device());
        }
    }
    return bytes;
}

} // namespace

std::string NewRecordId() {
    std::array<std::uint8_t, ID_BYTES> bytes = RandomBytes();
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40); // version 4: random
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80); // the RFC 4122 variant
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string id;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            id += '-';
        }
        id += DIGITS[bytes[i] >> 4];
        id += DIGITS[bytes[i] & 0x0F];
    }
    return id;
}

} // namespace knot::station
