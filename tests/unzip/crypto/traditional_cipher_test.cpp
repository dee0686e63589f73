// Tests of the traditional cipher on archives made by Info-ZIP zip and 7-Zip: the header check
// with its check byte and Tag bypass, and decryption in blocks of any size.
#include "unzip/crypto/traditional_cipher.h"

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
  bool dataDescriptor;  // flag bit 3 as the archive has it
  const char* sha256;   // of the plain entry; empty: the entry is plain.txt
};

const Fixture kFixtures[] = {
    {"zipcrypto.zip", "Secret-zc", "plain.txt", true, ""},
    {"zipcrypto_stored.zip", "Secret-zc", "plain.txt", true, ""},
    {"zipcrypto_7z.zip", "Secret-zc", "plain.txt", false, ""},
    {"fx_zipcrypto.zip", "fixture-pass", "secret_notes.txt", true,
     "06a432d14227c219d6069523e64d85b2ed0906e1ac02ef6b1c2a872037da59a7"},
    {"fx_zipcrypto.zip", "fixture-pass", "secret_blob.bin", true,
     "22d347d3bd7d7e07b40b45e4f11d923dc760bd165eea1f554ecba960a2b7f149"},
};

// Fails for every fixture above (a wrong password passes the check byte 1 time in 256).
constexpr const char* kWrongPassword = "not-the-password";

test::EncryptedEntry Entry(const Fixture& f) {
  return test::CryptoFixtureEntry(f.archive, f.entry);
}

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

// Decrypts the data after the 12-byte header in pieces of `piece` bytes.
std::string DecryptData(TTraditionalCipher& cipher, const std::string& data, size_t piece) {
  std::string body = data.substr(TTraditionalCipher::kHeaderLength);
  for (size_t at = 0; at < body.size(); at += piece) {
    cipher.DecryptBlock(reinterpret_cast<uint8_t*>(body.data()) + at,
                        std::min(piece, body.size() - at));
  }
  return body;
}

TEST(TraditionalCipher, CheckByteComesFromTimeWithDataDescriptorElseFromCrc) {
  const struct {
    uint16_t flags;
    uint32_t dosDateTime;
    uint32_t crc;
    uint8_t expected;
  } cases[] = {
      {0x0001, 0x54CF528Fu, 0x8FA7E08Du, 0x8F},
      {0x0009, 0x54CF528Fu, 0x8FA7E08Du, 0x52},
      {0x0008, 0x0000AB00u, 0x00000000u, 0xAB},
      {0x0000, 0xFFFFFFFFu, 0x12000000u, 0x12},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TTraditionalCipher::CheckByte(c.flags, c.dosDateTime, c.crc), c.expected)
        << std::hex << c.flags;
  }
}

TEST(TraditionalCipher, RightPasswordDecryptsInBlocksOfAnySize) {
  const std::string original = test::ReadFileBytes(test::CryptoFixturePath("plain.txt"));
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(std::string(f.archive) + " " + f.entry);
    const test::EncryptedEntry e = Entry(f);
    ASSERT_EQ((e.flags & 0x0008) != 0, f.dataDescriptor);
    ASSERT_GE(e.data.size(), TTraditionalCipher::kHeaderLength);
    const uint8_t check = TTraditionalCipher::CheckByte(e.flags, e.dosDateTime, e.crc);
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{32768}}) {
      TTraditionalCipher cipher;
      ASSERT_TRUE(cipher.CheckHeader(f.password, Bytes(e.data), check, false));
      const std::string plain = test::Decode(e, DecryptData(cipher, e.data, piece));
      if (*f.sha256 == '\0') {
        EXPECT_EQ(plain, original) << "pieces of " << piece;
      } else {
        EXPECT_EQ(test::Sha256Hex(plain), f.sha256) << "pieces of " << piece;
      }
    }
  }
}

// With flag bit 3 the header was made before the CRC was known: only the time byte opens it.
TEST(TraditionalCipher, DataDescriptorEntryIsCheckedAgainstTheTime) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(std::string(f.archive) + " " + f.entry);
    const test::EncryptedEntry e = Entry(f);
    const uint8_t timeByte = static_cast<uint8_t>(e.dosDateTime >> 8);
    const uint8_t crcByte = static_cast<uint8_t>(e.crc >> 24);
    ASSERT_NE(timeByte, crcByte);
    TTraditionalCipher cipher;
    EXPECT_EQ(cipher.CheckHeader(f.password, Bytes(e.data), timeByte, false), f.dataDescriptor);
    EXPECT_EQ(cipher.CheckHeader(f.password, Bytes(e.data), crcByte, false), !f.dataDescriptor);
  }
}

TEST(TraditionalCipher, WrongAndEmptyPasswordsFail) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(std::string(f.archive) + " " + f.entry);
    const test::EncryptedEntry e = Entry(f);
    const uint8_t check = TTraditionalCipher::CheckByte(e.flags, e.dosDateTime, e.crc);
    TTraditionalCipher cipher;
    EXPECT_FALSE(cipher.CheckHeader(kWrongPassword, Bytes(e.data), check, false));
    EXPECT_FALSE(cipher.CheckHeader("", Bytes(e.data), check, false));
    // Only the exact bytes of the password open the entry.
    EXPECT_FALSE(cipher.CheckHeader(std::string(f.password) + " ", Bytes(e.data), check, false));
  }
}

// Tag set: any non-empty password passes the header check; the data then decrypts to other
// bytes. An empty password still fails.
TEST(TraditionalCipher, TagBypassAcceptsAnyNonEmptyPassword) {
  const Fixture& f = kFixtures[1];  // stored, so the wrong bytes can be compared directly
  const test::EncryptedEntry e = Entry(f);
  const uint8_t check = TTraditionalCipher::CheckByte(e.flags, e.dosDateTime, e.crc);
  TTraditionalCipher cipher;
  ASSERT_FALSE(cipher.CheckHeader(kWrongPassword, Bytes(e.data), check, false));
  ASSERT_TRUE(cipher.CheckHeader(kWrongPassword, Bytes(e.data), check, true));
  EXPECT_NE(DecryptData(cipher, e.data, 32768),
            test::ReadFileBytes(test::CryptoFixturePath("plain.txt")));
  EXPECT_FALSE(cipher.CheckHeader("", Bytes(e.data), check, true));
}

// A new header check starts from fresh keys: a failed check with a wrong password does not
// spoil the next one with the right password.
TEST(TraditionalCipher, EachCheckStartsFromFreshKeys) {
  const Fixture& f = kFixtures[1];
  const test::EncryptedEntry e = Entry(f);
  const uint8_t check = TTraditionalCipher::CheckByte(e.flags, e.dosDateTime, e.crc);
  TTraditionalCipher cipher;
  ASSERT_TRUE(cipher.CheckHeader(f.password, Bytes(e.data), check, false));
  DecryptData(cipher, e.data, 100);
  ASSERT_FALSE(cipher.CheckHeader(kWrongPassword, Bytes(e.data), check, false));
  ASSERT_TRUE(cipher.CheckHeader(f.password, Bytes(e.data), check, false));
  EXPECT_EQ(DecryptData(cipher, e.data, 32768),
            test::ReadFileBytes(test::CryptoFixturePath("plain.txt")));
}

}  // namespace
