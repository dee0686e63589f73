// The file layer's contract, checked against the real file system; the same tests run on Linux
// and on Windows (under Wine).
#include "platform/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/dos_date_rule.h"
#include "support/child_processes.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Sharing modes exist on Windows only.
bool SharingModesEnforced() {
  return test::OnWindows();
}

// Puts the process back into the directory it was in (through std::filesystem, not through the
// code under test). Declare it after the TempDir: Windows cannot remove a current directory.
class CurrentDirectoryGuard {
 public:
  CurrentDirectoryGuard() : saved_(fs::current_path()) {}
  ~CurrentDirectoryGuard() { fs::current_path(saved_); }
  CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
  CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

 private:
  fs::path saved_;
};

uint32_t Dos(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
             uint32_t second) {
  return PackDosDateTime({year, month, day, hour, minute, second});
}

std::string ReadAll(File& file) {
  char buffer[64];
  const int32_t n = file.Read(buffer, sizeof buffer);
  return n < 0 ? "<failed>" : std::string(buffer, static_cast<size_t>(n));
}

void ExpectFailureRecorded(const char* operation, const std::string& path) {
  const OsError& error = LastError();
  EXPECT_EQ(error.operation, operation);
  EXPECT_EQ(error.path, path);
  EXPECT_NE(error.code, 0);
}

// ---- Open modes -----------------------------------------------------------------------------

struct OpenCase {
  const char* label;
  uint16_t mode;
  const char* name;       // under the test's directory
  bool exists;            // holds "hello" before the open
  const char* failsWith;  // recorded operation when the open must fail, else nullptr
  const char* reads;      // what a read from the start returns; nullptr: the read must fail
  const char* after;      // the file after writing "J" at the start; "hello" when it must fail
};

const OpenCase kOpenCases[] = {
    {"create truncates", kOpenCreate, "f.txt", true, nullptr, "", "J"},
    {"create makes a missing file", kOpenCreate, "f.txt", false, nullptr, "", "J"},
    {"create in a missing directory", kOpenCreate, "no\\f.txt", false, "create", "", ""},
    {"read deny write", kOpenRead | kShareDenyWrite, "f.txt", true, nullptr, "hello", "hello"},
    {"read deny none", kOpenRead | kShareDenyNone, "f.txt", true, nullptr, "hello", "hello"},
    {"write deny none", kOpenWrite | kShareDenyNone, "f.txt", true, nullptr, nullptr, "Jello"},
    {"read/write", kOpenReadWrite | kShareExclusive, "f.txt", true, nullptr, "hello", "Jello"},
    {"read deny write, missing", kOpenRead | kShareDenyWrite, "f.txt", false, "open", "", ""},
    {"read deny none, missing", kOpenRead | kShareDenyNone, "f.txt", false, "open", "", ""},
    {"write deny none, missing", kOpenWrite | kShareDenyNone, "f.txt", false, "open", "", ""},
    {"access part 3", 0x0003, "f.txt", true, "open", "", "hello"},
    {"sharing part 0x50", 0x0050, "f.txt", true, "open", "", "hello"},
};

TEST(FilesTest, OpenModes) {
  for (const OpenCase& c : kOpenCases) {
    SCOPED_TRACE(c.label);
    test::TempDir dir;
    const std::string path = dir.File(c.name);
    if (c.exists) test::WriteFileBytes(path, "hello");
    File file = File::Open(path, c.mode);
    if (c.failsWith != nullptr) {
      EXPECT_FALSE(file.IsOpen());
      ExpectFailureRecorded(c.failsWith, path);
      if (c.exists) {
        EXPECT_EQ(test::ReadFileBytes(path), c.after);
      } else {
        EXPECT_EQ(ReadAttributes(path), kInvalidAttributes) << "a failed open created the file";
      }
      continue;
    }
    ASSERT_TRUE(file.IsOpen());
    if (c.reads != nullptr) {
      EXPECT_EQ(ReadAll(file), c.reads);
    } else {
      char byte;
      EXPECT_EQ(file.Read(&byte, 1), -1);
    }
    EXPECT_EQ(file.Seek(0, 0), 0);
    const bool writes = std::string(c.after) != "hello";
    EXPECT_EQ(file.Write("J", 1), writes ? 1 : -1);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(test::ReadFileBytes(path), c.after);
  }
}

TEST(FilesTest, DirectoryCannotBeOpenedAsFile) {
  test::TempDir dir;
  for (const uint16_t mode : {uint16_t{kOpenRead | kShareDenyNone}, uint16_t{kOpenCreate}}) {
    EXPECT_FALSE(File::Open(dir.Path(), mode).IsOpen()) << mode;
  }
}

// ---- Reading, writing, seeking --------------------------------------------------------------

TEST(FilesTest, ReadWriteSeekAndSetEndOfFile) {
  test::TempDir dir;
  const std::string path = dir.File("data.bin");
  File file = File::Open(path, kOpenCreate);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Write("0123456789", 10), 10);
  EXPECT_EQ(file.Write("x", 0), 0);
  EXPECT_EQ(file.Write("x", -5), 0);
  EXPECT_EQ(file.Size(), 10);
  EXPECT_EQ(file.Seek(0, 1), 10);

  struct SeekCase {
    int64_t offset;
    int origin;
    int64_t result;  // -1: fails and leaves the position at 4
  };
  const SeekCase kSeeks[] = {
      {2, 0, 2},   {3, 1, 7},    {-2, 2, 8}, {5, 2, 15},  {-1, 0, -1},
      {-5, 1, -1}, {-11, 2, -1}, {0, 3, -1}, {1, -1, -1},
  };
  for (const SeekCase& s : kSeeks) {
    SCOPED_TRACE(testing::Message() << s.offset << " from " << s.origin);
    ASSERT_EQ(file.Seek(4, 0), 4);
    EXPECT_EQ(file.Seek(s.offset, s.origin), s.result);
    EXPECT_EQ(file.Seek(0, 1), s.result < 0 ? 4 : s.result);
  }

  ASSERT_EQ(file.Seek(2, 0), 2);
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "234");
  EXPECT_EQ(file.Read(buffer, 0), 0);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 5) << "a short read at the end";
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
  // Past the end: reading gives nothing, the size does not change until something is written.
  EXPECT_EQ(file.Seek(20, 0), 20);
  EXPECT_EQ(file.Read(buffer, 1), 0);
  EXPECT_EQ(file.Size(), 10);

  ASSERT_EQ(file.Seek(4, 0), 4);
  EXPECT_TRUE(file.SetEndOfFile());
  EXPECT_EQ(file.Size(), 4);
  ASSERT_EQ(file.Seek(6, 0), 6);
  EXPECT_TRUE(file.SetEndOfFile());
  EXPECT_EQ(file.Size(), 6);
  EXPECT_TRUE(file.FlushToDisk());
  file.Close();
  EXPECT_EQ(test::ReadFileBytes(path), std::string("0123\0\0", 6));
}

TEST(FilesTest, ClosedAndMovedFromFilesFail) {
  test::TempDir dir;
  File file = File::Open(dir.File("f.txt"), kOpenCreate);
  ASSERT_TRUE(file.IsOpen());
  File moved = std::move(file);
  EXPECT_TRUE(moved.IsOpen());
  EXPECT_EQ(moved.Write("abc", 3), 3);

  char byte = 0;
  for (File* closed : {&file, &moved}) {
    if (closed == &moved) moved.Close();
    EXPECT_FALSE(closed->IsOpen());
    EXPECT_EQ(closed->Read(&byte, 1), -1);
    EXPECT_EQ(closed->Write("x", 1), -1);
    EXPECT_EQ(closed->Seek(0, 0), -1);
    EXPECT_EQ(closed->Size(), -1);
    EXPECT_FALSE(closed->SetEndOfFile());
    EXPECT_FALSE(closed->FlushToDisk());
    EXPECT_FALSE(closed->SetLastWriteDosTime(Dos(2001, 2, 3, 4, 5, 6)));
    EXPECT_EQ(closed->LastWriteDosTime(), -1);
  }
  EXPECT_EQ(test::ReadFileBytes(dir.File("f.txt")), "abc");
}

// ---- Attributes and times -------------------------------------------------------------------

TEST(FilesTest, AttributesOfFilesDirectoriesAndMissingNames) {
  test::TempDir dir;
  const std::string path = dir.File("f.txt");
  test::WriteFileBytes(path, "x");

  uint32_t attributes = ReadAttributes(path);
  ASSERT_NE(attributes, kInvalidAttributes);
  EXPECT_EQ(attributes & (kAttrDirectory | kAttrReadOnly), 0u);
  EXPECT_EQ(WriteAttributes(path, kAttrReadOnly | kAttrArchive), 0);
  EXPECT_NE(ReadAttributes(path) & kAttrReadOnly, 0u);
  EXPECT_EQ(WriteAttributes(path, kAttrArchive), 0);
  attributes = ReadAttributes(path);
  EXPECT_EQ(attributes & (kAttrDirectory | kAttrReadOnly), 0u);
  EXPECT_TRUE(File::Open(path, kOpenWrite | kShareDenyNone).IsOpen());

  EXPECT_NE(ReadAttributes(dir.Path()) & kAttrDirectory, 0u);

  const std::string missing = dir.File("missing.txt");
  EXPECT_EQ(ReadAttributes(missing), kInvalidAttributes);
  ExpectFailureRecorded("get attributes", missing);
  const int code = WriteAttributes(missing, kAttrArchive);
  EXPECT_NE(code, 0);
  EXPECT_EQ(code, LastError().code);
  ExpectFailureRecorded("set attributes", missing);
}

TEST(FilesTest, DosTimeStampsReadBack) {
  const uint32_t kStamps[] = {
      Dos(1980, 1, 1, 0, 0, 0),      Dos(2001, 2, 3, 4, 5, 6), Dos(2024, 2, 29, 12, 30, 58),
      Dos(2044, 7, 15, 23, 59, 58),  // date above 0x7FFF: a negative int32_t that is not -1
      Dos(2107, 12, 31, 23, 59, 58),
  };
  test::TempDir dir;
  const std::string path = dir.File("stamped.txt");
  test::WriteFileBytes(path, "x");
  for (const uint32_t stamp : kStamps) {
    SCOPED_TRACE(testing::Message() << std::hex << stamp);
    {
      File writer = File::Open(path, kOpenWrite | kShareDenyNone);
      ASSERT_TRUE(writer.IsOpen());
      EXPECT_TRUE(writer.SetLastWriteDosTime(stamp));
    }
    EXPECT_EQ(static_cast<uint32_t>(FileDosDateTime(path)), stamp);
    File reader = File::Open(path, kOpenRead | kShareDenyWrite);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(static_cast<uint32_t>(reader.LastWriteDosTime()), stamp);
  }
}

TEST(FilesTest, ImpossibleDosTimesAreRefused) {
  const uint32_t kValid = Dos(2001, 2, 3, 4, 5, 6);
  const uint32_t kImpossible[] = {
      Dos(2001, 2, 29, 0, 0, 0), Dos(2000, 4, 31, 0, 0, 0), Dos(2001, 0, 3, 0, 0, 0),
      Dos(2001, 13, 3, 0, 0, 0), Dos(2001, 2, 0, 0, 0, 0),  Dos(2001, 2, 3, 24, 0, 0),
      Dos(2001, 2, 3, 4, 60, 0), Dos(2001, 2, 3, 4, 5, 60),
  };
  test::TempDir dir;
  const std::string path = dir.File("f.txt");
  test::WriteFileBytes(path, "x");
  File file = File::Open(path, kOpenReadWrite | kShareDenyNone);
  ASSERT_TRUE(file.IsOpen());
  ASSERT_TRUE(file.SetLastWriteDosTime(kValid));
  for (const uint32_t stamp : kImpossible) {
    SCOPED_TRACE(testing::Message() << std::hex << stamp);
    EXPECT_FALSE(file.SetLastWriteDosTime(stamp));
    EXPECT_EQ(static_cast<uint32_t>(file.LastWriteDosTime()), kValid);
  }
}

TEST(FilesTest, FileDateOfDirectoriesMissingNamesAndOldTimes) {
  test::TempDir dir;
  EXPECT_EQ(FileDosDateTime(dir.Path()), -1);
  ExpectFailureRecorded("file date", dir.Path());
  EXPECT_EQ(FileDosDateTime(dir.File("missing.txt")), -1);
  ExpectFailureRecorded("file date", dir.File("missing.txt"));

  // A time before 1980 has no DOS form. (Not one after 2107: the Windows runtime cannot set it.)
  const std::string path = dir.File("past.txt");
  test::WriteFileBytes(path, "x");
  const fs::path native = test::FsPath(path);
  fs::last_write_time(native, fs::last_write_time(native) - std::chrono::hours(24 * 366 * 50));
  EXPECT_EQ(FileDosDateTime(path), -1);
  File file = File::Open(path, kOpenRead | kShareDenyNone);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.LastWriteDosTime(), -1);
}

// ---- Directories and moves ------------------------------------------------------------------

TEST(FilesTest, MakeAndRemoveDirectoriesAndFiles) {
  test::TempDir dir;
  const std::string sub = dir.File("sub");
  const std::string file = sub + "\\f.txt";
  EXPECT_TRUE(MakeDirectory(sub));
  EXPECT_NE(ReadAttributes(sub) & kAttrDirectory, 0u);
  EXPECT_FALSE(MakeDirectory(sub)) << "exists already";
  ExpectFailureRecorded("create directory", sub);
  EXPECT_FALSE(MakeDirectory(dir.File("no\\sub"))) << "parent missing";

  test::WriteFileBytes(file, "x");
  EXPECT_FALSE(DeleteDirectory(sub)) << "not empty";
  ExpectFailureRecorded("remove directory", sub);
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_EQ(ReadAttributes(file), kInvalidAttributes);
  EXPECT_FALSE(RemoveFile(file));
  ExpectFailureRecorded("delete file", file);
  EXPECT_TRUE(DeleteDirectory(sub));
  EXPECT_EQ(ReadAttributes(sub), kInvalidAttributes);
}

TEST(FilesTest, RenameRefusesAnExistingTarget) {
  test::TempDir dir;
  const std::string a = dir.File("a.txt");
  const std::string b = dir.File("b.txt");
  test::WriteFileBytes(a, "first");
  EXPECT_TRUE(RenameFile(a, b));
  EXPECT_EQ(ReadAttributes(a), kInvalidAttributes);
  EXPECT_EQ(test::ReadFileBytes(b), "first");

  test::WriteFileBytes(a, "second");
  EXPECT_FALSE(RenameFile(a, b));
  ExpectFailureRecorded("rename", a);
  EXPECT_EQ(test::ReadFileBytes(a), "second");
  EXPECT_EQ(test::ReadFileBytes(b), "first");

  ASSERT_TRUE(MakeDirectory(dir.File("d1")));
  test::WriteFileBytes(dir.File("d1\\inner.txt"), "inner");
  EXPECT_TRUE(RenameFile(dir.File("d1"), dir.File("d2")));
  EXPECT_EQ(test::ReadFileBytes(dir.File("d2\\inner.txt")), "inner");
  EXPECT_FALSE(RenameFile(dir.File("missing"), dir.File("other")));
}

TEST(FilesTest, CurrentDirectoryAndExpandFileName) {
  test::TempDir dir;
  CurrentDirectoryGuard guard;
  ASSERT_TRUE(ChangeDirectory(dir.Path()));
  const std::string cwd = CurrentDirectory();
  EXPECT_EQ(cwd, dir.Path());
  EXPECT_FALSE(ChangeDirectory(dir.File("missing")));
  ExpectFailureRecorded("change directory", dir.File("missing"));
  EXPECT_EQ(CurrentDirectory(), cwd);

  // A relative name is found in the current directory.
  File file = File::Open("rel.txt", kOpenCreate);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Write("rel", 3), 3);
  file.Close();
  EXPECT_EQ(test::ReadFileBytes(dir.File("rel.txt")), "rel");

  const std::pair<std::string, std::string> kExpansions[] = {
      {"rel.txt", cwd + "\\rel.txt"},
      {"a\\.\\b\\..\\c.txt", cwd + "\\a\\c.txt"},
      {"a/b", cwd + "\\a\\b"},
      {".", cwd},
      {"sub\\", cwd + "\\sub\\"},
      {cwd + "\\x\\..\\y", cwd + "\\y"},
      {"", ""},
  };
  for (const auto& [input, expanded] : kExpansions) {
    EXPECT_EQ(ExpandFileName(input), expanded) << input;
  }
}

TEST(FilesTest, ExecutablePathNamesTheRunningTestProgram) {
  const std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(ExpandFileName(path), path) << "not absolute";
  const uint32_t attributes = ReadAttributes(path);
  ASSERT_NE(attributes, kInvalidAttributes);
  EXPECT_EQ(attributes & kAttrDirectory, 0u);
  EXPECT_NE(path.substr(path.find_last_of('\\') + 1).find("platform_tests"), std::string::npos)
      << path;
}

TEST(FilesTest, DriveKindAndVolumeLabel) {
  test::TempDir dir;
  const std::string& temp = dir.Path();
  const std::string root = temp.size() >= 3 && temp[1] == ':' ? temp.substr(0, 3) : "\\";
  EXPECT_EQ(DriveKindOf(root), DriveKind::kFixed) << root;
  EXPECT_EQ(DriveKindOf(dir.File("missing\\")), DriveKind::kNoRootDir);
  EXPECT_EQ(VolumeLabel(dir.File("missing\\")), "");

  // A label has at most 13 characters (counted as UTF-16 units, UTF-8 continuation bytes aside).
  size_t characters = 0;
  for (const char c : VolumeLabel(root)) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  }
  EXPECT_LE(characters, 13u);
}

TEST(FilesTest, SystemErrorTextHasNoTrailingStopOrLineBreak) {
  test::TempDir dir;
  ASSERT_FALSE(File::Open(dir.File("missing.txt"), kOpenRead).IsOpen());
  for (const int code : {LastError().code, 0x3FFFFFF0}) {
    const std::string text = SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_NE(text.back(), '\n') << text;
    EXPECT_NE(text.back(), '\r') << text;
  }
}

TEST(FilesTest, Utf8NamesRoundTrip) {
  test::TempDir dir;
  const std::string folder = dir.File("папка-目录");
  const std::string name = folder + "\\файл-文件.txt";
  const std::string renamed = folder + "\\второй-第二.txt";
  const std::string content = "ünïcödé 内容";
  const uint32_t stamp = Dos(2010, 10, 10, 10, 10, 10);

  ASSERT_TRUE(MakeDirectory(folder));
  File file = File::Open(name, kOpenCreate);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Write(content.data(), static_cast<int32_t>(content.size())),
            static_cast<int32_t>(content.size()));
  EXPECT_TRUE(file.SetLastWriteDosTime(stamp));
  file.Close();
  // Read back by a route that does not go through the code under test.
  EXPECT_EQ(test::ReadFileBytes(name), content);
  EXPECT_TRUE(fs::exists(test::FsPath(folder) / fs::path(u8"файл-文件.txt")));

  EXPECT_EQ(static_cast<uint32_t>(FileDosDateTime(name)), stamp);
  EXPECT_EQ(WriteAttributes(name, kAttrReadOnly), 0);
  EXPECT_NE(ReadAttributes(name) & kAttrReadOnly, 0u);
  EXPECT_EQ(WriteAttributes(name, kAttrArchive), 0);
  EXPECT_TRUE(RenameFile(name, renamed));
  EXPECT_EQ(test::ReadFileBytes(renamed), content);

  {
    CurrentDirectoryGuard guard;
    ASSERT_TRUE(ChangeDirectory(folder));
    EXPECT_EQ(CurrentDirectory(), folder);
    EXPECT_EQ(ExpandFileName("второй-第二.txt"), renamed);
  }
  EXPECT_FALSE(File::Open(name, kOpenRead).IsOpen());
  ExpectFailureRecorded("open", name);
  EXPECT_TRUE(RemoveFile(renamed));
  EXPECT_TRUE(DeleteDirectory(folder));
}

TEST(FilesTest, PathsWithNulBytesAreRefused) {
  test::TempDir dir;
  const std::string path = dir.File("a") + std::string(1, '\0') + "b.txt";
  EXPECT_FALSE(File::Open(path, kOpenCreate).IsOpen());
  ExpectFailureRecorded("create", path);
  EXPECT_EQ(ReadAttributes(dir.File("a")), kInvalidAttributes) << "the name was cut short";
}

// ---- Sharing --------------------------------------------------------------------------------

TEST(FilesTest, SharingModesDecideWhetherASecondOpenSucceeds) {
  if (!SharingModesEnforced()) GTEST_SKIP() << "POSIX has no sharing modes; they are ignored";
  constexpr int kSharingViolation = 32;  // ERROR_SHARING_VIOLATION
  struct SharingCase {
    uint16_t first;
    uint16_t second;
    bool opens;
  };
  const SharingCase kCases[] = {
      {kOpenRead | kShareDenyWrite, kOpenWrite | kShareDenyNone, false},
      {kOpenRead | kShareDenyWrite, kOpenRead | kShareDenyWrite, true},
      {kOpenRead | kShareDenyWrite, kOpenRead | kShareDenyNone, true},
      {kOpenRead | kShareDenyNone, kOpenWrite | kShareDenyNone, true},
      {kOpenRead | kShareDenyNone, kOpenRead | kShareDenyNone, true},
      {kOpenRead | kShareDenyNone, kOpenCreate, false},
      {kOpenWrite | kShareDenyNone, kOpenRead | kShareDenyWrite, false},
      {kOpenRead | kShareExclusive, kOpenRead, false},
  };
  test::TempDir dir;
  const std::string path = dir.File("shared.txt");
  test::WriteFileBytes(path, "x");
  for (const SharingCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.first << " then " << c.second);
    File first = File::Open(path, c.first);
    ASSERT_TRUE(first.IsOpen());
    File second = File::Open(path, c.second);
    EXPECT_EQ(second.IsOpen(), c.opens);
    if (!c.opens) {
      EXPECT_EQ(LastError().code, kSharingViolation);
    }
  }
}

TEST(Files, RoomAndClusterOfAVolumeAndProtectedLocationsAreTheSystemsOwn) {
  test::TempDir dir;
  const int64_t available = FreeDiskSpace(dir.Path());
  const auto expected = std::filesystem::space(test::FsPath(dir.Path())).available;
  // Others write to the volume meanwhile: the two answers only come close.
  EXPECT_GT(available, 0);
  EXPECT_LT(std::abs(available - static_cast<int64_t>(expected)), int64_t{256} * 1024 * 1024);
  EXPECT_EQ(FreeDiskSpace(dir.File("missing\\deeper")), -1);
  EXPECT_EQ(LastError().operation, "get free space");
  EXPECT_EQ(LastError().path, dir.File("missing\\deeper"));

  // A cluster is a power of two bytes, of a sector (512) or more on any disk of today.
  const int64_t cluster = VolumeClusterSize(dir.Path());
  EXPECT_GE(cluster, 512);
  EXPECT_EQ(cluster & (cluster - 1), 0) << cluster;
  EXPECT_EQ(VolumeClusterSize(dir.File("missing\\deeper")), -1);
  EXPECT_EQ(LastError().operation, "get cluster size");
  EXPECT_EQ(LastError().path, dir.File("missing\\deeper"));

  EXPECT_FALSE(IsUnderProtectedLocation(dir.Path()));
  // Windows names its own directories in the environment; POSIX has no protected places.
  for (const char* variable : {"WINDIR", "ProgramFiles"}) {
    if (const char* protectedDir = std::getenv(variable)) {
      SCOPED_TRACE(protectedDir);
      EXPECT_TRUE(IsUnderProtectedLocation(std::string(protectedDir) + "\\app"));
      EXPECT_TRUE(IsUnderProtectedLocation(protectedDir));
      EXPECT_FALSE(IsUnderProtectedLocation(std::string(protectedDir) + "2\\app"));
    }
  }
  EXPECT_FALSE(IsUnderProtectedLocation("\\usr\\bin"));
}

}  // namespace
}  // namespace platform
