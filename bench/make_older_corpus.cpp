// Writes the archive of bench/older_methods.sh: shrunk and imploded entries (all four implode
// variants) of generated text-like and binary-like data, each checked by decoding it back with
// the component's decoders before it is written. Usage: make_older_corpus OUT.zip [MEGABYTES]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "support/older_methods_encoder.h"
#include "unzip/base/crc32.h"
#include "unzip/decoders/decoder_io.h"
#include "unzip/decoders/explode.h"
#include "unzip/decoders/older_methods_memory.h"
#include "unzip/decoders/unshrink.h"

namespace {

constexpr size_t kMB = 1 << 20;
constexpr uint16_t kDosTime = 12 << 11;                         // 12:00:00
constexpr uint16_t kDosDate = (2024 - 1980) << 9 | 3 << 5 | 1;  // 2024-03-01

// A fixed-seed generator, the same on every platform.
class TRandom {
 public:
  explicit TRandom(uint64_t seed) : FState(seed) {}
  uint64_t Next() {
    uint64_t z = (FState += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }

 private:
  uint64_t FState;
};

// Text of configuration, markup and prose-like lines over a vocabulary where a few words
// dominate; and machine-code-like bytes skewed towards a few values with repeated runs.
class TContent {
 public:
  explicit TContent(uint64_t seed) : FRandom(seed) {
    const char* syllables[] = {"ka", "lo",  "re", "sin", "ta", "mu",  "ve",  "dor", "pi",
                               "an", "el",  "qu", "ist", "on", "ber", "gra", "fe",  "ux",
                               "ol", "tri", "ma", "ne",  "co", "pla", "st"};
    double total = 0;
    for (int i = 0; i < 3000; ++i) {
      std::string word;
      for (size_t n = 1 + FRandom.Below(4); n > 0; --n) word += syllables[FRandom.Below(25)];
      FWords.push_back(word);
      total += 1.0 / (i + 1);
      FCumulative.push_back(total);
    }
    for (auto& c : FCumulative) c /= total;
    for (int i = 0; i < 1024; ++i) FBlocks.push_back(Skewed(128));
  }

  std::vector<uint8_t> Text(size_t size) {
    static const char* const kShapes[][2] = {{"", "\n"},          {"  ", "\n"},
                                             {"    \"", "\",\n"}, {"<item>", "</item>\n"},
                                             {"", ";\n"},         {"# ", "\n"}};
    std::string out;
    while (out.size() < size) {
      const auto& shape = kShapes[FRandom.Below(6)];
      out += shape[0];
      for (size_t n = 2 + FRandom.Below(11); n > 0; --n) {
        out += Word();
        out += n > 1 ? " " : "";
      }
      if (FRandom.Below(10) < 3) out += " " + std::to_string(FRandom.Below(100000));
      out += shape[1];
    }
    return std::vector<uint8_t>(out.begin(), out.begin() + static_cast<ptrdiff_t>(size));
  }

  std::vector<uint8_t> Binary(size_t size) {
    std::vector<uint8_t> out;
    while (out.size() < size) {
      const std::vector<uint8_t> fresh = Skewed(128);
      const std::vector<uint8_t>& block =
          FRandom.Below(2) == 0 ? FBlocks[FRandom.Below(1024)] : fresh;
      out.insert(out.end(), block.begin(), block.end());
    }
    out.resize(size);
    return out;
  }

 private:
  const std::string& Word() {
    const double x = static_cast<double>(FRandom.Next() >> 11) / static_cast<double>(1ull << 53);
    size_t lo = 0;
    size_t hi = FCumulative.size() - 1;
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (FCumulative[mid] < x)
        lo = mid + 1;
      else
        hi = mid;
    }
    return FWords[lo];
  }

  std::vector<uint8_t> Skewed(size_t n) {
    static const uint8_t kCommon[] = {0x00, 0xFF, 0x48, 0x8B, 0x89, 0x0F,
                                      0xE8, 0x24, 0x01, 0x45, 0xC3, 0x10};
    std::vector<uint8_t> out(n);
    for (uint8_t& b : out) {
      const auto r = static_cast<uint8_t>(FRandom.Next());
      b = r < 160 ? kCommon[r % 12] : r;
    }
    return out;
  }

  TRandom FRandom;
  std::vector<std::string> FWords;
  std::vector<double> FCumulative;
  std::vector<std::vector<uint8_t>> FBlocks;
};

// The component's side of a decoder, in memory: output through a 32768-byte buffer.
class TMemoryIO : public TDecoderIO {
 public:
  explicit TMemoryIO(const std::vector<uint8_t>& input) : FInput(input) {}
  size_t ReadInput(const uint8_t*& data) override {
    if (FPos == FInput.size()) return 0;
    data = FInput.data() + FPos;
    const size_t n = FInput.size() - FPos;
    FPos = FInput.size();
    return n;
  }
  void PutOutput(const uint8_t* data, size_t n) override {
    FPending.insert(FPending.end(), data, data + n);
    if (FPending.size() >= 32768) FlushOutput();
  }
  void FlushOutput() override {
    Output.insert(Output.end(), FPending.begin(), FPending.end());
    FPending.clear();
  }
  int HandleMessage(int, const std::string&, const std::string&, uint32_t) override { return 0; }

  std::vector<uint8_t> Output;

 private:
  const std::vector<uint8_t>& FInput;
  size_t FPos = 0;
  std::vector<uint8_t> FPending;
};

struct TEntry {
  std::string Name;
  uint16_t Method;
  uint16_t Flags;
  uint32_t Crc;
  uint32_t CompressedSize;
  uint32_t UncompressedSize;
  uint32_t Offset;
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// The fields that local and central headers share, from "version needed" to the extra length.
void PutCommon(std::vector<uint8_t>& out, const TEntry& e) {
  Put16(out, 10);  // version 1.0 is enough for both methods
  Put16(out, e.Flags);
  Put16(out, e.Method);
  Put16(out, kDosTime);
  Put16(out, kDosDate);
  Put32(out, e.Crc);
  Put32(out, e.CompressedSize);
  Put32(out, e.UncompressedSize);
  Put16(out, static_cast<uint32_t>(e.Name.size()));
  Put16(out, 0);
}

class TZipFile {
 public:
  explicit TZipFile(const char* path) : FFile(std::fopen(path, "wb")) {
    if (FFile == nullptr) {
      std::perror(path);
      std::exit(2);
    }
  }

  void Add(TEntry e, const std::vector<uint8_t>& data) {
    e.Offset = static_cast<uint32_t>(FOffset);
    std::vector<uint8_t> header;
    Put32(header, 0x04034b50);
    PutCommon(header, e);
    header.insert(header.end(), e.Name.begin(), e.Name.end());
    Write(header);
    Write(data);
    FEntries.push_back(e);
  }

  void Finish() {
    std::vector<uint8_t> cd;
    for (const TEntry& e : FEntries) {
      Put32(cd, 0x02014b50);
      Put16(cd, 3 << 8 | 20);  // made on Unix, so the mode below counts
      PutCommon(cd, e);
      Put16(cd, 0);  // comment length
      Put16(cd, 0);  // disk
      Put16(cd, 0);  // internal attributes
      Put32(cd, 0100644u << 16);
      Put32(cd, e.Offset);
      cd.insert(cd.end(), e.Name.begin(), e.Name.end());
    }
    const auto cdOffset = static_cast<uint32_t>(FOffset);
    Write(cd);
    std::vector<uint8_t> end;
    Put32(end, 0x06054b50);
    Put32(end, 0);
    Put16(end, static_cast<uint32_t>(FEntries.size()));
    Put16(end, static_cast<uint32_t>(FEntries.size()));
    Put32(end, static_cast<uint32_t>(cd.size()));
    Put32(end, cdOffset);
    Put16(end, 0);
    Write(end);
    if (std::fclose(FFile) != 0) {
      std::perror("close");
      std::exit(2);
    }
  }

 private:
  void Write(const std::vector<uint8_t>& data) {
    if (data.empty()) return;
    if (std::fwrite(data.data(), 1, data.size(), FFile) != data.size()) {
      std::perror("write");
      std::exit(2);
    }
    FOffset += data.size();
  }

  std::FILE* FFile;
  uint64_t FOffset = 0;
  std::vector<TEntry> FEntries;
};

struct TVariant {
  const char* Folder;
  uint16_t Method;
  uint16_t Flags;  // of imploded entries: 0x02 the 8 KB dictionary, 0x04 the literal tree
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: make_older_corpus OUT.zip [MEGABYTES]\n");
    return 2;
  }
  const size_t total = (argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 48) * kMB;
  const TVariant variants[] = {{"shrunk", 1, 0},
                               {"imploded-8k-3trees", 6, 0x06},
                               {"imploded-8k-2trees", 6, 0x02},
                               {"imploded-4k-3trees", 6, 0x04},
                               {"imploded-4k-2trees", 6, 0x00}};
  // Half of the bytes shrunk, half imploded (spread over the four variants); in each, 2 MB
  // files (two text-like to one binary-like) and an eighth of its bytes in files of 1 to 16 KB.
  TContent content(20240301);
  TRandom sizes(7);
  TZipFile zip(argv[1]);
  TOlderMethodsMemory memory;
  uint64_t in[2] = {};
  uint64_t out[2] = {};
  for (const TVariant& v : variants) {
    const size_t budget = v.Method == 1 ? total / 2 : total / 8;
    size_t made = 0;
    for (int i = 0; made < budget; ++i) {
      const size_t bigPart = budget / 8 * 7;
      const bool small = made >= bigPart;
      const bool binary = i % 3 == 2;
      const size_t size = small ? std::min(1024 + sizes.Below(15 * 1024), budget - made)
                                : std::min(2 * kMB, bigPart - made);
      const std::vector<uint8_t> data = binary ? content.Binary(size) : content.Text(size);
      const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
      const std::string packedText =
          v.Method == 1 ? test::ShrinkData(text) : test::ImplodeData(text, v.Flags);
      const std::vector<uint8_t> packed(packedText.begin(), packedText.end());
      TMemoryIO io(packed);
      if (v.Method == 1) {
        Unshrink(io, memory);
      } else {
        Explode(io, memory, v.Flags, data.size());
      }
      if (io.Output != data) {
        std::fprintf(stderr, "make_older_corpus: %s entry %d does not decode back\n", v.Folder, i);
        return 1;
      }
      char name[96];
      std::snprintf(name, sizeof name, "older/%s/%s%04d.%s", v.Folder, small ? "small" : "file", i,
                    binary ? "bin" : "txt");
      zip.Add({name, v.Method, v.Flags,
               Crc32Update(0xFFFFFFFFu, data.data(), data.size()) ^ 0xFFFFFFFFu,
               static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(data.size()), 0},
              packed);
      made += size;
      in[v.Method == 6] += packed.size();
      out[v.Method == 6] += data.size();
    }
  }
  zip.Finish();
  std::printf("shrunk: %.1f MB -> %.1f MB; imploded: %.1f MB -> %.1f MB\n",
              static_cast<double>(out[0]) / kMB, static_cast<double>(in[0]) / kMB,
              static_cast<double>(out[1]) / kMB, static_cast<double>(in[1]) / kMB);
  return 0;
}
