// Tests of the AES entry context on archives made by 7-Zip: sizes by strength, password
// verification, decryption in blocks of any size, and the authentication code.
#include "unzip/crypto/aes_decryptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "encrypted_entries.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace {

struct Fixture {
  const char* archive;
  const char* password;
  const char* entry;
  int strength;
  const char* sha256;  // of the plain entry; empty: the entry is plain.txt
};

const Fixture kFixtures[] = {
    {"aes128.zip", "Secret-128", "plain.txt", 1, ""},
    {"aes192.zip", "Secret-192", "plain.txt", 2, ""},
    {"aes256.zip", "Secret-256", "plain.txt", 3, ""},
    {"aes256_stored.zip", "Secret-256", "plain.txt", 3, ""},
    {"fx_aes256.zip", "fixture-aes", "aes_blob.bin", 3,
     "14590e18d36b30e13737eb75d5e069762afde26c6db83c0394c3ab7abd471c65"},
    {"fx_aes256.zip", "fixture-aes", "aes_notes.txt", 3,
     "36058e315394c5b2767b7005dfaaf96c6bf58fb22830f88bb52ddc0b31fd8e3f"},
};

test::EncryptedEntry Entry(const Fixture& f) {
  return test::CryptoFixtureEntry(f.archive, f.entry);
}

// The parts of an AES entry's stored data.
struct Parts {
  std::string salt;
  std::string verifier;
  std::string encrypted;
  std::string code;
};

Parts Split(const test::EncryptedEntry& e) {
  const size_t salt = TAesDecryptor::SaltLength(e.strength);
  const size_t overhead = TAesDecryptor::Overhead(e.strength);
  EXPECT_GE(e.data.size(), overhead);
  if (e.data.size() < overhead) return {};
  return {e.data.substr(0, salt), e.data.substr(salt, 2),
          e.data.substr(salt + 2, e.data.size() - overhead), e.data.substr(e.data.size() - 10)};
}

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

bool Verify(TAesDecryptor& aes, const test::EncryptedEntry& e, const Parts& p,
            std::string_view password) {
  return aes.Verify(e.strength, password, Bytes(p.salt), Bytes(p.verifier));
}

std::string DecryptInPieces(TAesDecryptor& aes, std::string data, size_t piece) {
  for (size_t at = 0; at < data.size(); at += piece) {
    aes.DecryptBlock(reinterpret_cast<uint8_t*>(data.data()) + at,
                     std::min(piece, data.size() - at));
  }
  return data;
}

std::string CodeText(TAesDecryptor& aes) {
  const auto code = aes.AuthenticationCode();
  return std::string(code.begin(), code.end());
}

TEST(AesDecryptor, SizesByStrength) {
  const struct {
    int strength;
    size_t salt, key, overhead;
  } cases[] = {
      {1, 8, 16, 20},
      {2, 12, 24, 24},
      {3, 16, 32, 28},
      // Codes outside 1..3 are no AES strength at all.
      {0, 0, 0, 0},
      {4, 0, 0, 0},
      {-1, 0, 0, 0},
      {255, 0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TAesDecryptor::IsValidStrength(c.strength), c.salt != 0) << c.strength;
    EXPECT_EQ(TAesDecryptor::SaltLength(c.strength), c.salt) << c.strength;
    EXPECT_EQ(TAesDecryptor::KeyLength(c.strength), c.key) << c.strength;
    EXPECT_EQ(TAesDecryptor::Overhead(c.strength), c.overhead) << c.strength;
  }
}

TEST(AesDecryptor, RightPasswordDecryptsInBlocksOfAnySizeAndAuthenticates) {
  const std::string original = test::ReadFileBytes(test::CryptoFixturePath("plain.txt"));
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(std::string(f.archive) + " " + f.entry);
    const test::EncryptedEntry e = Entry(f);
    ASSERT_EQ(e.strength, f.strength);
    const Parts p = Split(e);
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{32768}}) {
      TAesDecryptor aes;
      ASSERT_TRUE(Verify(aes, e, p, f.password));
      const std::string plain = test::Decode(e, DecryptInPieces(aes, p.encrypted, piece));
      if (*f.sha256 == '\0') {
        EXPECT_EQ(plain, original) << "pieces of " << piece;
      } else {
        EXPECT_EQ(test::Sha256Hex(plain), f.sha256) << "pieces of " << piece;
      }
      EXPECT_EQ(CodeText(aes), p.code) << "pieces of " << piece;
      EXPECT_EQ(CodeText(aes), p.code) << "asked again";
    }
  }
}

// One changed encrypted byte leaves the verification alone but changes the code.
TEST(AesDecryptor, ChangedDataChangesTheAuthenticationCode) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(std::string(f.archive) + " " + f.entry);
    const test::EncryptedEntry e = Entry(f);
    const Parts p = Split(e);
    std::string changed = p.encrypted;
    changed[changed.size() / 2] ^= 0x01;
    TAesDecryptor aes;
    ASSERT_TRUE(Verify(aes, e, p, f.password));
    DecryptInPieces(aes, changed, 32768);
    EXPECT_NE(CodeText(aes), p.code);
  }
}

TEST(AesDecryptor, WrongEmptyAndOtherStrengthFail) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(std::string(f.archive) + " " + f.entry);
    const test::EncryptedEntry e = Entry(f);
    const Parts p = Split(e);
    TAesDecryptor aes;
    EXPECT_FALSE(Verify(aes, e, p, "not-the-password"));
    EXPECT_FALSE(Verify(aes, e, p, ""));
    EXPECT_FALSE(Verify(aes, e, p, std::string(f.password) + " "));
    for (const int strength : {0, 4, 255}) {
      EXPECT_FALSE(aes.Verify(strength, f.password, Bytes(p.salt), Bytes(p.verifier))) << strength;
    }
  }
}

// Verifiers computed independently for the salt 01..08 (strength 1) and the two passwords: the
// 128-byte one verifies, the 129-byte one is refused although its verifier matches.
TEST(AesDecryptor, PasswordsLongerThan128BytesNeverVerify) {
  const std::string pattern = [] {
    std::string s;
    while (s.size() < 129) s += "LongPassword-";
    return s;
  }();
  const uint8_t salt[] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint8_t verifier128[] = {0x2f, 0xdb};
  const uint8_t verifier129[] = {0x35, 0xfc};
  TAesDecryptor aes;
  EXPECT_TRUE(aes.Verify(1, pattern.substr(0, 128), salt, verifier128));
  EXPECT_FALSE(aes.Verify(1, pattern.substr(0, 129), salt, verifier129));
}

// A new verification clears the context: the counter, the key stream and the code start over.
TEST(AesDecryptor, EachVerificationStartsAfresh) {
  const Fixture& f = kFixtures[3];  // stored
  const test::EncryptedEntry e = Entry(f);
  const Parts p = Split(e);
  TAesDecryptor aes;
  ASSERT_TRUE(Verify(aes, e, p, f.password));
  DecryptInPieces(aes, p.encrypted.substr(0, 100), 7);
  ASSERT_FALSE(Verify(aes, e, p, "not-the-password"));
  ASSERT_TRUE(Verify(aes, e, p, f.password));
  EXPECT_EQ(DecryptInPieces(aes, p.encrypted, 32768),
            test::ReadFileBytes(test::CryptoFixturePath("plain.txt")));
  EXPECT_EQ(CodeText(aes), p.code);
}

}  // namespace
