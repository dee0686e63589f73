// The component's directory side on archives built byte by byte: names, damaged and truncated
// archives, the rebuild from local headers, split parts, the companion file, comments,
// cancelling and the messages.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "entry_names.h"
#include "platform/dialogs.h"
#include "platform/message_pump.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/records/dos_date_time.h"
#include "unzip/unzipper.h"

namespace {

using test::ZipArchive;
using test::ZipEntry;

ZipArchive ThreeEntries() {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("a.txt", "alpha"), test::StoredEntry("dir/", ""),
                     test::StoredEntry("dir/b.txt", "bravo bravo")};
  return archive;
}

std::vector<std::string> Names(TUnZipper& zip) {
  return test::EntryNames(zip);
}

const std::vector<std::string> kThreeNames = {"a.txt", "dir\\", "dir\\b.txt"};

// Writes `bytes` as `name` in `dir` and loads its directory with a fresh component.
struct Loaded {
  Loaded(const test::TempDir& dir, const std::string& name, const std::string& bytes) {
    path = dir.File(name);
    test::WriteFileBytes(path, bytes);
    zip.SetZipName(path);
  }
  std::string path;
  TUnZipper zip;
};

template <typename E>
void ExpectRaises(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "nothing raised; expected " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(DirectoryReader, ReadsEveryEntryInArchiveOrder) {
  test::TempDir dir;
  Loaded loaded(dir, "three.zip", test::BuildZip(ThreeEntries()));
  loaded.zip.LoadDirectory();
  EXPECT_EQ(Names(loaded.zip), kThreeNames);
  EXPECT_FALSE(loaded.zip.ArchiveIsBad);
  EXPECT_EQ(loaded.zip.ArchiveFile, nullptr);  // closed again, KeepZipOpen being false
  EXPECT_EQ(loaded.zip.SortedEntries, loaded.zip.Entries.get());
}

TEST(DirectoryReader, EmptyArchivesHaveNoEntriesAndNoError) {
  test::TempDir dir;
  ZipArchive onlyEnd;
  for (const std::string& bytes : {std::string(), test::BuildZip(onlyEnd)}) {
    Loaded loaded(dir, "empty.zip", bytes);
    loaded.zip.LoadDirectory();
    EXPECT_EQ(loaded.zip.EntryCount(), 0);
  }
}

TEST(DirectoryReader, SameNameInOtherCaseKeepsTheDirectoryAnotherNameForgetsIt) {
  test::TempDir dir;
  Loaded loaded(dir, "case.zip", test::BuildZip(ThreeEntries()));
  loaded.zip.LoadDirectory();
  std::string upper = loaded.path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  loaded.zip.SetZipName(upper);
  EXPECT_EQ(loaded.zip.EntryCount(), 3);
  loaded.zip.SetZipName(dir.File("other.zip"));
  EXPECT_EQ(loaded.zip.EntryCount(), 0);
  EXPECT_EQ(test::ReadFileBytes(loaded.path), test::BuildZip(ThreeEntries()));
}

TEST(DirectoryReader, AChangedArchiveIsReadAgain) {
  test::TempDir dir;
  Loaded loaded(dir, "changing.zip", test::BuildZip(ThreeEntries()));
  StampFileTime(loaded.path, test::kSomeDosDateTime);
  loaded.zip.LoadDirectory();
  ZipArchive one;
  one.entries = {test::StoredEntry("only.txt", "x")};
  test::WriteFileBytes(loaded.path, test::BuildZip(one));
  StampFileTime(loaded.path, test::kSomeDosDateTime + 2);
  loaded.zip.OpenArchive();
  EXPECT_EQ(Names(loaded.zip), std::vector<std::string>{"only.txt"});
}

TEST(DirectoryReader, WrongOffsetsLeadToARebuildFromLocalHeaders) {
  test::TempDir dir;
  ZipArchive stubbed = ThreeEntries();
  stubbed.prefix = std::string(500, 'S');  // a program stub the offsets do not count
  std::string bytes = test::BuildZip(stubbed);
  ZipArchive plain = ThreeEntries();
  test::ZipLayout layout;
  test::BuildZip(plain, &layout);
  // Central offset as if there were no stub: the first central header read fails.
  test::PutLe32(bytes, bytes.size() - 6, static_cast<uint32_t>(layout.centralOffset));
  Loaded loaded(dir, "stub.zip", bytes);
  loaded.zip.LoadDirectory();
  EXPECT_TRUE(loaded.zip.ArchiveIsBad);
  EXPECT_TRUE(loaded.zip.ImproperArchive);
  EXPECT_EQ(Names(loaded.zip), kThreeNames);
  EXPECT_EQ(loaded.zip.SortedEntries->Items(0)->GetLocalHeaderOffset64(), 500u);
}

TEST(DirectoryReader, ASelfExtractorIsScannedFromByte14000) {
  test::TempDir dir;
  ZipArchive sfx = ThreeEntries();
  // A stub that holds a local header of its own before byte 14000.
  ZipArchive decoy;
  decoy.entries = {test::StoredEntry("decoy.txt", "in the stub")};
  decoy.entries[0].writeCentral = false;
  decoy.writeEnd = false;
  sfx.prefix = test::BuildZip(decoy);
  sfx.prefix.resize(14000, 'S');
  sfx.end.centralOffset = 0;  // unusable: forces the rebuild
  const std::string bytes = test::BuildZip(sfx);
  for (const char* name : {"setup.EXE", "setup.zip"}) {
    Loaded loaded(dir, name, bytes);
    loaded.zip.LoadDirectory();
    const std::vector<std::string> names = Names(loaded.zip);
    ASSERT_FALSE(names.empty()) << name;
    EXPECT_EQ(names.front(), std::string(name) == "setup.EXE" ? "a.txt" : "decoy.txt") << name;
  }
}

TEST(DirectoryReader, DuplicateLocalHeaderOffsetsLeadToARebuild) {
  test::TempDir dir;
  ZipArchive archive = ThreeEntries();
  archive.entries[2].localHeaderOffset = 0;  // names the first entry's local header
  Loaded loaded(dir, "dup.zip", test::BuildZip(archive));
  loaded.zip.LoadDirectory();
  EXPECT_TRUE(loaded.zip.ArchiveIsBad);
  // Each central header is merged into the rebuilt entry at the offset it names when it
  // describes that entry's local header; the one for "dir/b.txt" names the local header of
  // "a.txt" and is dropped, so every rebuilt entry keeps its own name.
  EXPECT_EQ(Names(loaded.zip), kThreeNames);
}


TEST(DirectoryReader, TruncatedArchiveByMode) {
  test::TempDir dir;
  const std::string truncated = test::BuildZip(ThreeEntries()).substr(0, 60);
  {
    // izAssumeMulti without a handler: no directory, and the next open says why.
    Loaded loaded(dir, "cut.zip", truncated);
    loaded.zip.LoadDirectory();
    EXPECT_EQ(loaded.zip.EntryCount(), 0);
    EXPECT_EQ(loaded.zip.ZipName(), loaded.path);
    ExpectRaises<EIncompleteZip>([&] { loaded.zip.OpenArchive(); }, "Incomplete Zip File");
  }
  {
    Loaded loaded(dir, "cut.zip", truncated);
    loaded.zip.IncompleteZipMode = izAssumeNotAZip;
    ExpectRaises<ENotAZipFile>([&] { loaded.zip.LoadDirectory(); }, "Not a valid zip file!");
    EXPECT_EQ(loaded.zip.ZipName(), "");  // cleared
  }
  {
    // A handler that switches to the rebuild: the retry finds the first entry.
    Loaded loaded(dir, "cut.zip", truncated);
    int calls = 0;
    loaded.zip.OnInCompleteZip = [&calls](TUnZipper*, TIncompleteZipMode& mode) {
      ++calls;
      mode = izAssumeBad;
    };
    loaded.zip.LoadDirectory();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Names(loaded.zip), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(loaded.zip.IncompleteZipMode, izAssumeBad);
  }
  {
    Loaded loaded(dir, "junk.zip", "PK\x05\x06 not really");
    loaded.zip.IncompleteZipMode = izAssumeBad;
    ExpectRaises<EBadZipFile>([&] { loaded.zip.LoadDirectory(); }, "Not a valid zip file!");
    EXPECT_EQ(loaded.zip.ZipName(), "");
  }
}

TEST(DirectoryReader, ClaimedCountsCostNothing) {
  test::TempDir dir;
  ZipArchive huge;
  huge.end.totalEntries = 0xFFFF;
  huge.end.entriesThisDisk = 0xFFFF;
  Loaded loaded(dir, "claims.zip", test::BuildZip(huge));
  ExpectRaises<EBadZipFile>([&] { loaded.zip.LoadDirectory(); }, "Not a valid zip file!");

  ZipArchive zip64;
  zip64.zip64 = test::Zip64EndFields();
  zip64.zip64->totalEntries = ~0ull;
  zip64.zip64->centralOffset = 3;
  Loaded loaded64(dir, "claims64.zip", test::BuildZip(zip64));
  ExpectRaises<EBadZipFile>([&] { loaded64.zip.LoadDirectory(); }, "Not a valid zip file!");
}

TEST(DirectoryReader, AMarkerWithoutItsZip64ValueIsRefused) {
  test::TempDir dir;
  ZipArchive archive = ThreeEntries();
  archive.entries[1].compressedSize = 0xFFFFFFFF;  // no Zip64 block follows
  Loaded loaded(dir, "marker.zip", test::BuildZip(archive));
  ExpectRaises<EBadZipFile>([&] { loaded.zip.LoadDirectory(); }, "Not a valid zip file!");
  EXPECT_EQ(loaded.zip.EntryCount(), 0);
}

TEST(DirectoryReader, AForgedEndRecordInTheCommentDoesNotHideTheEntries) {
  test::TempDir dir;
  ZipArchive forged;
  forged.entries = {test::StoredEntry("evil.txt", "evil")};
  const std::string fake = test::BuildZip(forged);
  ZipArchive archive = ThreeEntries();
  archive.end.comment = fake;  // holds a whole archive, end record included
  Loaded loaded(dir, "forged.zip", test::BuildZip(archive));
  loaded.zip.LoadDirectory();
  EXPECT_EQ(Names(loaded.zip), kThreeNames);
}

TEST(DirectoryReader, IndexErrorsNameTheIndex) {
  TUnZipper zip;
  ExpectRaises<EListError>([&] { zip.EntryFileName(0); }, "Index 0 is out of range");
  ExpectRaises<EListError>([&] { zip.EntryComment(-1); }, "Index -1 is out of range");
}

TEST(DirectoryReader, CommentsAreReadOnRequest) {
  test::TempDir dir;
  ZipArchive archive = ThreeEntries();
  archive.entries[2].comment = "entry comment";
  archive.entries[2].centralExtra = test::ExtraBlock(0x000A, std::string(32, '\0'));
  archive.end.comment = "archive comment";
  Loaded loaded(dir, "comments.zip", test::BuildZip(archive));
  loaded.zip.LoadDirectory();
  EXPECT_EQ(loaded.zip.SortedEntries->Items(2)->Comment, "");  // not read with the directory
  EXPECT_EQ(loaded.zip.EntryComment(2), "entry comment");
  EXPECT_EQ(loaded.zip.EntryComment(0), "");
  EXPECT_EQ(loaded.zip.ArchiveComment(), "archive comment");
  loaded.zip.SetArchiveComment("changed");
  EXPECT_TRUE(loaded.zip.EndRecord->CommentChanged);
  EXPECT_EQ(loaded.zip.ArchiveComment(), "changed");
}

// A set of two parts: the first holds the data of "a.txt" and "dir/", the last the data of
// "dir/b.txt" followed by the central directory, so that an extraction visits both parts.
std::string WriteTwoPartSet(const test::TempDir& dir, const std::string& firstPart,
                            const std::string& lastPart) {
  ZipArchive data = ThreeEntries();
  data.entries.pop_back();
  for (ZipEntry& entry : data.entries) entry.writeCentral = false;
  data.writeEnd = false;
  test::ZipLayout layout;
  test::WriteFileBytes(dir.File(firstPart), test::BuildZip(data, &layout));
  ZipArchive central = ThreeEntries();
  for (size_t i = 0; i < data.entries.size(); ++i) {
    central.entries[i].writeLocal = false;
    central.entries[i].localHeaderOffset = static_cast<uint32_t>(layout.localHeaderOffsets[i]);
  }
  central.entries.back().diskNumberStart = 1;
  central.end.thisDisk = 1;
  central.end.startDisk = 1;
  test::WriteFileBytes(dir.File(lastPart), test::BuildZip(central));
  return dir.File(lastPart);
}

// Extracts every file entry of the loaded set into `dir`'s "out" and returns the archive name
// in force as each file began.
std::vector<std::string> ExtractAll(TUnZipper& zip, const test::TempDir& dir) {
  auto parts = std::make_shared<std::vector<std::string>>();
  zip.SetDestDir(dir.File("out"));
  zip.DoAll = true;
  zip.OnStartUnZip = [parts](TUnZipper* sender, int, std::string&, bool&) {
    parts->push_back(sender->ZipName());
  };
  zip.UnZip();
  return *parts;
}

TEST(DirectoryReader, SplitPartNamesFollowTheBlockMode) {
  test::TempDir dir;
  {
    const std::string last = WriteTwoPartSet(dir, "app-1.2.z01", "app-1.2.zip");
    TUnZipper zip;
    zip.SetZipName(last);
    EXPECT_EQ(zip.ZipBaseName, dir.File("app-1.2"));
    zip.LoadDirectory();
    EXPECT_EQ(Names(zip), kThreeNames);
    EXPECT_EQ(zip.SpanMode, smSplitFiles);
    EXPECT_EQ(zip.PartCount, 2);
    EXPECT_EQ(ExtractAll(zip, dir),
              (std::vector<std::string>{dir.File("app-1.2.z01"), dir.File("app-1.2.zip")}));
    EXPECT_EQ(test::ReadFileBytes(dir.File("out\\b.txt")), "bravo bravo");
    EXPECT_EQ(zip.CurrentPart, 1);
  }
  {
    WriteTwoPartSet(dir, "classic.001", "classic.002");
    TUnZipper zip;
    zip.BlockMode = bmClassic;
    zip.SetZipName(dir.File("classic.002"));
    zip.LoadDirectory();
    EXPECT_EQ(ExtractAll(zip, dir),
              (std::vector<std::string>{dir.File("classic.001"), dir.File("classic.002")}));
  }
  {
    WriteTwoPartSet(dir, "first-part.bin", "named.zip");
    TUnZipper zip;
    std::vector<TSplitPartType> types;
    zip.OnFileNameForSplitPart = [&](TUnZipper*, std::string& name, int part, TSplitPartType type) {
      types.push_back(type);
      name = part == 1 ? dir.File("first-part.bin") : dir.File("named.zip");
    };
    zip.SetZipName(dir.File("named.zip"));
    zip.LoadDirectory();
    ExtractAll(zip, dir);  // the last part is named as the last while extracting
    EXPECT_EQ(types, (std::vector<TSplitPartType>{spFirst, spLast}));
    EXPECT_EQ(zip.ZipName(), dir.File("named.zip"));
  }
}

TEST(DirectoryReader, DiskPartsAreAskedForThroughTheMessageRoutine) {
  test::TempDir dir;
  const std::string last = WriteTwoPartSet(dir, "disk.z01", "disk.zip");
  TUnZipper zip;
  zip.SetZipName(last);
  zip.LoadDirectory();
  zip.SpanMode = smRemovableDisks;  // as if the set were on removable disks
  zip.CheckPartLabels = false;
  std::vector<std::string> asked;
  zip.OnHandleMessage = [&](TUnZipper*, int id, const std::string& msg1, const std::string&,
                            uint32_t flags, int& result) {
    asked.push_back(std::to_string(id) + " " + msg1 + " " + std::to_string(flags));
    result = platform::kIdCancel;
  };
  ExpectRaises<EUserCanceled>([&] { ExtractAll(zip, dir); }, "User canceled loading new disk.");
  EXPECT_EQ(asked, std::vector<std::string>{"184 Please insert disk 1 of the multi-disk set. 1"});

  zip.OnGetNextDisk = [&](TUnZipper*, int disk, std::string& name) {
    name = disk == 1 ? dir.File("disk.z01") : "";
  };
  ExpectRaises<EUserCanceled>([&] { ExtractAll(zip, dir); }, "User canceled loading new disk.");
  EXPECT_EQ(test::ReadFileBytes(dir.File("out\\a.txt")), "alpha");  // from the first disk
  EXPECT_EQ(zip.ZipName(), dir.File("disk.z01"));
}

TEST(DirectoryReader, AFailedLabelTestAsksForTheDiskAgain) {
  test::TempDir dir;
  const std::string last = WriteTwoPartSet(dir, "label.z01", "label.zip");
  TUnZipper zip;
  zip.SetZipName(last);
  zip.LoadDirectory();
  zip.SpanMode = smRemovableDisks;  // the temporary directory's volume has no label "...001"
  int asked = 0;
  zip.OnGetNextDisk = [&](TUnZipper*, int, std::string& name) {
    name = ++asked == 1 ? dir.File("label.z01") : "";
  };
  ExpectRaises<EUserCanceled>([&] { ExtractAll(zip, dir); }, "User canceled loading new disk.");
  EXPECT_EQ(asked, 2);
}

TEST(DirectoryReader, APauseLastsUntilTheFlagIsCleared) {
  TUnZipper zip;
  int pumped = 0;
  platform::SetMessagePump([&] {
    zip.PauseRequested = ++pumped < 2;
    return false;
  });
  zip.PauseRequested = true;
  zip.WaitWhilePaused();
  platform::SetMessagePump(nullptr);
  EXPECT_EQ(pumped, 2);
}

// Writes "big.zip" with the three entries' data and no directory, and returns the archive
// whose directory belongs into the companion file "big.zfc" (central headers only).
ZipArchive WriteDataWithoutDirectory(const test::TempDir& dir) {
  ZipArchive data = ThreeEntries();
  for (ZipEntry& entry : data.entries) entry.writeCentral = false;
  data.writeEnd = false;
  test::ZipLayout layout;
  test::WriteFileBytes(dir.File("big.zip"), test::BuildZip(data, &layout));
  ZipArchive central = ThreeEntries();
  for (size_t i = 0; i < central.entries.size(); ++i) {
    central.entries[i].writeLocal = false;
    central.entries[i].localHeaderOffset = static_cast<uint32_t>(layout.localHeaderOffsets[i]);
  }
  return central;
}

TEST(DirectoryReader, CompanionFileHoldsTheDirectoryOfAnArchiveWithoutOne) {
  test::TempDir dir;
  ZipArchive central = WriteDataWithoutDirectory(dir);
  test::WriteFileBytes(dir.File("big.zfc"), test::BuildZip(central));
  TUnZipper zip;
  zip.SetZipName(dir.File("big.zip"));
  zip.LoadDirectory();
  EXPECT_EQ(Names(zip), kThreeNames);
  EXPECT_FALSE(zip.ArchiveIsBad);
  EXPECT_EQ(zip.SortedEntries->Items(2)->GetLocalHeaderOffset64(),
            central.entries[2].localHeaderOffset);
}

TEST(DirectoryReader, CancelFromThePumpEndsTheReadAndClearsTheArchive) {
  test::TempDir dir;
  Loaded loaded(dir, "cancel.zip", test::BuildZip(ThreeEntries()));
  platform::SetMessagePump([&loaded] {
    loaded.zip.CancelRequested = true;
    return false;
  });
  ExpectRaises<EUserCanceled>([&] { loaded.zip.LoadDirectory(); }, "User Aborted Operation");
  platform::SetMessagePump(nullptr);
  EXPECT_EQ(loaded.zip.ZipName(), "");
  EXPECT_FALSE(loaded.zip.CancelRequested);
  loaded.zip.DoProcessMessages = false;  // no pumping: nothing to cancel
  loaded.zip.SetZipName(loaded.path);
  loaded.zip.LoadDirectory();
  EXPECT_EQ(loaded.zip.EntryCount(), 3);
}

TEST(DirectoryReader, MissingArchiveRaisesTheOpenErrorAndClears) {
  test::TempDir dir;
  TUnZipper zip;
  zip.SetZipName(dir.File("missing.zip"));
  EXPECT_THROW(zip.LoadDirectory(), EFOpenError);
  EXPECT_EQ(zip.ZipName(), "");
}

TEST(DirectoryReader, AQuestionMarkAsksForTheArchive) {
  test::TempDir dir;
  TUnZipper zip;
  ExpectRaises<EUserCanceled>([&] { zip.SetZipName(dir.File("?")); },
                              "User canceled setting zip file name.");
  std::string seenTitle, seenDir;
  platform::SetFileOpenHandler([&](const std::string& title, const std::string&,
                                   const std::string& initialDir, std::string* chosen) {
    seenTitle = title;
    seenDir = initialDir;
    *chosen = dir.File("picked.zip");
    return true;
  });
  zip.SetZipName(dir.File("?"));
  platform::SetFileOpenHandler(nullptr);
  EXPECT_EQ(zip.ZipName(), dir.File("picked.zip"));
  EXPECT_EQ(seenTitle, "Open a Zip File");
  EXPECT_EQ(seenDir, dir.Path() + "\\");
}

TEST(DirectoryReader, MessagesGoToTheHandlerElseTakeTheSafeAnswer) {
  TUnZipper zip;
  EXPECT_EQ(zip.HandleMessage(196, "Replace existing file a.txt?", "File Exists Alert",
                              platform::kMbYesNo),
            platform::kIdNo);
  EXPECT_EQ(zip.HandleMessage(184, "insert", "", platform::kMbOkCancel), platform::kIdCancel);
  zip.OnHandleMessage = [](TUnZipper*, int id, const std::string&, const std::string&, uint32_t,
                           int& result) { result = id == 196 ? platform::kIdYes : 0; };
  EXPECT_EQ(zip.HandleMessage(196, "q", "c", platform::kMbYesNo), platform::kIdYes);
}

TEST(DirectoryReader, ARebuildBelongsToTheReadThatMadeIt) {
  test::TempDir dir;
  ZipArchive stubbed = ThreeEntries();
  stubbed.prefix = std::string(100, 'S');
  stubbed.end.centralOffset = 3;  // unusable: forces the rebuild
  ZipArchive good;
  good.entries = {test::StoredEntry("only.txt", "x"), test::StoredEntry("two.txt", "yy")};
  ZipArchive damaged = good;
  damaged.end.centralOffset = 3;
  struct Case {
    const ZipArchive* next;
    bool rebuilt;
  } cases[] = {{&good, false}, {&damaged, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rebuilt ? "damaged" : "good");
    Loaded loaded(dir, "versions.zip", test::BuildZip(stubbed));
    StampFileTime(loaded.path, test::kSomeDosDateTime);
    loaded.zip.LoadDirectory();
    ASSERT_TRUE(loaded.zip.ArchiveIsBad);
    // The next version of the same file, as an updater meets it.
    test::WriteFileBytes(loaded.path, test::BuildZip(*c.next));
    StampFileTime(loaded.path, test::kSomeDosDateTime + 2);
    loaded.zip.LoadDirectory();
    EXPECT_EQ(Names(loaded.zip), (std::vector<std::string>{"only.txt", "two.txt"}));
    EXPECT_EQ(loaded.zip.ArchiveIsBad, c.rebuilt);
  }
}

TEST(DirectoryReader, ACentralHeaderIsMergedOnlyIntoTheLocalHeaderItDescribes) {
  // "b.txt" and "a.txt" have local headers; another central header, before the one of "a.txt",
  // names the local header of "a.txt" too, which makes the directory a rebuilt one. Its
  // attributes 0x01 show whether it was merged; unmerged, "a.txt" keeps its local header's
  // values (attributes 0).
  struct Case {
    const char* name;
    std::string data;
    bool localDescriptor;  // "a.txt" keeps its CRC and sizes in a data descriptor
    const char* expectedName;
    bool merged;
  } cases[] = {
      {"a.txt", "other data", false, "a.txt", true},         // the same name
      {"renamed.txt", "alpha", false, "renamed.txt", true},  // the same CRC and sizes
      {"other.txt", "other data", false, "a.txt", false},
      // An empty "a.txt" whose local header leaves its (zero) CRC and sizes to the descriptor:
      // zeros there vouch for nothing.
      {"other.txt", "", true, "a.txt", false},
      {"a.txt", "zzz", true, "a.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.localDescriptor ? " descriptor" : ""));
    test::TempDir dir;
    ZipArchive archive;
    ZipEntry target = test::StoredEntry("a.txt", c.localDescriptor ? "" : "alpha");
    if (c.localDescriptor) {
      target.flags = 0x08;
      target.afterData = test::DataDescriptor(0, 0, 0);
    }
    ZipEntry alias = test::StoredEntry(c.name, c.data);
    alias.writeLocal = false;
    alias.externalAttributes = 0x01;
    archive.entries = {test::StoredEntry("b.txt", "bravo bravo"), alias, target};
    test::ZipLayout layout;
    test::BuildZip(archive, &layout);
    archive.entries[1].localHeaderOffset = static_cast<uint32_t>(layout.localHeaderOffsets[2]);
    Loaded loaded(dir, "alias.zip", test::BuildZip(archive));
    loaded.zip.LoadDirectory();
    EXPECT_TRUE(loaded.zip.ArchiveIsBad);
    EXPECT_EQ(Names(loaded.zip), (std::vector<std::string>{"b.txt", c.expectedName}));
    EXPECT_EQ(loaded.zip.SortedEntries->Items(1)->ExternalAttributes, c.merged ? 0x01u : 0u);
    if (!c.merged && !c.localDescriptor) {
      // The entry found from its local header is whole: it extracts and passes its CRC.
      loaded.zip.SetDestDir(dir.File("out"));
      loaded.zip.DoAll = true;
      EXPECT_EQ(loaded.zip.UnZip(), 2);
      EXPECT_EQ(test::ReadFileBytes(dir.File("out\\a.txt")), "alpha");
      EXPECT_EQ(test::ReadFileBytes(dir.File("out\\b.txt")), "bravo bravo");
    }
  }
}

TEST(DirectoryReader, CompanionCommentsComeFromTheCompanionFileOrAreEmpty) {
  test::TempDir dir;
  ZipArchive central = WriteDataWithoutDirectory(dir);
  central.entries[2].comment = "entry comment";
  central.end.comment = "archive comment";
  test::WriteFileBytes(dir.File("big.zfc"), test::BuildZip(central));
  {
    TUnZipper zip;
    zip.SetZipName(dir.File("big.zip"));
    zip.LoadDirectory();
    EXPECT_EQ(Names(zip), kThreeNames);
    EXPECT_EQ(zip.EntryComment(2), "entry comment");
    EXPECT_EQ(zip.EntryComment(0), "");
    EXPECT_EQ(zip.ArchiveComment(), "archive comment");
  }
  // An archive comment that claims more bytes than the companion file holds.
  central.end.comment = "short";
  central.end.commentLength = 200;
  test::WriteFileBytes(dir.File("big.zfc"), test::BuildZip(central));
  TUnZipper zip;
  zip.SetZipName(dir.File("big.zip"));
  zip.LoadDirectory();
  EXPECT_EQ(Names(zip), kThreeNames);
  EXPECT_EQ(zip.ArchiveComment(), "");
  EXPECT_EQ(zip.EntryComment(2), "entry comment");
}

TEST(DirectoryReader, AZip64SizeAtTheLimitWithADataDescriptorEndsTheRebuild) {
  // A local header whose Zip64 block claims 2^63 - 1 compressed bytes, followed by a data
  // descriptor: the next header would lie beyond every 64-bit position.
  // The input is also a seed of the directory fuzzer.
  const std::string bytes = test::ReadFileBytes(
      test::SourceFile("fuzz/corpus/directory_fuzz/zip64_size_with_descriptor.zip"));
  ASSERT_EQ(bytes.size(), 92u);
  test::TempDir dir;
  for (TIncompleteZipMode mode : {izAssumeMulti, izAssumeBad, izAssumeNotAZip}) {
    SCOPED_TRACE(static_cast<int>(mode));
    Loaded loaded(dir, "limit.zip", bytes);
    loaded.zip.IncompleteZipMode = mode;
    try {
      loaded.zip.LoadDirectory();
      EXPECT_EQ(Names(loaded.zip), std::vector<std::string>{"a.txt"});
    } catch (const EUnZipException&) {
      // Refusing the archive is as good as listing its entry.
    }
  }
}

}  // namespace
