#include "ecdsa_der.h"

#include <algorithm>

namespace knot::station {
namespace {

constexpr std::size_t NUMBER_SIZE = 32;
constexpr std::uint8_t DER_SEQUENCE = 0x30;
constexpr std::uint8_t DER_INTEGER = 0x02;
constexpr std::uint8_t POINT_UNCOMPRESSED = 0x04;

// SEQUENCE { SEQUENCE { OID id-ecPublicKey, OID prime256v1 }, BIT STRING (0 unused bits) }, up
// to the point's first byte: every P-256 key in this form starts with these bytes.
constexpr std::uint8_t P256_SPKI_PREFIX[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48,
                                             0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A, 0x86, 0x48,
                                             0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};

std::uint8_t Byte(std::string_view der, std::size_t at) {
    return static_cast<std::uint8_t>(der[at]);
}

// Reads one INTEGER at `at` into `number` (right-aligned, 32 bytes); moves `at` past it.
bool ReadNumber(std::string_view der, std::size_t& at, std::uint8_t* number) {
    if (at + 2 > der.size() || Byte(der, at) != DER_INTEGER) {
        return false;
    }
    std::size_t length = Byte(der, at + 1);
    at += 2;
    if (length == 0 || length > NUMBER_SIZE + 1 || at + length > der.size()) {
        return false;
    }
    std::string_view digits = der.substr(at, length);
    at += length;
    if (Byte(digits, 0) >= 0x80) {
        return false; // negative: no signature has one
    }
    while (digits.size() > 1 && digits.front() == 0) {
        digits.remove_prefix(1);
    }
    if (digits.size() > NUMBER_SIZE) {
        return false;
    }
    std::fill(number, number + NUMBER_SIZE, 0);
    std::copy(digits.begin(), digits.end(), number + (NUMBER_SIZE - digits.size()));
    return true;
}

} // namespace

std::optional<P256Numbers> P256PointFromSpki(std::string_view der) {
    constexpr std::size_t prefix = sizeof P256_SPKI_PREFIX;
    if (der.size() != prefix + 1 + 2 * NUMBER_SIZE ||
        !std::equal(P256_SPKI_PREFIX, P256_SPKI_PREFIX + prefix, der.begin(),
                    [](std::uint8_t want, char got) { return want == std::uint8_t(got); }) ||
        Byte(der, prefix) != POINT_UNCOMPRESSED) {
        return std::nullopt;
    }
    P256Numbers point;
    std::copy(der.begin() + prefix + 1, der.end(), point.begin());
    return point;
}

std::optional<P256Numbers> P256SignatureFromDer(std::string_view der) {
    // Two numbers of at most 33 bytes each never need the long form of the length.
    if (der.size() < 2 || Byte(der, 0) != DER_SEQUENCE || Byte(der, 1) != der.size() - 2) {
        return std::nullopt;
    }
    P256Numbers numbers;
    std::size_t at = 2;
    if (!ReadNumber(der, at, numbers.data()) ||
        !ReadNumber(der, at, numbers.data() + NUMBER_SIZE) || at != der.size()) {
        return std::nullopt;
    }
    return numbers;
}

} // namespace knot::station
