// Tests of the shrunk, reduced and imploded decoders: the fixture archives byte for byte,
// hand-made streams for the corner cases of each method, round trips through test-only
// encoders, and hostile input (random, truncated, corrupt, claiming a huge size).
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <fstream>
#include <iterator>
#include <memory>
#include <memory_resource>
#include <random>
#include <string>
#include <vector>

#include "support/bit_writer.h"
#include "support/decoder_harness.h"
#include "support/older_methods_encoder.h"
#include "support/sha256.h"
#include "support/temp_dir.h"
#include "unzip/decoders/explode.h"
#include "unzip/decoders/shannon_fano.h"
#include "unzip/decoders/unreduce.h"
#include "unzip/decoders/unshrink.h"

namespace {

using test::DecoderHarness;

std::string ReadFixture(const std::string& name) {
  return test::ReadFileBytes(test::SourceFile("tests/fixtures/" + name));
}

uint32_t Le(const std::string& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
  return value;
}

// The single entry of a fixture archive, from its local header.
struct Entry {
  uint16_t flags;
  uint16_t method;
  uint32_t crc;
  uint32_t uncompressedSize;
  std::string data;  // the compressed stream
};

Entry FirstEntry(const std::string& archive) {
  EXPECT_EQ(Le(archive, 0, 4), 0x04034B50u);
  Entry entry{static_cast<uint16_t>(Le(archive, 6, 2)),
              static_cast<uint16_t>(Le(archive, 8, 2)),
              Le(archive, 14, 4),
              Le(archive, 22, 4),
              {}};
  const size_t start = 30 + Le(archive, 26, 2) + Le(archive, 28, 2);
  entry.data = archive.substr(start, Le(archive, 18, 4));
  return entry;
}

// Decodes with the decoder the method number names, in a memory allocated for this one run.
void Decode(DecoderHarness& io, uint16_t method, uint16_t flags, uint64_t size) {
  auto memory = std::make_unique<TOlderMethodsMemory>();
  if (method == 1) {
    Unshrink(io, *memory);
  } else if (method >= 2 && method <= 5) {
    Unreduce(io, *memory, method - 1, size);
  } else {
    ASSERT_EQ(method, 6);
    Explode(io, *memory, flags, size);
  }
}

std::string Decoded(const std::string& input, uint16_t method, uint16_t flags, uint64_t size) {
  DecoderHarness io(input);
  Decode(io, method, flags, size);
  EXPECT_EQ(io.Pending(), 0u) << "output left in the buffer";
  return io.Output();
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

struct Fixture {
  const char* file;
  uint16_t method;
  uint16_t flags;
  uint32_t size;
  const char* sha256;
};

constexpr Fixture kFixtures[] = {
    {"fx_shrink.zip", 1, 0, 12000,
     "db91431a933902eb7bcdc56f4a934c7012af95286dc51ee4b4e664c857fdb84f"},
    {"fx_reduce1.zip", 2, 0, 9000,
     "550fd7f75cbecca283c85abbf08bb5b3ea3a2e13e15ef7a39c1ffd617bbfd324"},
    {"fx_reduce4.zip", 5, 0, 9000,
     "3509982d8979a2df45d947c7f66145e03a2352c5577b60b3688474c11a48a899"},
    {"fx_implode_4k_2trees.zip", 6, 0, 15000,
     "b58578cbdd91f487154c9d5d4eaa2e0ffa95f96fb3e7e3f2678bed27c20b3539"},
    {"fx_implode_8k_3trees.zip", 6, 6, 15000,
     "7a88e2ff49891e3a78c19ba253dd4469ed7f786819c91bb12dfe724714dc9d0d"},
};

TEST(OlderMethodsTest, Sha256OfKnownTexts) {
  EXPECT_EQ(test::Sha256Hex(""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(test::Sha256Hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(OlderMethodsTest, FixturesDecodeByteForByte) {
  for (const Fixture& fixture : kFixtures) {
    SCOPED_TRACE(fixture.file);
    const Entry entry = FirstEntry(ReadFixture(fixture.file));
    ASSERT_EQ(entry.method, fixture.method);
    ASSERT_EQ(entry.flags, fixture.flags);
    ASSERT_EQ(entry.uncompressedSize, fixture.size);
    DecoderHarness io(entry.data);
    Decode(io, entry.method, entry.flags, entry.uncompressedSize);
    EXPECT_EQ(io.Pending(), 0u);
    EXPECT_EQ(io.writeOuts, 1u);  // all fixtures are smaller than one output block
    EXPECT_TRUE(io.messages.empty());
    EXPECT_EQ(io.Output().size(), fixture.size);
    EXPECT_EQ(Crc32(io.Output()), entry.crc);
    EXPECT_EQ(test::Sha256Hex(io.Output()), fixture.sha256);
  }
}

// Every prefix of a fixture's stream is a truncated entry: decoding must end by itself, without
// writing past the declared size by more than one copy, and without asking for input long after
// it ran out. Flipped bytes make corrupt entries that must end the same way.
TEST(OlderMethodsTest, TruncatedAndCorruptFixturesEndQuietly) {
  std::mt19937 random(7);
  for (const Fixture& fixture : kFixtures) {
    SCOPED_TRACE(fixture.file);
    const Entry entry = FirstEntry(ReadFixture(fixture.file));
    std::vector<std::string> inputs;
    for (size_t cut = 0; cut < entry.data.size(); cut += 1 + cut / 3) {
      inputs.push_back(entry.data.substr(0, cut));
    }
    for (int i = 0; i < 40; ++i) {
      std::string corrupt = entry.data;
      for (int flips = 1 + i % 4; flips > 0; --flips) {
        corrupt[random() % corrupt.size()] ^= static_cast<char>(1 + random() % 255);
      }
      inputs.push_back(corrupt);
    }
    for (const std::string& input : inputs) {
      DecoderHarness io(input);
      Decode(io, entry.method, entry.flags, entry.uncompressedSize);
      if (entry.method != 1) {
        EXPECT_LE(io.Output().size(), entry.uncompressedSize + 400u);
      }
      EXPECT_LE(io.readsPastEnd, 100u);
    }
  }
}

TEST(OlderMethodsTest, RandomBytesEndQuietly) {
  std::mt19937 random(11);
  for (int i = 0; i < 600; ++i) {
    std::string input(random() % 3000, '\0');
    for (char& c : input) c = static_cast<char>(random());
    const auto method = static_cast<uint16_t>(1 + i % 6);
    const auto flags = static_cast<uint16_t>(random() & 6);
    const uint64_t size = random() % 200000;
    DecoderHarness io(input);
    Decode(io, method, flags, size);
    if (method != 1) {
      EXPECT_LE(io.Output().size(), size + 400);
    }
    EXPECT_LE(io.readsPastEnd, 100u);
  }
}

// A few bytes that declare 4 GB: decoding stops once the input is used up instead of writing
// zeros up to the declared size.
TEST(OlderMethodsTest, HugeDeclaredSizeWithTinyInputEndsAtOnce) {
  const std::string inputs[] = {std::string(5, '\0'), "\x12\x34\x56\x78\x9a",
                                std::string(5, '\xff')};
  for (const std::string& input : inputs) {
    for (uint16_t method = 2; method <= 6; ++method) {
      for (uint16_t flags : {0, 2, 4, 6}) {
        DecoderHarness io(input);
        Decode(io, method, flags, 0xFFFFFFFFu);
        EXPECT_LE(io.Output().size(), 4000u);
        EXPECT_LE(io.readsPastEnd, 100u);
      }
    }
  }
  // Also after valid data: a reduced stream of literals only, cut short.
  test::ReduceWriter writer(1);
  for (char c : std::string("hello")) writer.Literal(static_cast<uint8_t>(c));
  EXPECT_EQ(Decoded(writer.Bytes(), 2, 0, 0xFFFFFFFFu).substr(0, 5), "hello");
}

// ---- Shrink ----

TEST(UnshrinkTest, HandMadeStreams) {
  using test::ShrinkWriter;
  struct Case {
    const char* name;
    ShrinkWriter stream;
    std::string expected;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, std::string expected, auto build) {
    ShrinkWriter w;
    build(w);
    cases.push_back({name, w, std::move(expected)});
  };
  add("empty", "", [](ShrinkWriter&) {});
  add("literals", "ab", [](ShrinkWriter& w) {
    w.Code('a');
    w.Code('b');
  });
  // Code 257 arrives while it is being defined: the old string plus its own first byte.
  add("code defined by its own step", "aaa", [](ShrinkWriter& w) {
    w.Code('a');
    w.Code(257);
  });
  add("code size grows", "abab", [](ShrinkWriter& w) {
    w.Code('a');
    w.GrowCodeSize();
    w.Code('b');
    w.Code(257);
  });
  // 257 = "ab", 258 = "ba", 259 = "abc"; clearing frees the leaves 258 and 259 and keeps 257,
  // the prefix of 259. The next codes are defined at 258 ("ca") and 259 ("abc") again.
  add("partial clearing", "ababcabcaabc", [](ShrinkWriter& w) {
    w.Code('a');
    w.Code('b');
    w.Code(257);
    w.Code('c');
    w.PartialClear();
    w.Code(257);
    w.Code(258);
    w.Code(259);
  });
  add("control pairs in a row", "abab", [](ShrinkWriter& w) {
    w.Code('a');
    w.PartialClear();
    w.GrowCodeSize();
    w.PartialClear();
    w.Code('b');
    w.Code(257);
  });
  // Four growths reach 13 bits; a fifth is corrupt and ends the decoding.
  add("code size beyond 13 bits", "ab", [](ShrinkWriter& w) {
    w.Code('a');
    for (int i = 0; i < 4; ++i) w.GrowCodeSize();
    w.Code('b');
    w.GrowCodeSize();
    w.Code('c');
    w.Code('d');
  });
  // The clearing frees 257 and 258 while 257 is the old code; the next step defines 257 with
  // itself as its prefix, a chain without end that must stop decoding.
  add("freed old code", "ababc", [](ShrinkWriter& w) {
    w.Code('a');
    w.Code('b');
    w.Code(257);
    w.PartialClear();
    w.Code('c');
    w.Code(257);
    w.Code('d');
  });
  // A free code far from the next one stands for the old string plus its first byte too.
  add("free code beyond the next one", "abbb", [](ShrinkWriter& w) {
    w.Code('a');
    w.Code('b');
    w.Code(400);
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decoded(c.stream.Bytes(), 1, 0, 0), c.expected);
  }
}

TEST(UnshrinkTest, RoundTripFillsTheTableAndGrowsToThirteenBits) {
  const std::string data = test::SampleData(300000, 1);
  DecoderHarness io(test::ShrinkData(data));
  Decode(io, 1, 0, data.size());
  EXPECT_TRUE(io.Output() == data);
  EXPECT_EQ(io.writeOuts, (data.size() + 32767) / 32768);
}

// ---- Reduce ----

TEST(UnreduceTest, EscapeByteFollowedByZeroIsTheEscapeByteItself) {
  for (int factor = 1; factor <= 4; ++factor) {
    SCOPED_TRACE(factor);
    test::BitWriter w;
    for (int value = 0; value < 256; ++value) w.Bits(0, 6);  // no follower sets
    w.Bits(144, 8);
    w.Bits(0, 8);
    w.Bits('A', 8);
    EXPECT_EQ(Decoded(w.Bytes(), static_cast<uint16_t>(factor + 1), 0, 2),
              "\x90"
              "A");
    EXPECT_EQ(Decoded(w.Bytes(), static_cast<uint16_t>(factor + 1), 0, 1), "\x90");
  }
}

TEST(UnreduceTest, FollowerSets) {
  // Sets for 'x' = {y, z}, 'd' = {x} and 0 (the byte before the first) = {a, b, c}.
  test::BitWriter w;
  for (int value = 255; value >= 0; --value) {
    const std::string set = value == 'x' ? "yz" : value == 'd' ? "x" : value == 0 ? "abc" : "";
    w.Bits(static_cast<uint32_t>(set.size()), 6);
    for (char c : set) w.Bits(static_cast<uint8_t>(c), 8);
  }
  w.Bits(0, 1);  // from the set of 0: index 2 in two bits
  w.Bits(2, 2);
  w.Bits('d', 8);  // the set of 'c' is empty: eight bits, no flag
  w.Bits(0, 1);    // from the set of 'd': index 0 in one bit
  w.Bits(0, 1);
  w.Bits(1, 1);  // not from the set of 'x': eight bits follow
  w.Bits('q', 8);
  for (uint16_t method = 2; method <= 5; ++method)
    EXPECT_EQ(Decoded(w.Bytes(), method, 0, 4), "cdxq");
}

TEST(UnreduceTest, HandMadeStreams) {
  using test::ReduceWriter;
  struct Case {
    std::string name;
    int factor;
    std::string stream;
    std::string expected;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, int factor, std::string expected, auto build) {
    ReduceWriter w(factor);
    build(w);
    cases.push_back({name, factor, w.Bytes(), std::move(expected)});
  };
  for (int factor = 1; factor <= 4; ++factor) {
    const size_t longest = ReduceWriter(factor).MaxLength();
    const size_t farthest = ReduceWriter(factor).MaxDistance();
    // Before the window has been filled once, the bytes before the data start read as zeros;
    // the copy overlaps its own output.
    add("copy from before the start", factor, std::string("x\0\0x\0", 5), [](ReduceWriter& w) {
      w.Literal('x');
      w.Match(3, 4);
    });
    add("farthest copy from before the start", factor, std::string("y\0\0\0\0\0", 6),
        [&](ReduceWriter& w) {
          w.Literal('y');
          w.Match(farthest, 5);
        });
    add("longest copy, by overlap", factor, "ab" + std::string(longest, 'b'), [&](ReduceWriter& w) {
      w.Literal('a');
      w.Literal('b');
      w.Match(1, longest);
    });
    add("escape byte in copies", factor, "\x90q\x90q\x90q", [](ReduceWriter& w) {
      w.Literal(0x90);
      w.Literal('q');
      w.Match(2, 4);
    });
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + ", factor " + std::to_string(c.factor));
    EXPECT_EQ(Decoded(c.stream, static_cast<uint16_t>(c.factor + 1), 0, c.expected.size()),
              c.expected);
  }
}

// 100000 bytes wrap the 16384-byte window several times, with copies across the wrap.
TEST(UnreduceTest, RoundTripThroughTheWindow) {
  const std::string data = test::SampleData(100000, 2);
  for (int factor = 1; factor <= 4; ++factor) {
    SCOPED_TRACE(factor);
    DecoderHarness io(test::ReduceData(data, factor));
    Decode(io, static_cast<uint16_t>(factor + 1), 0, data.size());
    EXPECT_TRUE(io.Output() == data);
    EXPECT_EQ(io.writeOuts, 4u);  // 32768, 32768, 32768, 1696
  }
}

// ---- Implode ----

std::string Bits(uint16_t code, int length) {
  std::string text;
  for (int i = length - 1; i >= 0; --i) text += (code >> i & 1) != 0 ? '1' : '0';
  return text;
}

TEST(ExplodeTest, CodesFromLengths) {
  // Lengths of the stored tree 02 42 01 13, codes with the first bit rightmost.
  const std::vector<uint8_t> lengths = {3, 3, 3, 3, 3, 2, 4, 4};
  std::vector<uint16_t> codes(lengths.size());
  ASSERT_TRUE(MakeShannonFanoCodes(lengths, codes));
  const char* expected[] = {"101", "001", "110", "010", "100", "11", "1000", "0000"};
  for (size_t v = 0; v < lengths.size(); ++v) EXPECT_EQ(Bits(codes[v], lengths[v]), expected[v]);
  // The same codes are the canonical ones (shortest first, first bit leftmost) inverted.
  const char* canonical[] = {"010", "011", "100", "101", "110", "00", "1110", "1111"};
  for (size_t v = 0; v < lengths.size(); ++v) {
    std::string inverted;
    for (char bit : std::string(canonical[v]))
      inverted.insert(inverted.begin(), bit == '0' ? '1' : '0');
    EXPECT_EQ(Bits(codes[v], lengths[v]), inverted);
  }

  struct Case {
    std::vector<uint8_t> lengths;
    bool complete;
  };
  const Case cases[] = {
      {{1, 1}, true},     {{1, 2, 2}, true},
      {{1, 1, 1}, false}, {{2, 2, 2}, false},
      {{1, 2, 0}, false}, {{1, 17, 17}, false},
      {{16}, false},      {std::vector<uint8_t>(65536 / 256, 8), true},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> out(c.lengths.size());
    EXPECT_EQ(MakeShannonFanoCodes(c.lengths, out), c.complete)
        << ::testing::PrintToString(c.lengths);
  }
}

// Every value of flat and skewed code sets, through tables of every look-up width.
TEST(ExplodeTest, TablesDecodeEveryCode) {
  for (const auto& lengths : {test::FlatLengths(64), test::SkewedLengths(64),
                              test::FlatLengths(256), test::SkewedLengths(256)}) {
    std::vector<uint16_t> codes(lengths.size());
    ASSERT_TRUE(MakeShannonFanoCodes(lengths, codes));
    test::BitWriter w;
    for (size_t v = 0; v < lengths.size(); ++v) {
      w.Bits(codes[v], lengths[v]);
    }
    for (int rootBits = 1; rootBits <= 9; ++rootBits) {
      SCOPED_TRACE(rootBits);
      TShannonFanoTable table(std::pmr::get_default_resource());
      ASSERT_TRUE(table.Build(lengths, rootBits));
      DecoderHarness io(w.Bytes());
      TBitReader reader(io);
      for (size_t v = 0; v < lengths.size(); ++v)
        ASSERT_EQ(table.Decode(reader), static_cast<int>(v));
      EXPECT_EQ(reader.MissingBits(), 0u);
    }
  }
}

// A stored tree that does not fill its values exactly, or whose lengths are no complete code,
// ends decoding with no output, in whichever tree it stands.
TEST(ExplodeTest, BadTreesStopDecoding) {
  using test::ImplodeWriter;
  const std::string flat64 = ImplodeWriter::TreeBytes(test::FlatLengths(64));
  const std::string flat256 = ImplodeWriter::TreeBytes(test::FlatLengths(256));
  const std::string badTrees[] = {
      std::string("\x02\xF5\xF5\xF5"),          // 48 of 64 values
      std::string("\x04\xF5\xF5\xF5\xF5\x05"),  // 65 of 64 values
      std::string("\x03\xF6\xF6\xF6\xF6"),      // 64 codes of 7 bits leave half unused
      std::string("\x03\xF4\xF4\xF4\xF4"),      // 64 codes of 5 bits do not fit
      std::string("\x00\xF0", 2),               // 16 of 64 values, one bit each
  };
  for (const std::string& bad : badTrees) {
    // Behind the trees: a few literal bits that a decoder taking the bad tree would output.
    const std::string data(40, '\x55');
    EXPECT_EQ(Decoded(bad + flat64 + data, 6, 0, 10), "");
    EXPECT_EQ(Decoded(flat64 + bad + data, 6, 2, 10), "");
    EXPECT_EQ(Decoded(flat256 + flat64 + bad + data, 6, 4, 10), "");
    EXPECT_EQ(Decoded(flat256 + bad + flat64 + data, 6, 6, 10), "");
  }
  EXPECT_EQ(Decoded("\x0F" + std::string(16, '\xF6') + flat64 + flat64 + std::string(40, '\x55'), 6,
                    4, 10),
            "");
}

struct TreeSet {
  const char* name;
  std::vector<uint8_t> literals, lengths, distances;
};

std::vector<TreeSet> TreeSets() {
  return {{"flat", test::FlatLengths(256), test::FlatLengths(64), test::FlatLengths(64)},
          {"skewed", test::SkewedLengths(256), test::SkewedLengths(64), test::SkewedLengths(64)}};
}

TEST(ExplodeTest, HandMadeStreams) {
  using test::ImplodeWriter;
  for (const TreeSet& trees : TreeSets()) {
    for (uint16_t flags : {0, 2, 4, 6}) {
      SCOPED_TRACE(std::string(trees.name) + " trees, flags " + std::to_string(flags));
      auto writer = [&]() {
        return ImplodeWriter(flags, trees.literals, trees.lengths, trees.distances);
      };
      auto check = [&](const ImplodeWriter& w, const std::string& expected) {
        EXPECT_EQ(Decoded(w.Bytes(), 6, flags, expected.size()), expected);
      };
      const size_t minMatch = writer().MinMatch();
      // Length code 62 is the last without an extra byte; 63 adds the byte that follows.
      for (size_t extra : {62, 63, 64, 63 + 255}) {
        ImplodeWriter w = writer();
        for (char c : std::string("abc")) w.Literal(static_cast<uint8_t>(c));
        w.Match(3, minMatch + extra);
        std::string expected;
        while (expected.size() < 3 + minMatch + extra) expected += "abc";
        expected.resize(3 + minMatch + extra);
        SCOPED_TRACE(extra);
        check(w, expected);
      }
      ImplodeWriter beforeStart = writer();
      beforeStart.Literal('x');
      beforeStart.Match(3, 4);
      check(beforeStart, std::string("x\0\0x\0", 5));
      ImplodeWriter farthest = writer();
      farthest.Literal('y');
      farthest.Match(farthest.MaxDistance(), 5);
      check(farthest, std::string("y\0\0\0\0\0", 6));
      ImplodeWriter literals = writer();
      for (int b = 255; b >= 0; --b) literals.Literal(static_cast<uint8_t>(b));
      std::string all;
      for (int b = 255; b >= 0; --b) all += static_cast<char>(b);
      check(literals, all);
    }
  }
}

// 100000 bytes wrap the 32768-byte window, with copies across the wrap.
TEST(ExplodeTest, RoundTripThroughTheWindow) {
  const std::string data = test::SampleData(100000, 3);
  for (const TreeSet& trees : TreeSets()) {
    for (uint16_t flags : {0, 2, 4, 6}) {
      SCOPED_TRACE(std::string(trees.name) + " trees, flags " + std::to_string(flags));
      DecoderHarness io(
          test::ImplodeData(data, flags, trees.literals, trees.lengths, trees.distances));
      Decode(io, 6, flags, data.size());
      EXPECT_TRUE(io.Output() == data);
      EXPECT_EQ(io.writeOuts, 4u);  // 32768, 32768, 32768, 1696
    }
  }
}

TEST(ExplodeTest, NoMemoryForTablesIsReportedAndStopsDecoding) {
  const Entry entry = FirstEntry(ReadFixture("fx_implode_8k_3trees.zip"));
  DecoderHarness io(entry.data);
  TOlderMethodsMemory memory;
  Explode(io, memory, entry.flags, entry.uncompressedSize, std::pmr::null_memory_resource());
  ASSERT_EQ(io.messages.size(), 1u);
  EXPECT_EQ(io.messages[0].id, 193);
  EXPECT_EQ(io.messages[0].msg1, "*** inflate out of memory ***");
  EXPECT_EQ(io.messages[0].msg2, "Error");
  EXPECT_EQ(io.messages[0].flags, 0u);
  EXPECT_EQ(io.Output(), "");
  EXPECT_EQ(io.Pending(), 0u);
}

// ---- Bit reader ----

TEST(BitReaderTest, BitsPastTheEndAreZerosAndCounted) {
  DecoderHarness io("\xA5\x0F");
  TBitReader reader(io);
  EXPECT_EQ(reader.ReadBits(4), 0x5u);
  EXPECT_EQ(reader.ReadBits(8), 0xFAu);
  EXPECT_FALSE(reader.InputExhausted);
  EXPECT_EQ(reader.ReadBits(3), 0x0u);
  EXPECT_EQ(reader.MissingBits(), 0u);
  EXPECT_EQ(reader.ReadBits(4), 0x0u);  // one real bit, three missing
  EXPECT_TRUE(reader.InputExhausted);
  EXPECT_EQ(reader.MissingBits(), 3u);
  EXPECT_EQ(reader.PeekBits(16), 0u);
  reader.DropBits(16);
  EXPECT_EQ(reader.MissingBits(), 19u);
}

}  // namespace
