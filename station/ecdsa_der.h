// The two DER structures a P-256 signature check needs where the system's cryptography takes raw
// numbers (Windows' CNG): the public point of a key's SubjectPublicKeyInfo, and r||s of a
// signature.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace knot::station {
// X and Y of a P-256 public key, 32 big-endian bytes each.
using P256Numbers = std::array<std::uint8_t, 64>;

// The point of `der`, a SubjectPublicKeyInfo of an EC key on the named curve P-256 with its
// point uncompressed (what "openssl ec -pubout" writes); nothing for any other key.
std::optional<P256Numbers> P256PointFromSpki(std::string_view der);

// r and s of `der`, an ECDSA-Sig-Value (SEQUENCE of two INTEGERs), each as 32 bytes; nothing
// when it is not one or a number does not fit.
std::optional<P256Numbers> P256SignatureFromDer(std::string_view der);

} // namespace knot::station
