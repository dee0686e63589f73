// Test helper: the entries of a small fixture archive with their raw (still encrypted) data,
// found through the central directory and each entry's local header, plus raw inflate.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace test {

struct EncryptedEntry {
  std::string name;
  uint16_t flags = 0;
  uint16_t method = 0;  // the actual method: AES entries give it in their extra block
  uint32_t crc = 0;
  uint32_t dosDateTime = 0;
  int strength = 0;  // from the AES extra block (0x9901); 0 when there is none
  uint32_t size = 0;
  std::string data;  // the stored bytes: encryption header, encrypted data (and AES code)
};

inline uint32_t FixtureLe(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s.at(at + i));
  return v;
}

// Fails the test (and answers what it has) on anything it does not expect.
inline std::vector<EncryptedEntry> ReadEncryptedEntries(const std::string& zip) {
  std::vector<EncryptedEntry> entries;
  const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
  EXPECT_NE(end, std::string::npos);
  if (end == std::string::npos) return entries;
  const uint32_t count = FixtureLe(zip, end + 10, 2);
  size_t central = FixtureLe(zip, end + 16, 4);
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(zip.substr(central, 4), std::string("PK\x01\x02", 4));
    EncryptedEntry e;
    e.flags = static_cast<uint16_t>(FixtureLe(zip, central + 8, 2));
    e.method = static_cast<uint16_t>(FixtureLe(zip, central + 10, 2));
    e.dosDateTime = FixtureLe(zip, central + 12, 4);
    e.crc = FixtureLe(zip, central + 16, 4);
    const uint32_t compressed = FixtureLe(zip, central + 20, 4);
    e.size = FixtureLe(zip, central + 24, 4);
    const size_t nameLength = FixtureLe(zip, central + 28, 2);
    const size_t extraLength = FixtureLe(zip, central + 30, 2);
    const size_t commentLength = FixtureLe(zip, central + 32, 2);
    const size_t local = FixtureLe(zip, central + 42, 4);
    e.name = zip.substr(central + 46, nameLength);

    // Local header: signature, 30 fixed bytes, name, extra; the data follows.
    EXPECT_EQ(zip.substr(local, 4), std::string("PK\x03\x04", 4));
    const size_t localName = FixtureLe(zip, local + 26, 2);
    const size_t localExtra = FixtureLe(zip, local + 28, 2);
    const std::string extra = zip.substr(local + 30 + localName, localExtra);
    for (size_t at = 0; at + 4 <= extra.size();) {
      const uint32_t id = FixtureLe(extra, at, 2);
      const size_t size = FixtureLe(extra, at + 2, 2);
      if (id == 0x9901 && size >= 7) {
        e.strength = static_cast<uint8_t>(extra.at(at + 8));
        e.method = static_cast<uint16_t>(FixtureLe(extra, at + 9, 2));
      }
      at += 4 + size;
    }
    e.data = zip.substr(local + 30 + localName + localExtra, compressed);
    EXPECT_EQ(e.data.size(), compressed);
    entries.push_back(std::move(e));
    central += 46 + nameLength + extraLength + commentLength;
  }
  return entries;
}

// Raw deflate (no zlib header) to at most `size` bytes.
inline std::string InflateRaw(const std::string& in, size_t size) {
  std::string out(size, '\0');
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&z, Z_FINISH);
  EXPECT_EQ(status, Z_STREAM_END);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

// The entry's plain bytes from its decrypted data.
inline std::string Decode(const EncryptedEntry& e, const std::string& decrypted) {
  EXPECT_TRUE(e.method == 0 || e.method == 8) << e.name;
  return e.method == 8 ? InflateRaw(decrypted, e.size) : decrypted;
}

// A file of tests/fixtures/crypto/.
inline std::string CryptoFixturePath(const std::string& name) {
  return SourceFile("tests/fixtures/crypto/" + name);
}

// The entry `entryName` of the crypto fixture `archive`; fails the test when there is none.
inline EncryptedEntry CryptoFixtureEntry(const std::string& archive, const std::string& entryName) {
  for (EncryptedEntry& e : ReadEncryptedEntries(ReadFileBytes(CryptoFixturePath(archive)))) {
    if (e.name == entryName) return e;
  }
  ADD_FAILURE() << archive << ": no entry " << entryName;
  return {};
}

}  // namespace test
