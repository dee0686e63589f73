// The strict reading of a DER-encoded ECDSA signature.
#include "platform/der_signature.h"

#include <cstring>

namespace platform {
namespace {

constexpr uint8_t kSequenceTag = 0x30;
constexpr uint8_t kIntegerTag = 0x02;
// A P-256 signature is at most 72 bytes: every length has the one-byte short form.
constexpr uint8_t kLongLengthBit = 0x80;

// Reads one INTEGER at `der[*at]` into the 32 big-endian bytes at `out`.
bool ReadInteger(const std::string& der, size_t* at, uint8_t* out) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(der[i]); };
  if (*at + 2 > der.size() || byte(*at) != kIntegerTag) return false;
  const size_t length = byte(*at + 1);
  const size_t start = *at + 2;
  if ((length & kLongLengthBit) != 0 || length == 0 || start + length > der.size()) return false;
  // Positive, and no leading zero byte that the next byte does not need.
  if ((byte(start) & 0x80) != 0) return false;
  if (length > 1 && byte(start) == 0 && (byte(start + 1) & 0x80) == 0) return false;
  size_t skip = byte(start) == 0 && length > 1 ? 1 : 0;
  const size_t digits = length - skip;
  if (digits > kP256CoordinateSize) return false;
  std::memset(out, 0, kP256CoordinateSize);
  std::memcpy(out + kP256CoordinateSize - digits, der.data() + start + skip, digits);
  *at = start + length;
  return true;
}

}  // namespace

bool ParseDerEcdsaSignature(const std::string& der, uint8_t (&rs)[2 * kP256CoordinateSize]) {
  if (der.size() < 2 || static_cast<uint8_t>(der[0]) != kSequenceTag) return false;
  const size_t length = static_cast<uint8_t>(der[1]);
  if ((length & kLongLengthBit) != 0 || der.size() != 2 + length) return false;
  size_t at = 2;
  return ReadInteger(der, &at, rs) && ReadInteger(der, &at, rs + kP256CoordinateSize) &&
         at == der.size();
}

std::string DerEcdsaSignature(const uint8_t (&rs)[2 * kP256CoordinateSize]) {
  std::string integers;
  for (const uint8_t* number : {rs, rs + kP256CoordinateSize}) {
    size_t skip = 0;
    while (skip + 1 < kP256CoordinateSize && number[skip] == 0) ++skip;
    // A leading zero byte keeps a number with its top bit set positive.
    const bool pad = (number[skip] & 0x80) != 0;
    integers += static_cast<char>(kIntegerTag);
    integers += static_cast<char>(kP256CoordinateSize - skip + (pad ? 1 : 0));
    if (pad) integers += '\0';
    integers.append(reinterpret_cast<const char*>(number + skip), kP256CoordinateSize - skip);
  }
  return std::string(1, static_cast<char>(kSequenceTag)) + static_cast<char>(integers.size()) +
         integers;
}

}  // namespace platform
