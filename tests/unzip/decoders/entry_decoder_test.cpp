// The decoding step of one entry on in-memory archives: blocks, the CRC, the overrun check,
// stored and deflated data, failures, parts, and the older methods through the dispatch.
#include "unzip/decoders/entry_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "support/memory_stream.h"
#include "support/raw_deflate.h"
#include "support/temp_dir.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/records/little_endian.h"

namespace {

using test::MemoryStream;

std::string Pseudorandom(size_t n) {
  std::mt19937 random(3);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random() % 16 + 'a');  // compressible, not trivially
  return s;
}

struct DecodeRun {
  explicit DecodeRun(const std::string& stored, uint16_t method, uint64_t uncompressedSize)
      : archive(stored) {
    job.Archive = &archive;
    job.CompressedSize = static_cast<int64_t>(stored.size());
    job.UncompressedSize = uncompressedSize;
    job.Output = &output;
    job.Method = method;
    job.OnBlockWritten = [this](int32_t n) { blocks.push_back(n); };
  }
  bool Decode() { return decoder.Decode(job); }
  uint32_t Crc() const { return ~decoder.RunningCrc(); }

  MemoryStream archive;
  MemoryStream output;
  TEntryJob job;
  TEntryDecoder decoder;
  std::vector<int32_t> blocks;
};

template <typename E>
void ExpectRaises(DecodeRun& run, const std::string& message) {
  try {
    run.Decode();
    ADD_FAILURE() << "nothing raised; expected " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(EntryDecoder, StoredDataIsCopiedWithItsCrc) {
  DecodeRun run("abc", 0, 3);
  ASSERT_TRUE(run.Decode());
  EXPECT_EQ(run.output.data, "abc");
  EXPECT_EQ(run.Crc(), 0x352441C2u);
  EXPECT_EQ(run.blocks, std::vector<int32_t>{3});
}

TEST(EntryDecoder, AnEmptyEntryWritesNothing) {
  DecodeRun run("", 0, 0);
  ASSERT_TRUE(run.Decode());
  EXPECT_EQ(run.output.writeCalls, 0);
  EXPECT_EQ(run.decoder.RunningCrc(), 0xFFFFFFFFu);
  EXPECT_TRUE(run.blocks.empty());
}

TEST(EntryDecoder, DeflatedDataIsWrittenInFullBlocks) {
  const std::string data = Pseudorandom(100000);
  DecodeRun run(test::RawDeflate(data), 8, data.size());
  ASSERT_TRUE(run.Decode());
  EXPECT_EQ(run.output.data, data);
  EXPECT_EQ(run.blocks, (std::vector<int32_t>{32768, 32768, 32768, 1696}));
  EXPECT_EQ(run.Crc(), static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                                   static_cast<uInt>(data.size()))));
  EXPECT_EQ(run.decoder.EntryBytesDone(), 100000);
}

TEST(EntryDecoder, BytesAfterTheDeflateStreamAreIgnored) {
  const std::string data = Pseudorandom(5000);
  DecodeRun run(test::RawDeflate(data) + "trailing junk", 8, data.size());
  ASSERT_TRUE(run.Decode());
  EXPECT_EQ(run.output.data, data);
}

TEST(EntryDecoder, MoreOutputThanDeclaredIsRefusedBeforeWriting) {
  DecodeRun run("0123456789", 0, 8);
  ExpectRaises<EBiggerThanUncompressed>(run, "File is larger than uncompressed size!");
  EXPECT_EQ(run.output.writeCalls, 0);
}

TEST(EntryDecoder, CorruptOrCutDeflateDataFailsWithoutLooping) {
  const std::string good = test::RawDeflate(Pseudorandom(70000));
  // The reason for a refused block is the backend's own; running out is worded the same by both.
  const struct {
    std::string stored;
    std::string message;  // empty: any reason after "error: "
  } cases[] = {
      {std::string("\x07garbage"), ""},  // final block of the reserved type
      {good.substr(0, good.size() / 2), "error: unexpected end of deflate data"},
      {std::string(), "error: unexpected end of deflate data"},
  };
  for (const auto& c : cases) {
    DecodeRun run(c.stored, 8, 70000);
    try {
      run.Decode();
      ADD_FAILURE() << "nothing raised for " << c.stored.size() << " bytes";
    } catch (const EZCompressionError& e) {
      if (c.message.empty()) {
        EXPECT_EQ(e.Message().rfind("error: ", 0), 0u) << e.Message();
        EXPECT_GT(e.Message().size(), 7u);
      } else {
        EXPECT_EQ(e.Message(), c.message);
      }
    }
  }
}

TEST(EntryDecoder, OneDecoderDecodesEntryAfterEntryAlsoAfterAFailure) {
  const std::string first = Pseudorandom(40000);
  const std::string second = Pseudorandom(3000);
  const std::string firstStored = test::RawDeflate(first);
  DecodeRun run(firstStored, 8, first.size());
  ASSERT_TRUE(run.Decode());
  EXPECT_EQ(run.output.data, first);

  MemoryStream cut(firstStored.substr(0, 100));
  MemoryStream cutOutput;
  run.job.Archive = &cut;
  run.job.CompressedSize = 100;
  run.job.Output = &cutOutput;
  EXPECT_THROW(run.Decode(), EZCompressionError);

  MemoryStream next(test::RawDeflate(second));
  MemoryStream nextOutput;
  run.job.Archive = &next;
  run.job.CompressedSize = static_cast<int64_t>(next.data.size());
  run.job.UncompressedSize = second.size();
  run.job.Output = &nextOutput;
  ASSERT_TRUE(run.Decode());
  EXPECT_EQ(nextOutput.data, second);
  EXPECT_EQ(~run.decoder.RunningCrc(),
            static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(second.data()),
                                        static_cast<uInt>(second.size()))));
}

TEST(EntryDecoder, AnArchiveThatEndsEarlyIsAFatalError) {
  for (uint16_t method : {0, 8}) {
    const std::string data = test::RawDeflate(Pseudorandom(1000));
    DecodeRun run(data, method, 5000);
    run.job.CompressedSize += 100;  // claims more than the archive holds
    ExpectRaises<EFatalUnzipError>(run, "Premature end of file reached");
  }
}

TEST(EntryDecoder, AShortWriteIsReported) {
  DecodeRun run(std::string(40000, 'x'), 0, 40000);
  run.output.acceptBytes = 1000;
  ExpectRaises<ECantWriteUCF>(run, "Cant write uncompressed file");
}

TEST(EntryDecoder, UnknownMethodsAreLeftToTheCaller) {
  DecodeRun run("data", 12, 4);
  EXPECT_FALSE(run.Decode());
  EXPECT_EQ(run.archive.readCalls, 0);
  EXPECT_EQ(run.output.writeCalls, 0);
}

TEST(EntryDecoder, DataContinuesInTheNextPart) {
  const std::string data = Pseudorandom(50000);
  for (uint16_t method : {0, 8}) {
    const std::string stored = method == 0 ? data : test::RawDeflate(data);
    MemoryStream second(stored.substr(stored.size() / 3));
    DecodeRun run(stored.substr(0, stored.size() / 3), method, data.size());
    run.job.CompressedSize = static_cast<int64_t>(stored.size());
    int parts = 0;
    run.job.NextPart = [&]() -> TStream* {
      ++parts;
      return &second;
    };
    ASSERT_TRUE(run.Decode());
    EXPECT_EQ(run.output.data, data);
    EXPECT_EQ(parts, 1);
  }
}

TEST(EntryDecoder, BlocksAreDecryptedWhereTheMethodSays) {
  auto flip = [](uint8_t* data, int32_t n) {
    for (int32_t i = 0; i < n; ++i) data[i] ^= 0x5A;
  };
  auto flipped = [](std::string s) {
    for (char& c : s) c = static_cast<char>(c ^ 0x5A);
    return s;
  };
  const std::string data = Pseudorandom(40000);
  DecodeRun stored(flipped(data), 0, data.size());
  stored.job.DecryptOutput = flip;
  ASSERT_TRUE(stored.Decode());
  EXPECT_EQ(stored.output.data, data);
  DecodeRun deflated(flipped(test::RawDeflate(data)), 8, data.size());
  deflated.job.DecryptInput = flip;
  ASSERT_TRUE(deflated.Decode());
  EXPECT_EQ(deflated.output.data, data);
}

TEST(EntryDecoder, OlderMethodsGoThroughTheDispatch) {
  struct Fixture {
    const char* file;
    uint16_t method;
  } fixtures[] = {{"fx_shrink.zip", 1},
                  {"fx_reduce1.zip", 2},
                  {"fx_reduce4.zip", 5},
                  {"fx_implode_4k_2trees.zip", 6},
                  {"fx_implode_8k_3trees.zip", 6}};
  for (const Fixture& f : fixtures) {
    SCOPED_TRACE(f.file);
    const std::string zip =
        test::ReadFileBytes(test::SourceFile(std::string("tests/fixtures/") + f.file));
    ASSERT_GT(zip.size(), 30u);
    const auto* header = reinterpret_cast<const uint8_t*>(zip.data());
    ASSERT_EQ(Le16(header + 8), f.method);
    const size_t start = 30 + Le16(header + 26) + Le16(header + 28);
    const uint32_t size = Le32(header + 18);
    DecodeRun run(zip.substr(start, size), f.method, Le32(header + 22));
    run.job.Flags = Le16(header + 6);
    ASSERT_TRUE(run.Decode());
    EXPECT_EQ(run.output.data.size(), Le32(header + 22));
    EXPECT_EQ(run.Crc(), Le32(header + 14));
  }
}

}  // namespace
