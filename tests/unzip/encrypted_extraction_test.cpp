// Extraction of encrypted entries: the password loop, both ciphers on archives made by other
// tools, the retry after a failed verdict, OnDecrypt, and entries that cannot be decrypted.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_helpers.h"
#include "platform/files.h"
#include "support/sha256.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/unzipper.h"

namespace {

std::string Fixture(const std::string& name) {
  return test::SourceFile("tests/fixtures/crypto/" + name);
}

class EncryptedExtraction : public ::testing::Test {
 protected:
  EncryptedExtraction() {
    zipper.OverwriteMode = Always;
    zipper.DoAll = true;
    zipper.OnSkippingFile = [this](TUnZipper*, TSkipReason reason, const std::string& name, int,
                                   bool&) {
      skipped.push_back(name + ":" + std::to_string(static_cast<int>(reason)));
    };
    zipper.OnBadCRC = [this](TUnZipper*, uint32_t, uint32_t, int) { ++badCrcs; };
  }

  int Extract(const std::string& archive) {
    zipper.SetZipName(archive);
    zipper.SetDestDir(work.Path());
    return zipper.UnZip();
  }

  std::string Out(const std::string& name) const { return work.File(name); }

  test::TempDir work;
  TUnZipper zipper;
  std::vector<std::string> skipped;
  int badCrcs = 0;
};

TEST_F(EncryptedExtraction, TheRightPasswordOpensEveryCipherAndMethod) {
  const std::string plain = test::ReadFileBytes(Fixture("plain.txt"));
  struct Case {
    const char* archive;
    const char* password;
  };
  const Case cases[] = {{"aes128.zip", "Secret-128"},     {"aes192.zip", "Secret-192"},
                        {"aes256.zip", "Secret-256"},     {"aes256_stored.zip", "Secret-256"},
                        {"zipcrypto.zip", "Secret-zc"},   {"zipcrypto_stored.zip", "Secret-zc"},
                        {"zipcrypto_7z.zip", "Secret-zc"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    (void)platform::RemoveFile(Out("plain.txt"));
    zipper.Password = c.password;
    EXPECT_EQ(Extract(Fixture(c.archive)), 1);
    EXPECT_EQ(test::ReadFileBytes(Out("plain.txt")), plain);
  }
  EXPECT_TRUE(skipped.empty());
}

TEST_F(EncryptedExtraction, TwoEntryFixturesExtractByteForByte) {
  struct Case {
    const char* archive;
    const char* password;
    const char* names[2];
    const char* sha256[2];
  };
  const Case cases[] = {{"fx_aes256.zip",
                         "fixture-aes",
                         {"aes_blob.bin", "aes_notes.txt"},
                         {"14590e18d36b30e13737eb75d5e069762afde26c6db83c0394c3ab7abd471c65",
                          "36058e315394c5b2767b7005dfaaf96c6bf58fb22830f88bb52ddc0b31fd8e3f"}},
                        {"fx_zipcrypto.zip",
                         "fixture-pass",
                         {"secret_notes.txt", "secret_blob.bin"},
                         {"06a432d14227c219d6069523e64d85b2ed0906e1ac02ef6b1c2a872037da59a7",
                          "22d347d3bd7d7e07b40b45e4f11d923dc760bd165eea1f554ecba960a2b7f149"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    zipper.Password = c.password;
    EXPECT_EQ(Extract(Fixture(c.archive)), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(test::Sha256Hex(test::ReadFileBytes(Out(c.names[i]))), c.sha256[i]);
    }
  }
}

TEST_F(EncryptedExtraction, AWrongOrMissingPasswordSkipsTheEntryWithoutCreatingIt) {
  for (const char* password : {"", "wrong"}) {
    for (const char* archive : {"aes256.zip", "zipcrypto.zip"}) {
      SCOPED_TRACE(std::string(archive) + "/" + password);
      skipped.clear();
      zipper.Password = password;
      EXPECT_EQ(Extract(Fixture(archive)), 0);
      EXPECT_EQ(skipped, std::vector<std::string>{"plain.txt:0"});
      EXPECT_FALSE(platform::FileExists(Out("plain.txt")));
    }
  }
}

TEST_F(EncryptedExtraction, OnBadPasswordSuppliesPasswordsUntilOneFitsOrItGivesUp) {
  std::vector<std::string> offers = {"first-try", "Secret-256"};
  int asked = 0;
  zipper.OnBadPassword = [&](TUnZipper*, int, std::string& password) {
    password = offers[static_cast<size_t>(std::min(asked++, 1))];
  };
  EXPECT_EQ(Extract(Fixture("aes256.zip")), 1);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(zipper.Password, "Secret-256");

  // The password now held opens the next archive of the same password without a question.
  (void)platform::RemoveFile(Out("plain.txt"));
  EXPECT_EQ(Extract(Fixture("aes256_stored.zip")), 1);
  EXPECT_EQ(asked, 2);

  // A handler that hands back the same password ends the loop.
  zipper.Password = "nothing";
  zipper.OnBadPassword = [&](TUnZipper*, int, std::string&) { ++asked; };
  EXPECT_EQ(Extract(Fixture("zipcrypto.zip")), 0);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(skipped, std::vector<std::string>{"plain.txt:0"});
}

TEST_F(EncryptedExtraction, WithTagSetAWrongPasswordPassesTheHeaderAndFailsTheVerdict) {
  zipper.Tag = 1;
  zipper.Password = "wrong";
  std::vector<int> offered;
  zipper.OnBadPassword = [&](TUnZipper*, int index, std::string&) { offered.push_back(index); };
  EXPECT_EQ(Extract(Fixture("zipcrypto_stored.zip")), 0);
  EXPECT_EQ(offered, std::vector<int>{0});  // asked once more after decoding
  EXPECT_EQ(skipped, std::vector<std::string>{"plain.txt:0"});
  EXPECT_EQ(badCrcs, 0);
  EXPECT_FALSE(platform::FileExists(Out("plain.txt")));
}

TEST_F(EncryptedExtraction, OnDecryptReplacesTheCipherOfCompressedEntriesOnly) {
  int calls = 0;
  zipper.OnDecrypt = [&](TUnZipper*, uint8_t*, int, const std::string& password) {
    EXPECT_EQ(password, "Secret-256");
    ++calls;
  };
  zipper.Password = "Secret-256";
  EXPECT_EQ(Extract(Fixture("aes256_stored.zip")), 1);  // stored: the built-in cipher
  EXPECT_EQ(calls, 0);
  EXPECT_THROW(Extract(Fixture("aes256.zip")), EZCompressionError);  // still encrypted
  EXPECT_GT(calls, 0);
}

TEST_F(EncryptedExtraction, ATamperedAuthenticationCodeRejectsTheEntry) {
  std::string bytes = test::ReadFileBytes(Fixture("aes256_stored.zip"));
  // The code is the last 10 bytes of the entry's data, right before the central directory.
  const size_t central = bytes.find(std::string("PK\x01\x02", 4));
  ASSERT_NE(central, std::string::npos);
  bytes[central - 1] ^= 1;
  const std::string path = work.File("tampered.zip");
  test::WriteFileBytes(path, bytes);
  zipper.Password = "Secret-256";
  EXPECT_EQ(Extract(path), 0);
  EXPECT_EQ(skipped, std::vector<std::string>{"plain.txt:0"});
  EXPECT_FALSE(platform::FileExists(Out("plain.txt")));
}

TEST_F(EncryptedExtraction, EntriesThatCannotBeDecryptedAreGivenUp) {
  test::ZipEntry badStrength;
  badStrength.name = "strength5.bin";
  badStrength.data = std::string(40, 'x');
  badStrength.flags = 1;
  badStrength.method = 99;
  badStrength.centralExtra = test::AesExtra(5, 0);
  test::ZipEntry noAesBlock = badStrength;
  noAesBlock.name = "noblock.bin";
  noAesBlock.centralExtra.clear();
  test::ZipArchive archive;
  archive.entries = {badStrength, noAesBlock};
  const std::string path = work.File("undecryptable.zip");
  test::WriteFileBytes(path, test::BuildZip(archive));
  int asked = 0;
  zipper.OnBadPassword = [&](TUnZipper*, int, std::string& password) {
    if (++asked < 5) password += "x";
  };
  zipper.Password = "any";
  EXPECT_EQ(Extract(path), 0);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(skipped, (std::vector<std::string>{"strength5.bin:0", "noblock.bin:0"}));
}

// `bytes` with bit 0 of the flags cleared in the local and central headers of the entries named
// in `names`: AES entries that other writers mark only through their method and AES block.
std::string WithoutEncryptionFlag(std::string bytes, const std::vector<std::string>& names) {
  const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  EXPECT_NE(end, std::string::npos);
  auto le16 = [&bytes](size_t at) {
    return static_cast<size_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1])
                                                                     << 8);
  };
  auto le32 = [&](size_t at) { return le16(at) | le16(at + 2) << 16; };
  size_t at = le32(end + 16);
  for (size_t i = 0, count = le16(end + 10); i < count; ++i) {
    const std::string name = bytes.substr(at + 46, le16(at + 28));
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      bytes[at + 8] = static_cast<char>(bytes[at + 8] & ~1);
      bytes[le32(at + 42) + 6] = static_cast<char>(bytes[le32(at + 42) + 6] & ~1);
    }
    at += 46 + le16(at + 28) + le16(at + 30) + le16(at + 32);
  }
  return bytes;
}

TEST_F(EncryptedExtraction, AnAesEntryWithoutTheEncryptionFlagIsStillDecrypted) {
  const std::vector<std::vector<std::string>> cleared = {
      {"aes_blob.bin"}, {"aes_notes.txt"}, {"aes_blob.bin", "aes_notes.txt"}};
  for (const std::vector<std::string>& names : cleared) {
    SCOPED_TRACE(names.size() == 2 ? "both" : names[0]);
    const std::string path = work.File("unflagged.zip");
    test::WriteFileBytes(
        path, WithoutEncryptionFlag(test::ReadFileBytes(Fixture("fx_aes256.zip")), names));
    skipped.clear();
    badCrcs = 0;
    zipper.Password = "fixture-aes";
    EXPECT_EQ(Extract(path), 2);
    EXPECT_EQ(test::Sha256Hex(test::ReadFileBytes(Out("aes_blob.bin"))),
              "14590e18d36b30e13737eb75d5e069762afde26c6db83c0394c3ab7abd471c65");
    EXPECT_EQ(test::Sha256Hex(test::ReadFileBytes(Out("aes_notes.txt"))),
              "36058e315394c5b2767b7005dfaaf96c6bf58fb22830f88bb52ddc0b31fd8e3f");
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(badCrcs, 0);
  }
}

}  // namespace
