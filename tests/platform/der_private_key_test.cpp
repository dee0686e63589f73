// The strict reader and the writer of P-256 key pairs' DER, against the DER that openssl wrote
// (tests/tools/make_signature_fixtures.sh) and against damaged and foreign keys built here.
#include "platform/der_private_key.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/temp_dir.h"

namespace {

using platform::SignatureStatus;

std::string FixtureBytes(const std::string& name) {
  return test::ReadFileBytes(test::HostPath(std::string(UPDATE_SIGNATURE_FIXTURES) + "/" + name));
}

// One element with a short-form length.
std::string Element(char tag, const std::string& content) {
  return std::string(1, tag) + static_cast<char>(content.size()) + content;
}

TEST(DerPrivateKey, ReadsWhatOpensslWritesAndWritesItBackByteForByte) {
  const std::string pkcs8 = FixtureBytes("ec.der");
  platform::P256KeyPair fromPkcs8;
  ASSERT_EQ(platform::ReadDerPrivateKey(pkcs8, true, &fromPkcs8), SignatureStatus::kOk);
  platform::P256KeyPair fromTraditional;
  ASSERT_EQ(
      platform::ReadDerPrivateKey(FixtureBytes("ec_traditional.der"), false, &fromTraditional),
      SignatureStatus::kOk);
  EXPECT_EQ(std::memcmp(&fromPkcs8, &fromTraditional, sizeof fromPkcs8), 0);
  EXPECT_EQ(platform::DerPkcs8PrivateKey(fromPkcs8), pkcs8);
  EXPECT_EQ(platform::DerPublicKeyInfo(fromPkcs8), FixtureBytes("ec.pub.der"));
}

TEST(DerPrivateKey, RefusesWhatIsNoP256KeyPairWithItsReason) {
  const std::string pkcs8 = FixtureBytes("ec.der");
  const std::string traditional = FixtureBytes("ec_traditional.der");
  // ec.der: 30 81 87 | 02 01 00 | 30 13 (algorithm) | 04 6D 30 6B 02 01 01 04 20 <scalar at 36>.
  constexpr size_t kScalarAt = 36;
  std::string zeroScalar = pkcs8;
  zeroScalar.replace(kScalarAt, 32, std::string(32, '\0'));
  std::string orderScalar = pkcs8;
  orderScalar.replace(kScalarAt, 32,
                      "\xFF\xFF\xFF\xFF\x00\x00\x00\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
                      "\xBC\xE6\xFA\xAD\xA7\x17\x9E\x84\xF3\xB9\xCA\xC2\xFC\x63\x25\x51",
                      32);
  std::string longLength = pkcs8;
  longLength.replace(0, 3, "\x30\x82\x00\x87", 4);  // a length not in its shortest form
  const std::string ed25519 =
      Element('\x30', Element('\x02', std::string(1, '\0')) +
                          Element('\x30', Element('\x06', "\x2B\x65\x70")) +
                          Element('\x04', Element('\x04', std::string(32, '\x42'))));
  struct Case {
    const char* what;
    std::string der;
    bool pkcs8;
    SignatureStatus status;
  };
  const Case cases[] = {
      {"P-384", FixtureBytes("p384.der"), true, SignatureStatus::kKeyWrongCurve},
      {"Ed25519", ed25519, true, SignatureStatus::kKeyNotEcdsa},
      {"no public point", FixtureBytes("ec_nopublic.der"), true,
       SignatureStatus::kKeyWithoutPublicPoint},
      {"a public key", FixtureBytes("ec.pub.der"), true, SignatureStatus::kKeyNotPem},
      {"PKCS#8 read as an ECPrivateKey", pkcs8, false, SignatureStatus::kKeyNotPem},
      {"an ECPrivateKey read as PKCS#8", traditional, true, SignatureStatus::kKeyNotPem},
      {"a scalar of zero", zeroScalar, true, SignatureStatus::kKeyNotPem},
      {"a scalar of the group's order", orderScalar, true, SignatureStatus::kKeyNotPem},
      {"a long length", longLength, true, SignatureStatus::kKeyNotPem},
      {"a byte after it", pkcs8 + "x", true, SignatureStatus::kKeyNotPem},
      {"nothing", "", true, SignatureStatus::kKeyNotPem},
  };
  for (const Case& c : cases) {
    platform::P256KeyPair key;
    EXPECT_EQ(platform::ReadDerPrivateKey(c.der, c.pkcs8, &key), c.status) << c.what;
  }
}

// Every cut and every changed byte is read within the bytes given (the sanitizer build watches),
// and no cut key passes.
TEST(DerPrivateKey, DamagedKeysAreReadWithinTheirBytes) {
  for (const char* name : {"ec.der", "ec_traditional.der"}) {
    const std::string der = FixtureBytes(name);
    const bool pkcs8 = std::string(name) == "ec.der";
    platform::P256KeyPair key;
    for (size_t size = 0; size < der.size(); ++size) {
      EXPECT_NE(platform::ReadDerPrivateKey(der.substr(0, size), pkcs8, &key), SignatureStatus::kOk)
          << name << " cut to " << size;
    }
    for (size_t at = 0; at < der.size(); ++at) {
      for (const char value : {'\x00', '\x7F', '\x80', '\x81', '\x82', '\xFF'}) {
        std::string changed = der;
        changed[at] = value;
        (void)platform::ReadDerPrivateKey(changed, pkcs8, &key);  // any answer, within bounds
      }
    }
  }
}

}  // namespace
