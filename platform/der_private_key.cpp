// The strict reading and the writing of a P-256 key pair's DER.
#include "platform/der_private_key.h"

#include <cstring>
#include <string_view>

namespace platform {
namespace {

constexpr uint8_t kIntegerTag = 0x02;
constexpr uint8_t kBitStringTag = 0x03;
constexpr uint8_t kOctetStringTag = 0x04;
constexpr uint8_t kObjectIdTag = 0x06;
constexpr uint8_t kSequenceTag = 0x30;
constexpr uint8_t kParametersTag = 0xA0;  // ECPrivateKey's [0] EXPLICIT
constexpr uint8_t kPublicKeyTag = 0xA1;   // ECPrivateKey's [1] EXPLICIT
constexpr uint8_t kUncompressedPoint = 0x04;
// A key file is at most a few KB: two length bytes are the most any element needs.
constexpr size_t kMaxLengthBytes = 2;

constexpr std::string_view kEcPublicKeyOid("\x2A\x86\x48\xCE\x3D\x02\x01", 7);
constexpr std::string_view kP256Oid("\x2A\x86\x48\xCE\x3D\x03\x01\x07", 8);
// The order n of P-256's group: a scalar lies in 1..n-1.
constexpr uint8_t kOrder[kP256CoordinateSize] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};

// The elements of one DER value, read in turn.
class TDerReader {
 public:
  explicit TDerReader(std::string_view bytes) : bytes_(bytes) {}

  bool AtEnd() const { return at_ == bytes_.size(); }
  bool Next(uint8_t tag) const { return !AtEnd() && static_cast<uint8_t>(bytes_[at_]) == tag; }

  // The next element, of any tag: its content. Lengths must be in their shortest form.
  bool Element(uint8_t* tag, std::string_view* content) {
    if (bytes_.size() - at_ < 2) return false;
    *tag = Byte(at_);
    size_t length = Byte(at_ + 1);
    size_t start = at_ + 2;
    if (length >= 0x80) {
      const size_t count = length & 0x7F;
      if (count == 0 || count > kMaxLengthBytes || bytes_.size() - start < count) return false;
      length = 0;
      for (size_t i = 0; i < count; ++i) length = (length << 8) | Byte(start + i);
      if (length < (count == 1 ? 0x80u : 0x100u)) return false;
      start += count;
    }
    if (bytes_.size() - start < length) return false;
    *content = bytes_.substr(start, length);
    at_ = start + length;
    return true;
  }

  // The next element, which must have `tag`.
  bool Read(uint8_t tag, std::string_view* content) {
    uint8_t found = 0;
    return Next(tag) && Element(&found, content);
  }

 private:
  uint8_t Byte(size_t i) const { return static_cast<uint8_t>(bytes_[i]); }

  std::string_view bytes_;
  size_t at_ = 0;
};

// Whether `scalar` (32 big-endian bytes) lies in 1..n-1.
bool ValidScalar(const uint8_t* scalar) {
  bool zero = true;
  for (size_t i = 0; i < kP256CoordinateSize; ++i) zero = zero && scalar[i] == 0;
  return !zero && std::memcmp(scalar, kOrder, kP256CoordinateSize) < 0;
}

// An ECPrivateKey (RFC 5915) filling `key`. `curveNamed` says whether the PKCS#8 around it named
// P-256 already; its own parameters, when present, must name it too.
SignatureStatus ReadEcPrivateKey(std::string_view der, bool curveNamed, P256KeyPair* key) {
  TDerReader outer(der);
  std::string_view body;
  std::string_view version;
  std::string_view scalar;
  if (!outer.Read(kSequenceTag, &body) || !outer.AtEnd()) return SignatureStatus::kKeyNotPem;
  TDerReader fields(body);
  if (!fields.Read(kIntegerTag, &version) || version != std::string_view("\x01", 1) ||
      !fields.Read(kOctetStringTag, &scalar) || scalar.empty() ||
      scalar.size() > kP256CoordinateSize) {
    return SignatureStatus::kKeyNotPem;
  }
  std::string_view parameters;
  if (fields.Read(kParametersTag, &parameters)) {
    TDerReader curve(parameters);
    std::string_view oid;
    if (!curve.Read(kObjectIdTag, &oid) || !curve.AtEnd() || oid != kP256Oid) {
      return SignatureStatus::kKeyWrongCurve;
    }
    curveNamed = true;
  }
  std::string_view point;
  std::string_view publicKey;
  if (fields.Read(kPublicKeyTag, &publicKey)) {
    TDerReader bits(publicKey);
    if (!bits.Read(kBitStringTag, &point) || !bits.AtEnd()) return SignatureStatus::kKeyNotPem;
  }
  if (!fields.AtEnd()) return SignatureStatus::kKeyNotPem;
  if (!curveNamed) return SignatureStatus::kKeyWrongCurve;
  // A BIT STRING without unused bits around 04 X Y; a compressed point would need computing.
  if (point.size() != 2 + 2 * kP256CoordinateSize || point[0] != 0 ||
      static_cast<uint8_t>(point[1]) != kUncompressedPoint) {
    return SignatureStatus::kKeyWithoutPublicPoint;
  }
  *key = P256KeyPair();
  std::memcpy(key->Scalar + kP256CoordinateSize - scalar.size(), scalar.data(), scalar.size());
  std::memcpy(key->Point, point.data() + 2, sizeof key->Point);
  return ValidScalar(key->Scalar) ? SignatureStatus::kOk : SignatureStatus::kKeyNotPem;
}

// A PKCS#8 PrivateKeyInfo (RFC 5208; version 1 of RFC 5958 too) around an ECPrivateKey.
SignatureStatus ReadPkcs8(std::string_view der, P256KeyPair* key) {
  TDerReader outer(der);
  std::string_view body;
  std::string_view version;
  std::string_view algorithm;
  std::string_view oid;
  if (!outer.Read(kSequenceTag, &body) || !outer.AtEnd()) return SignatureStatus::kKeyNotPem;
  TDerReader fields(body);
  if (!fields.Read(kIntegerTag, &version) || version.size() != 1 ||
      static_cast<uint8_t>(version[0]) > 1 || !fields.Read(kSequenceTag, &algorithm)) {
    return SignatureStatus::kKeyNotPem;
  }
  TDerReader identifier(algorithm);
  if (!identifier.Read(kObjectIdTag, &oid)) return SignatureStatus::kKeyNotPem;
  if (oid != kEcPublicKeyOid) return SignatureStatus::kKeyNotEcdsa;
  std::string_view curve;
  if (!identifier.Read(kObjectIdTag, &curve) || !identifier.AtEnd() || curve != kP256Oid) {
    return SignatureStatus::kKeyWrongCurve;
  }
  std::string_view inner;
  if (!fields.Read(kOctetStringTag, &inner)) return SignatureStatus::kKeyNotPem;
  // Attributes and a public key of the newer version may follow: well-formed, and not needed.
  while (!fields.AtEnd()) {
    uint8_t tag = 0;
    std::string_view skipped;
    if (!fields.Element(&tag, &skipped)) return SignatureStatus::kKeyNotPem;
  }
  return ReadEcPrivateKey(inner, true, key);
}

// One element: `tag`, its length in the shortest form, `content` (below 256 bytes, as every
// element of a P-256 key is).
std::string Element(uint8_t tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  if (content.size() >= 0x80) out += static_cast<char>(0x81);
  return out + static_cast<char>(content.size()) + content;
}

std::string Bytes(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

std::string EcAlgorithm() {
  return Element(kSequenceTag, Element(kObjectIdTag, std::string(kEcPublicKeyOid)) +
                                   Element(kObjectIdTag, std::string(kP256Oid)));
}

std::string PointBits(const P256KeyPair& key) {
  return Element(kBitStringTag, std::string("\x00\x04", 2) + Bytes(key.Point, sizeof key.Point));
}

}  // namespace

SignatureStatus ReadDerPrivateKey(const std::string& der, bool pkcs8, P256KeyPair* key) {
  return pkcs8 ? ReadPkcs8(der, key) : ReadEcPrivateKey(der, false, key);
}

std::string DerPkcs8PrivateKey(const P256KeyPair& key) {
  const std::string ecPrivateKey =
      Element(kSequenceTag, Element(kIntegerTag, "\x01") +
                                Element(kOctetStringTag, Bytes(key.Scalar, sizeof key.Scalar)) +
                                Element(kPublicKeyTag, PointBits(key)));
  return Element(kSequenceTag, Element(kIntegerTag, std::string(1, '\0')) + EcAlgorithm() +
                                   Element(kOctetStringTag, ecPrivateKey));
}

std::string DerPublicKeyInfo(const P256KeyPair& key) {
  return Element(kSequenceTag, EcAlgorithm() + PointBits(key));
}

}  // namespace platform
