// Tests of the platform's crypto services against the standards' published vectors: AES
// single blocks, HMAC-SHA-1 and PBKDF2-HMAC-SHA-1. The same cases run on both implementations.
#include "platform/crypto.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Hex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
  return v;
}

// ---- AES ------------------------------------------------------------------------------------

struct AesCase {
  size_t keyLength;
  const char* cipherText;
};

// The example vectors for the three key sizes: key 00 01 02 ..., plain text 00 11 22 ... ff.
const AesCase kAesCases[] = {
    {16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {32, "8ea2b7ca516745bfeafc49904b496089"},
};

TEST(AesEncryptor, PublishedSingleBlocks) {
  const std::vector<uint8_t> plain = Hex("00112233445566778899aabbccddeeff");
  for (const AesCase& c : kAesCases) {
    platform::AesEncryptor aes;
    const std::vector<uint8_t> key = Counting(c.keyLength);
    ASSERT_TRUE(aes.SetKey(key.data(), key.size())) << c.keyLength;
    EXPECT_TRUE(aes.HasKey());
    std::vector<uint8_t> out(16);
    aes.EncryptBlocks(plain.data(), out.data(), 1);
    EXPECT_EQ(out, Hex(c.cipherText)) << c.keyLength;
  }
}

// Many blocks in one call, in place, are each encrypted alone (no chaining), and a new key
// replaces the old one.
TEST(AesEncryptor, BlocksAreIndependentAndInPlaceWorks) {
  const std::vector<uint8_t> plain = Hex("00112233445566778899aabbccddeeff");
  platform::AesEncryptor aes;
  const std::vector<uint8_t> wrongKey(32, 0x5A);
  ASSERT_TRUE(aes.SetKey(wrongKey.data(), wrongKey.size()));
  const std::vector<uint8_t> key = Counting(32);
  ASSERT_TRUE(aes.SetKey(key.data(), key.size()));
  std::vector<uint8_t> buffer;
  for (int i = 0; i < 100; ++i) buffer.insert(buffer.end(), plain.begin(), plain.end());
  aes.EncryptBlocks(buffer.data(), buffer.data(), 100);
  const std::vector<uint8_t> expected = Hex(kAesCases[2].cipherText);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(std::vector<uint8_t>(buffer.begin() + 16 * i, buffer.begin() + 16 * i + 16), expected)
        << "block " << i;
  }
}

TEST(AesEncryptor, RefusesOtherKeyLengths) {
  const std::vector<uint8_t> key = Counting(64);
  for (const size_t length : {0, 1, 15, 17, 20, 31, 33, 64}) {
    platform::AesEncryptor aes;
    EXPECT_FALSE(aes.SetKey(key.data(), length)) << length;
    EXPECT_FALSE(aes.HasKey()) << length;
  }
}

// ---- HMAC-SHA-1 -----------------------------------------------------------------------------

struct HmacCase {
  std::vector<uint8_t> key;
  std::vector<uint8_t> data;
  const char* digest;
};

std::vector<HmacCase> HmacCases() {
  return {
      // The published HMAC-SHA-1 test cases 1 to 7 (case 5 with its full 20-byte code).
      {std::vector<uint8_t>(20, 0x0b), Bytes("Hi There"),
       "b617318655057264e28bc0b6fb378c8ef146be00"},
      {Bytes("Jefe"), Bytes("what do ya want for nothing?"),
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
       "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {Hex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::vector<uint8_t>(50, 0xcd),
       "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {std::vector<uint8_t>(20, 0x0c), Bytes("Test With Truncation"),
       "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {std::vector<uint8_t>(80, 0xaa),
       Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {std::vector<uint8_t>(80, 0xaa),
       Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
      // Empty key and message.
      {{}, {}, "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d"},
  };
}

// Each case fed whole, then byte by byte into the same object after Final.
TEST(HmacSha1, PublishedVectorsWholeAndPiecewise) {
  platform::HmacSha1 hmac;
  for (const HmacCase& c : HmacCases()) {
    uint8_t out[platform::HmacSha1::kDigestLength];
    ASSERT_TRUE(hmac.Init(c.key.data(), c.key.size()));
    hmac.Update(c.data.data(), c.data.size());
    hmac.Final(out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 20), Hex(c.digest)) << c.digest;

    ASSERT_TRUE(hmac.Init(c.key.data(), c.key.size()));
    for (const uint8_t b : c.data) hmac.Update(&b, 1);
    hmac.Final(out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 20), Hex(c.digest)) << c.digest << " piecewise";
  }
}

// ---- PBKDF2-HMAC-SHA-1 ----------------------------------------------------------------------

TEST(Pbkdf2HmacSha1, PublishedVectors) {
  const struct {
    std::string password;
    std::string salt;
    uint32_t iterations;
    const char* derived;
  } cases[] = {
      {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
      {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096,
       "56fa6aa75548099dcc37d7f03425e0c3"},
      // Computed independently: an empty password, an empty salt, a password longer than a
      // SHA-1 block (hashed first), and an AES-256 entry's keys and verifier (66 bytes).
      {"", "salt", 1, "a33dddc30478185515311f8752895d36ea4363a2"},
      {"pw", "", 2, "90e4fbe1d09f5f18a68f2bb8a9f302983e881bfc"},
      {std::string(65, 'x') + "long password", "salt", 3,
       "eeaad12dd412532a4cf2fe6c1d92e9bd463d4e0b3a856e47b1"},
      {"SECRET",
       std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16), 1000,
       "d95adc1e28e866e739d599433ce357516519c07c5dc2db9235623d7c39bca03cf8a333a1ff19235362e2aee14e"
       "49d84862a64addf959c2ec03fd4eb838d377874db4"},
      // Five SHA-1 blocks and a part of one more: output blocks are made several at a time.
      {"SECRET",
       std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10", 16), 1000,
       "d024290d7d08be93334bfdf8e6697c470a6597bd244082e3098fcf9d107fb7c0f2e9b2f1428b9348f1ccf58bde"
       "320cce4e5c3c06afa8db9c83c967e09a0fb8f6c546ec2e80b0d1b3d5726a15e8bda9c6f38cf618e5d346f0c32f"
       "6281e8ce369f1f792c3a"},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> expected = Hex(c.derived);
    std::vector<uint8_t> out(expected.size());
    ASSERT_TRUE(platform::Pbkdf2HmacSha1(reinterpret_cast<const uint8_t*>(c.password.data()),
                                         c.password.size(),
                                         reinterpret_cast<const uint8_t*>(c.salt.data()),
                                         c.salt.size(), c.iterations, out.data(), out.size()))
        << c.derived;
    EXPECT_EQ(out, expected) << c.derived;
  }
}

TEST(Pbkdf2HmacSha1, RefusesNoIterationsAndNoOutput) {
  const uint8_t password[] = {'p'};
  uint8_t out[20];
  EXPECT_FALSE(platform::Pbkdf2HmacSha1(password, 1, password, 1, 0, out, sizeof out));
  EXPECT_FALSE(platform::Pbkdf2HmacSha1(password, 1, password, 1, 1, out, 0));
}

}  // namespace
