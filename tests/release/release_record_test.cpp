// The release record: its parser against every rule, the writer read back, the version order, the
// rule for a release's paths, and the installed record of a program directory.
#include "release/release_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

TEST(ReleaseRecord, ValidRecordsAreRead) {
  struct Case {
    const char* text;
    TReleaseRecord expected;
  };
  const Case cases[] = {
      {"update-release 1\nproduct app\nversion 1.2\n", {"app", "1.2", "", {}}},
      {"update-release 1\nproduct app\nversion 1.2", {"app", "1.2", "", {}}},
      {"update-release 1\r\nproduct A.b-C_9\r\nversion 10\r\n", {"A.b-C_9", "10", "", {}}},
      {"\xEF\xBB\xBFupdate-release 1\nversion 2.0.1\nproduct app\n", {"app", "2.0.1", "", {}}},
      {"update-release 1\nproduct app\nversion 2.10\nfrom 2.9\nremove a/b.dll\nremove c\\d e.txt\n"
       "remove \xE6\x96\x87\xE4\xBB\xB6.txt\n",
       {"app", "2.10", "2.9", {"a\\b.dll", "c\\d e.txt", "\xE6\x96\x87\xE4\xBB\xB6.txt"}}},
      {"update-release 1\nremove x\nproduct app\nfrom 01.0\nversion 1.0.1\n",
       {"app", "1.0.1", "01.0", {"x"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TReleaseRecord record;
    std::string reason;
    ASSERT_TRUE(ParseReleaseRecord(c.text, &record, &reason)) << reason;
    EXPECT_EQ(record, c.expected);
  }
}

TEST(ReleaseRecord, EachBrokenRuleIsRefusedWithItsReason) {
  const std::string product = "update-release 1\nproduct app\n";
  const std::string full = product + "version 2\n";
  struct Case {
    std::string text;
    const char* reason;
  };
  const Case cases[] = {
      {"", "the first line is not \"update-release 1\""},
      {"update-release 2\nproduct app\nversion 1\n", "the first line is not"},
      {"update-release 1 \nproduct app\nversion 1\n", "the first line is not"},
      {"product app\nversion 1\n", "the first line is not"},
      {product + "version 1\nchannel beta\n", "line 4: unknown item \"channel\""},
      {product + "version 1\nProduct app\n", "unknown item \"Product\""},
      {product + "version 1\n\n", "line 4: an empty line"},
      {product + "\nversion 1\n", "line 3: an empty line"},
      {"update-release 1\nversion 1\n", "there is no \"product\" item"},
      {product, "there is no \"version\" item"},
      {product + "product app\nversion 1\n", "line 3: a second \"product\" item"},
      {full + "version 2\n", "a second \"version\" item"},
      {full + "from 1\nfrom 1\n", "a second \"from\" item"},
      {"update-release 1\nproduct my app\nversion 1\n", "the product \"my app\" is not"},
      {"update-release 1\nproduct \nversion 1\n", "the product \"\" is not"},
      {"update-release 1\nproduct\nversion 1\n", "the product \"\" is not"},
      {"update-release 1\nproduct caf\xC3\xA9\nversion 1\n", "is not 1 to 64 ASCII letters"},
      {"update-release 1\nproduct " + std::string(65, 'a') + "\nversion 1\n", "is not 1 to 64"},
      {product + "version 1..2\n", "the version \"1..2\" is not a version"},
      {product + "version .1\n", "is not a version"},
      {product + "version 1.\n", "is not a version"},
      {product + "version 1.2a\n", "is not a version"},
      {product + "version -1\n", "is not a version"},
      {product + "version  1\n", "is not a version"},
      {product + "version 1 \n", "is not a version"},
      {product + "version \n", "is not a version"},
      {product + "version " + std::string(65, '1') + "\n", "at most 64 characters"},
      {full + "from x\n", "the from \"x\" is not a version"},
      {full + "from 2.0\n", "(from 2.0) is not older than its version 2"},
      {full + "from 3\n", "is not older"},
      {full + "remove a\nremove a\n", "line 5: \"a\" is removed a second time"},
      {full + "remove a/b\nremove a\\b\n", "\"a\\b\" is removed a second time"},
      {full + "remove /etc/passwd\n", "line 4: the path to remove \"/etc/passwd\" is not relative"},
      {full + "remove ../x\n", "has a \".\" or \"..\" component"},
      {full + "remove \n", "is empty"},
      {full + "remove a\x01\n", "the path to remove \"a?\" holds a control character"},
      {full + "remove C:x\n", "holds a drive letter"},
      {full + "remove .update-journal\n", "is one of the updater's own names"},
      {full + "remove x\ry\n", "holds a control character"},
      {full + "remove \xFF\xFE\n", "is not UTF-8 text"},
      {std::string(kMaxReleaseRecordSize + 1, 'x'), "larger than 4194304 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 200));
    TReleaseRecord record;
    std::string reason;
    EXPECT_FALSE(ParseReleaseRecord(c.text, &record, &reason));
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
  }
}

TEST(ReleaseRecord, TheWriterWritesTheFormatAndReadsBack) {
  const TReleaseRecord record{"app", "3.1", "3.0", {"bin\\old.dll", "readme.txt"}};
  const std::string text = ReleaseRecordText(record);
  EXPECT_EQ(text,
            "update-release 1\nproduct app\nversion 3.1\nfrom 3.0\nremove bin/old.dll\n"
            "remove readme.txt\n");
  TReleaseRecord read;
  std::string reason;
  ASSERT_TRUE(ParseReleaseRecord(text, &read, &reason)) << reason;
  EXPECT_EQ(read, record);
  EXPECT_EQ(ReleaseRecordText({"app", "1", "", {}}), "update-release 1\nproduct app\nversion 1\n");
}

TEST(ReleaseRecord, VersionsCompareNumberByNumber) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  const Case cases[] = {
      {"1", "1", 0},
      {"1.0", "1.0.0", 0},
      {"1", "1.0.0.0", 0},
      {"1.02", "1.2", 0},
      {"007", "7", 0},
      {"0", "0.0", 0},
      {"2.10", "2.9", 1},
      {"2.9", "2.10", -1},
      {"1.0.1", "1.0", 1},
      {"1.0", "1.0.1", -1},
      {"10", "9.99.99", 1},
      {"1.2.3", "1.3", -1},
      {"1.0.0.0.1", "1", 1},
      // Numbers far beyond 64 bits compare exactly.
      {"99999999999999999999999999999", "99999999999999999999999999998", 1},
      {"1.100000000000000000000", "1.99999999999999999999", 1},
      {"1.000000000000000000000000001", "1.1", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    ASSERT_TRUE(IsValidVersion(c.a));
    ASSERT_TRUE(IsValidVersion(c.b));
    EXPECT_EQ(CompareVersions(c.a, c.b), c.order);
    EXPECT_EQ(CompareVersions(c.b, c.a), -c.order);
  }
}

TEST(ReleaseRecord, ReleasePathsFollowTheEntryRules) {
  struct Case {
    std::string path;
    const char* reason;  // nullptr: accepted
  };
  const Case cases[] = {
      {"a.txt", nullptr},
      {"bin/app.exe", nullptr},
      {"bin\\app.exe", nullptr},
      {"deep/er/still/file", nullptr},
      {".hidden", nullptr},
      {"..data", nullptr},
      {"a..b", nullptr},
      {"lib/update.log", nullptr},
      {"data/.update-journal", nullptr},
      {".update-journal-old", nullptr},
      {"console.txt", nullptr},
      {"COM0", nullptr},
      {"caf\xC3\xA9/\xE6\x96\x87.txt", nullptr},
      {"", "is empty"},
      {"/abs", "is not relative"},
      {"\\abs", "is not relative"},
      {"C:\\x", "holds a drive letter or \":\""},
      {"c:x", "holds a drive letter"},
      {"file:stream", "holds a drive letter"},
      {"a//b", "has an empty component"},
      {"a/", "has an empty component"},
      {"a\\\\b", "has an empty component"},
      {".", "has a \".\" or \"..\" component"},
      {"..", "has a \".\" or \"..\" component"},
      {"a/./b", "has a \".\" or \"..\" component"},
      {"a/../../b", "has a \".\" or \"..\" component"},
      {"a\tb", "holds a control character"},
      {std::string("a\0b", 3), "holds a control character"},
      {"a\x7F", "holds a control character"},
      {"a\x1F", "holds a control character"},
      {"a\xC3", "is not UTF-8 text"},
      {"\xC0\xAF", "is not UTF-8 text"},
      {"what?.txt", "Windows refuses"},
      {"a*b", "Windows refuses"},
      {"a<b", "Windows refuses"},
      {"a|b", "Windows refuses"},
      {"a\"b", "Windows refuses"},
      {"CON", "has the component \"CON\", a device name"},
      {"sub/aux.c", "has the component \"aux.c\""},
      {"lpt9.txt", "a device name"},
      {"conout$", "a device name"},
      {"nul .txt", "a device name"},
      {"ends.", "ending in a dot or a space"},
      {"ends /x", "ending in a dot or a space"},
      {".update-staging", "is one of the updater's own names"},
      {".update-backup/x", "is one of the updater's own names"},
      {".UPDATE-Journal", "is one of the updater's own names"},
      {".update-journal.new", "is one of the updater's own names"},
      {".update-release", "is one of the updater's own names"},
      {"Update.Log", "is one of the updater's own names"},
      {"update.log\\x", "is one of the updater's own names"},
      {std::string(kMaxReleasePathLength + 1, 'a'), "is longer than 4096 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 100));
    std::string reason;
    const bool accepted = CheckReleasePath(c.path, &reason);
    if (c.reason == nullptr) {
      EXPECT_TRUE(accepted) << reason;
    } else {
      EXPECT_FALSE(accepted);
      EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
  }
  EXPECT_TRUE(CheckReleasePath(std::string(kMaxReleasePathLength, 'a'), nullptr));
}

TEST(ReleaseRecord, TheInstalledRecordIsAbsentPresentOrInvalid) {
  test::TempDir dir;
  const std::string record = dir.File(kReleaseRecordName);
  TInstalledRelease installed = ReadInstalledRelease(dir.Path());
  EXPECT_EQ(installed.State, TInstalledRelease::irAbsent) << installed.Reason;

  test::WriteFileBytes(record, "update-release 1\nproduct app\nversion 4.1\n");
  installed = ReadInstalledRelease(dir.Path() + "\\");
  ASSERT_EQ(installed.State, TInstalledRelease::irPresent) << installed.Reason;
  EXPECT_EQ(installed.Record, (TReleaseRecord{"app", "4.1", "", {}}));

  struct Case {
    std::string content;
    const char* reason;
  };
  const Case cases[] = {
      {"", "is not valid: the first line is not"},
      {"update-release 1\nproduct app\n", "is not valid: there is no \"version\" item"},
      {std::string(kMaxReleaseRecordSize + 1, '\n'), "is too large"},
  };
  for (const Case& c : cases) {
    test::WriteFileBytes(record, c.content);
    installed = ReadInstalledRelease(dir.Path());
    EXPECT_EQ(installed.State, TInstalledRelease::irInvalid);
    EXPECT_NE(installed.Reason.find(c.reason), std::string::npos) << installed.Reason;
    EXPECT_NE(installed.Reason.find(kReleaseRecordName), std::string::npos) << installed.Reason;
  }

  // Something else in its place is never taken for no record.
  ASSERT_TRUE(platform::RemoveFile(record));
  ASSERT_TRUE(platform::MakeDirectory(record));
  installed = ReadInstalledRelease(dir.Path());
  EXPECT_EQ(installed.State, TInstalledRelease::irInvalid);
  EXPECT_NE(installed.Reason.find("is not a plain file"), std::string::npos) << installed.Reason;
  ASSERT_TRUE(platform::DeleteDirectory(record));

  // A link is not followed, where the system has links.
  test::WriteFileBytes(dir.File("elsewhere"), "update-release 1\nproduct app\nversion 9\n");
  std::error_code error;
  std::filesystem::create_symlink("elsewhere", test::FsPath(record), error);
  if (!error) {
    installed = ReadInstalledRelease(dir.Path());
    EXPECT_EQ(installed.State, TInstalledRelease::irInvalid);
    EXPECT_NE(installed.Reason.find("is not a plain file"), std::string::npos) << installed.Reason;
  }
}

}  // namespace
