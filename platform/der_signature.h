// The DER encoding of an ECDSA signature on P-256, read by one rule on every system (and written
// in that form where the library does not write it), so that the same signature files are
// accepted everywhere: SEQUENCE { INTEGER r, INTEGER s }, nothing after
// it, every length in its shortest form and every INTEGER positive and in its shortest form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

constexpr size_t kP256CoordinateSize = 32;

// r and s of `der` as one big-endian string of 2 x 32 bytes (what CNG verifies); false when
// `der` is not exactly one such encoding, or r or s does not fit 32 bytes.
[[nodiscard]] bool ParseDerEcdsaSignature(const std::string& der,
                                          uint8_t (&rs)[2 * kP256CoordinateSize]);

// The DER encoding of r and s, given as one big-endian string of 2 x 32 bytes (what CNG signs),
// in the form that ParseDerEcdsaSignature reads.
std::string DerEcdsaSignature(const uint8_t (&rs)[2 * kP256CoordinateSize]);

}  // namespace platform
