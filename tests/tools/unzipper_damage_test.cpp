// End-to-end tests of the unzipper command on damaged archives built byte by byte: what it says
// (exactly), its exit status and the files it leaves, one table per kind of damage.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/file_helpers.h"
#include "support/raw_deflate.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "tools/unzipper_run.h"

namespace {

using Files = std::map<std::string, std::string>;

struct Case {
  const char* what;
  std::string archive;               // the bytes of the archive
  std::vector<std::string> command;  // "l", "t", or "x" and options ("-d" is added)
  int status;
  std::string err;                       // all of stderr; "%A" stands for the archive as typed
  std::string out;                       // all of stdout; "%A" likewise
  Files before = {};                     // the destination's files before the run ("/" separated)
  Files after = {};                      // every file in the destination after the run
  std::vector<std::string> tracer = {};  // a command that runs unzipper under it ("%A" too)
};

std::string Replaced(std::string text, const std::string& archive) {
  for (size_t at = text.find("%A"); at != std::string::npos; at = text.find("%A", at)) {
    text.replace(at, 2, archive);
    at += archive.size();
  }
  return text;
}

// Every file below `root`, by its path relative to it with "/" separators.
Files FilesBelow(const std::string& root) {
  Files files;
  if (!platform::DirectoryExists(root)) return files;
  const std::filesystem::path base = test::FsPath(root);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(base)) {
    if (!entry.is_regular_file()) continue;
    const std::u8string relative = entry.path().lexically_relative(base).generic_u8string();
    const std::string name(relative.begin(), relative.end());
    std::string system = name;
    for (char& c : system) c = c == '/' ? '\\' : c;
    files[name] = test::ReadFileBytes(root + "\\" + system);
  }
  return files;
}

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir work;
    const std::string zip = work.File("in.zip");
    const std::string dest = work.File("out");
    test::WriteFileBytes(zip, c.archive);
    for (const auto& [name, data] : c.before) {
      std::string system = name;
      for (char& ch : system) ch = ch == '/' ? '\\' : ch;
      test::WriteTree(dest, {{system, data}});
    }
    std::vector<std::string> arguments = c.command;
    if (arguments.front() == "x") {
      arguments.insert(arguments.begin() + 1, {"-d", test::NativePath(dest)});
    }
    const std::string typed = test::NativePath(zip);
    arguments.push_back(typed);
    std::vector<std::string> tracer = c.tracer;
    for (std::string& argument : tracer) argument = Replaced(argument, typed);
    const test::ToolRun run = test::RunUnzipper(work, arguments, tracer);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, Replaced(c.err, typed));
    EXPECT_EQ(run.out, Replaced(c.out, typed));
    EXPECT_EQ(FilesBelow(dest), c.after);
  }
}

test::ZipEntry Streamed(const std::string& name, const std::string& data) {
  return test::StreamedEntry(name, data, 0);
}

test::ZipEntry LocalOnly(test::ZipEntry entry) {
  entry.writeCentral = false;
  return entry;
}

std::string Zip(const std::vector<test::ZipEntry>& entries, test::ZipEndFields end = {}) {
  test::ZipArchive archive;
  archive.entries = entries;
  archive.end = end;
  return test::BuildZip(archive);
}

const char* const kCutOff =
    ": the data descriptor after its data is missing or cut off (the archive is damaged; the "
    "central directory vouches for the data)\n";
const char* const kRebuilt = "warning: %A: the central directory is damaged (";
const char* const kByLocalHeaders = "); the entries were found through their local headers\n";

TEST(UnzipperOnDamage, ADataDescriptorCutOffIsWarnedOfAndTheDataStillExtracted) {
  test::ZipEntry cut = Streamed("b.txt", "bee");
  cut.afterData.resize(6);
  test::ZipEntry missing = Streamed("b.txt", "bee");
  missing.afterData.clear();
  test::ZipEntry cutFirst = Streamed("a.txt", "ay");
  cutFirst.afterData.resize(6);
  test::ZipEntry unsigned12 = Streamed("b.txt", "bee");
  unsigned12.afterData = test::DataDescriptor(test::Crc32("bee"), 3, 3, false);
  const Files both = {{"a.txt", "ay"}, {"b.txt", "bee"}};
  RunCases({
      {"the last one cut short",
       Zip({Streamed("a.txt", "ay"), cut}),
       {"x"},
       1,
       std::string("warning: b.txt") + kCutOff,
       "",
       {},
       both},
      {"the last one missing",
       Zip({Streamed("a.txt", "ay"), missing}),
       {"t"},
       1,
       std::string("warning: b.txt") + kCutOff,
       "%A: 2 entries verified, 0 with problems\n"},
      {"one cut short before the next entry",
       Zip({cutFirst, Streamed("b.txt", "bee")}),
       {"x"},
       1,
       std::string("warning: a.txt") + kCutOff,
       "",
       {},
       both},
      {"whole ones",
       Zip({Streamed("a.txt", "ay"), Streamed("b.txt", "bee")}),
       {"x"},
       0,
       "",
       "",
       {},
       both},
      {"one without its signature",
       Zip({Streamed("a.txt", "ay"), unsigned12}),
       {"x"},
       0,
       "",
       "",
       {},
       both},
  });
}

TEST(UnzipperOnDamage, AnEndRecordThatSaysEmptyBeforeEntriesIsADamagedDirectory) {
  const std::string entries = Zip(
      {LocalOnly(test::StoredEntry("a.txt", "ay")), LocalOnly(test::StoredEntry("b.txt", "b"))});
  const std::string warning = std::string(kRebuilt) +
                              "its end record says the archive is empty, yet entries are stored "
                              "before it" +
                              kByLocalHeaders;
  RunCases({
      {"tested", entries, {"t"}, 1, warning, "%A: 2 entries verified, 0 with problems\n"},
      {"extracted", entries, {"x"}, 1, warning, "", {}, {{"a.txt", "ay"}, {"b.txt", "b"}}},
      {"an empty archive", Zip({}), {"t"}, 0, "", "%A: 0 entries verified, 0 with problems\n"},
  });
}

TEST(UnzipperOnDamage, ADamagedEntryLeavesTheFileItWasToReplace) {
  test::ZipEntry badCrc = test::StoredEntry("a.txt", "new");
  badCrc.crc = 0x12345678;
  char crcLine[120];
  std::snprintf(crcLine, sizeof crcLine,
                "a.txt: data do not check (CRC-32 %08x, stored 12345678, or the size differs)\n",
                test::Crc32("new"));
  std::string noise(20000, '\0');
  uint32_t state = 7;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
  const std::string deflated = test::RawDeflate(noise);
  test::ZipEntry cut = test::StoredEntry("a.txt", deflated.substr(0, deflated.size() / 2));
  cut.method = 8;
  cut.crc = test::Crc32(noise);
  cut.uncompressedSize = static_cast<uint32_t>(noise.size());
  const Files precious = {{"a.txt", "precious"}};
  const Files taken = {{"a.txt", "precious"}, {"~unzip0.tmp", "mine"}};
  const std::vector<std::string> always = {"x", "-o", "always"};
  RunCases({
      {"data that do not check", Zip({badCrc}), always, 1, crcLine, "", precious, precious},
      {"data the decoder stops in", Zip({cut}), always, 1,
       "a.txt: damaged data: error: unexpected end of deflate data\n", "", precious, precious},
      {"sound data replace it",
       Zip({test::StoredEntry("a.txt", "new")}),
       always,
       0,
       "",
       "",
       precious,
       {{"a.txt", "new"}}},
      {"a file of the name beside it is passed over", Zip({badCrc}), always, 1, crcLine, "", taken,
       taken},
      {"sound data beside a taken name",
       Zip({test::StoredEntry("a.txt", "new")}),
       always,
       0,
       "",
       "",
       taken,
       {{"a.txt", "new"}, {"~unzip0.tmp", "mine"}}},
  });
}

TEST(UnzipperOnDamage, TheListingShowsUnknownSizesAsUnknownInItsColumns) {
  // No descriptor after the data, and no central header: the sizes cannot be known.
  test::ZipEntry unknown = LocalOnly(Streamed("a.txt", "ay"));
  unknown.afterData.clear();
  const std::string header =
      "Index  Method      Compressed         Size  Date     Time     CRC-32    Encrypted  Name\n";
  char known[120];
  std::snprintf(known, sizeof known,
                "    1  Stored               1            1  2024-05-17 12:34  %08x  -          "
                "b.txt\n",
                test::Crc32("b"));
  RunCases({
      {"a rebuilt entry without its descriptor",
       Zip({unknown, LocalOnly(test::StoredEntry("b.txt", "b"))}),
       {"l"},
       1,
       std::string(kRebuilt) +
           "its end record says the archive is empty, yet entries are stored before it" +
           kByLocalHeaders,
       header +
           "    0  Stored               ?            ?  2024-05-17 12:34  ?         -          "
           "a.txt\n" +
           known + "2 entries, 1 bytes (1 of unknown size)\n"},
      {"sizes known",
       Zip({test::StoredEntry("b.txt", "b")}),
       {"l"},
       0,
       "",
       header + std::string(known).replace(4, 1, "0") + "1 entries, 1 bytes\n"},
  });
}

TEST(UnzipperOnDamage, ARebuiltDirectoryIsWarnedOfWithWhyItWasRebuilt) {
  const test::ZipEntry a = test::StoredEntry("a.txt", "ay");
  test::ZipEntry sharing = test::StoredEntry("b.txt", "b");
  sharing.localHeaderOffset = 0;  // a.txt's
  test::ZipEndFields tooMany;
  tooMany.entriesThisDisk = tooMany.totalEntries = 500;
  test::ZipEndFields misplaced;
  misplaced.centralOffset = 3;
  const auto warned = [](const std::string& why) {
    return std::string(kRebuilt) + why + kByLocalHeaders;
  };
  RunCases({
      {"a count that cannot fit",
       Zip({a}, tooMany),
       {"t"},
       1,
       warned("its end record claims more entries than the archive can hold"),
       "%A: 1 entries verified, 0 with problems\n"},
      {"no central header where it should be",
       Zip({a}, misplaced),
       {"t"},
       1,
       warned("a central header cannot be read"),
       "%A: 1 entries verified, 0 with problems\n"},
      {"two central headers of one local header",
       Zip({a, sharing}),
       {"t"},
       1,
       warned("two central headers name the same local header"),
       "%A: 2 entries verified, 0 with problems\n"},
  });
}

TEST(UnzipperOnDamage, AReadErrorIsTheArchivesNotTheEntrys) {
  // A real failing read: strace makes the system refuse the archive's reads from the eighth on
  // (the directory takes three), in the middle of the large entry.
  if (test::NativePath("\\") != "/" ||
      std::system("strace -o /dev/null true > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "needs Linux and a working strace";
  }
  std::string big(1 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 / 3);
  const std::string archive = test::BuildZipOfFiles({{"a.txt", "ay"}, {"big.bin", big}});
  // LeakSanitizer cannot run under a tracer (the sanitizer build); nothing else needs it off.
  const std::vector<std::string> failing = {"strace",
                                            "-o",
                                            "/dev/null",
                                            "-E",
                                            "ASAN_OPTIONS=detect_leaks=0",
                                            "-e",
                                            "trace=read",
                                            "-e",
                                            "inject=read:error=EIO:when=8+",
                                            "-P"};
  auto failingOn = [&failing](const std::string& path) {
    std::vector<std::string> tracer = failing;
    tracer.push_back(path);
    return tracer;
  };
  const std::string failed = "unzipper: cannot read %A: Input/output error\n";
  std::vector<Case> cases = {
      {"tested", archive, {"t"}, 2, failed, ""},
      {"extracted over a file",
       archive,
       {"x", "-o", "always"},
       2,
       failed,
       "",
       {{"big.bin", "old"}},
       {{"a.txt", "ay"}, {"big.bin", "old"}}},
      {"read whole", archive, {"t"}, 0, "", "%A: 2 entries verified, 0 with problems\n"},
  };
  // The tracer fails the reads of the archive alone.
  for (Case& c : cases) {
    if (c.status == 2) c.tracer = failingOn("%A");
  }
  RunCases(cases);
}

TEST(UnzipperOnDamage, AFileWithoutAnEndRecordIsCalledWhatItLooksLike) {
  const std::string whole = test::BuildZipOfFiles({{"a.txt", std::string(200, 'a')}});
  const std::string cut = whole.substr(0, 100);
  const std::string cutShort =
      "unzipper: %A is incomplete or damaged: its end record is missing (a download cut short?)\n";
  const std::string notZip = "unzipper: %A is not a ZIP archive (it has no end record)\n";
  RunCases({
      {"a download cut short, listed", cut, {"l"}, 2, cutShort, ""},
      {"a download cut short, tested", cut, {"t"}, 2, cutShort, ""},
      {"a download cut short, extracted", cut, {"x"}, 2, cutShort, ""},
      {"cut short after the marker of an unsplit archive", "PK00" + cut, {"t"}, 2, cutShort, ""},
      {"the first part of a split archive",
       "PK\x07\x08" + cut,
       {"t"},
       2,
       "unzipper: %A is the first part of a split archive; name its last part, which holds the "
       "end record\n",
       ""},
      {"text", std::string(5000, 't'), {"t"}, 2, notZip, ""},
      {"three bytes", "PK\x03", {"x"}, 2, notZip, ""},
  });
}

}  // namespace
