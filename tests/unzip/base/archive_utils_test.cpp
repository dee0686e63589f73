// The archive component's small routines: DOS date/time repair and stamping, percentages and part
// numbers, its directory steps, removable drives and message texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/dos_date_rule.h"
#include "platform/exceptions.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "unzip/base/directories.h"
#include "unzip/base/format_text.h"
#include "unzip/base/numbers.h"
#include "unzip/base/removable_drive.h"
#include "unzip/records/dos_date_time.h"

namespace {

// `secondField` as stored: half the seconds.
constexpr uint32_t Dos(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                       uint32_t secondField) {
  return platform::PackDosDateTime({year, month, day, hour, minute, secondField * 2});
}

TEST(ClampDosDateTime, RepairsOutOfRangeFieldsAndKeepsValidValues) {
  struct Case {
    uint32_t in, out;
  } cases[] = {
      {Dos(2008, 2, 29, 18, 0, 0), Dos(2008, 2, 29, 18, 0, 0)},
      {Dos(2024, 2, 31, 23, 59, 29), Dos(2024, 2, 31, 23, 59, 29)},  // no month-length check
      {0, Dos(1980, 1, 1, 0, 0, 0)},
      {Dos(2020, 0, 15, 10, 20, 5), Dos(2020, 1, 15, 10, 20, 5)},
      {Dos(2020, 13, 15, 10, 20, 5), Dos(2020, 12, 15, 10, 20, 5)},
      {Dos(2020, 5, 0, 10, 20, 5), Dos(2020, 5, 1, 10, 20, 5)},
      {Dos(2020, 5, 6, 31, 20, 5), Dos(2020, 5, 6, 23, 20, 5)},
      {Dos(2020, 5, 6, 7, 63, 5), Dos(2020, 5, 6, 7, 59, 5)},
      {Dos(2020, 5, 6, 7, 8, 30), Dos(2020, 5, 6, 7, 8, 29)},  // 60 s -> 58 s
      {Dos(2107, 5, 6, 7, 8, 9), Dos(2099, 5, 6, 7, 8, 9)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClampDosDateTime(c.in), c.out) << std::hex << c.in;
  }
}

TEST(DosDateTimeToDateTime, CountsDaysFromTheEpochAndRefusesImpossibleDates) {
  double value = -1;
  ASSERT_TRUE(DosDateTimeToDateTime(Dos(1980, 1, 1, 0, 0, 0), &value));
  EXPECT_DOUBLE_EQ(value, 29221.0);
  ASSERT_TRUE(DosDateTimeToDateTime(Dos(2000, 3, 1, 12, 0, 0), &value));
  EXPECT_DOUBLE_EQ(value, 36586.5);
  value = -1;
  EXPECT_FALSE(DosDateTimeToDateTime(Dos(2023, 2, 29, 0, 0, 0), &value));
  EXPECT_FALSE(DosDateTimeToDateTime(Dos(2020, 4, 5, 24, 0, 0), &value));
  EXPECT_FALSE(DosDateTimeToDateTime(Dos(2020, 4, 5, 1, 0, 30), &value));
  EXPECT_FALSE(DosDateTimeToDateTime(0, &value));
  EXPECT_EQ(value, -1);
}

TEST(StampFileTime, SetsTheLastWriteTimeThatTheFileLayerReadsBack) {
  test::TempDir dir;
  const std::string name = dir.File("stamped.txt");
  test::WriteFileBytes(name, "x");
  StampFileTime(name, Dos(2008, 2, 29, 18, 0, 0));
  EXPECT_EQ(static_cast<uint32_t>(platform::FileDosDateTime(name)), Dos(2008, 2, 29, 18, 0, 0));
  StampFileTime(name, Dos(2011, 7, 0, 9, 30, 30));  // repaired before stamping
  EXPECT_EQ(static_cast<uint32_t>(platform::FileDosDateTime(name)), Dos(2011, 7, 1, 9, 30, 29));
  StampFileTime(dir.File("missing.txt"), Dos(2008, 2, 29, 18, 0, 0));  // ignored
  EXPECT_EQ(platform::FileDosDateTime(dir.File("missing.txt")), -1);
  EXPECT_EQ(platform::FileDosDateTime(dir.Path()), -1);
}

TEST(PercentOf, RoundsHalvesToEvenAndCapsAtHundred) {
  struct Case {
    int64_t done, total, percent;
  } cases[] = {
      {1, 3, 33},
      {2, 3, 67},
      {5, 0, 0},
      {5, -1, 0},
      {7, 5, 100},
      {101, 200, 50},
      {103, 200, 52},
      {1, 200, 0},
      {3, 200, 2},
      {0, 10, 0},
      {-1, 3, -33},
      {INT64_MAX, 1, 100},
      {INT64_MAX - 1, INT64_MAX, 100},
      {INT64_MAX / 2, INT64_MAX, 50},
      {INT64_MIN, 1, INT64_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PercentOf(c.done, c.total), c.percent) << c.done << "/" << c.total;
  }
  EXPECT_EQ(Min64(-5, 3), -5);
  EXPECT_EQ(Max64(-5, 3), 3);
}

TEST(PartNumbers, StayInRange) {
  constexpr int kIntMax = std::numeric_limits<int>::max();
  EXPECT_EQ(PartNumberOfDisk(0), 1);
  EXPECT_EQ(PartNumberOfDisk(3), 4);
  EXPECT_EQ(PartNumberOfDisk(0x7FFFFFFF), kIntMax);
  EXPECT_EQ(PartNumberOfDisk(0xFFFFFFFF), kIntMax);
  EXPECT_EQ(PartNumberAfter(0), 2);
  EXPECT_EQ(PartNumberAfter(kIntMax - 2), kIntMax);
  EXPECT_EQ(PartNumberAfter(kIntMax - 1), kIntMax);
  EXPECT_EQ(PartNumberAfter(kIntMax), kIntMax);
}

TEST(ForceDirectories, CreatesEveryMissingParent) {
  test::TempDir dir;
  const std::string deep = dir.File("a\\b\\c\\d");
  EXPECT_TRUE(ForceDirectories(deep + "\\"));
  EXPECT_TRUE(platform::DirectoryExists(deep));
  EXPECT_FALSE(platform::FileExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));  // present already
  EXPECT_TRUE(ForceDirectories("C:"));  // shorter than three characters: counts as present

  test::WriteFileBytes(dir.File("blocker"), "not a directory");
  EXPECT_TRUE(platform::FileExists(dir.File("blocker")));
  EXPECT_FALSE(ForceDirectories(dir.File("blocker\\sub")));
  try {
    ForceDirectories("");
    ADD_FAILURE() << "empty path accepted";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Unable to create directory");
    EXPECT_EQ(e.ErrorCode, 3);
  }
}

TEST(ForceDirectories, TakesSlashesAndCreatesTheFirstPartOfARelativePath) {
  test::TempDir dir;
  EXPECT_TRUE(ForceDirectories(dir.File("x/y.d/z/")));
  EXPECT_TRUE(platform::DirectoryExists(dir.File("x\\y.d\\z")));
  const std::string previous = platform::CurrentDirectory();
  ASSERT_TRUE(platform::ChangeDirectory(dir.Path()));
  // "a" is short, but it is a directory of its own below the current one.
  const bool madeShort = ForceDirectories("a\\b/c");
  const bool madeSingle = ForceDirectories("q");
  ASSERT_TRUE(platform::ChangeDirectory(previous));
  EXPECT_TRUE(madeShort);
  EXPECT_TRUE(madeSingle);
  EXPECT_TRUE(platform::DirectoryExists(dir.File("a\\b\\c")));
  EXPECT_TRUE(platform::DirectoryExists(dir.File("q")));
  EXPECT_TRUE(ForceDirectories("\\"));  // the root counts as present
}

TEST(CanChangeToDir, TellsDirectoriesApartAndRestoresTheCurrentDirectory) {
  test::TempDir dir;
  test::WriteFileBytes(dir.File("file.txt"), "x");
  const std::string before = platform::CurrentDirectory();
  EXPECT_TRUE(CanChangeToDir(dir.Path()));
  EXPECT_FALSE(CanChangeToDir(dir.File("file.txt")));
  EXPECT_FALSE(CanChangeToDir(dir.File("missing")));
  EXPECT_EQ(platform::CurrentDirectory(), before);
}

TEST(IsRemovableDrive, TheTemporaryDirectoryIsOnAFixedDrive) {
  test::TempDir dir;
  EXPECT_FALSE(IsRemovableDrive(dir.Path()));
}

TEST(FormatText, FillsPlaceholdersInOrder) {
  EXPECT_EQ(FormatText("Invalid seek origin (%d)", 3), "Invalid seek origin (3)");
  EXPECT_EQ(FormatText("Cannot open file \"%s\". %s", "a.zip", "gone"),
            "Cannot open file \"a.zip\". gone");
  EXPECT_EQ(FormatText("100%% of %d", -7), "100% of -7");
  EXPECT_EQ(FormatText("no argument %d"), "no argument %d");
  EXPECT_EQ(FormatText("trailing %"), "trailing %");
}

}  // namespace
