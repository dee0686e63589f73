// update-pack show: reads the archive's directory with the archive component, extracts the release
// record with it (by way of a scratch directory), checks every entry's path with the release
// rules and the signature with the updater's own check.
#include "tools/update_pack_show.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "release/release_record.h"
#include "signing/update_signature.h"
#include "tools/archive_warnings.h"
#include "tools/update_pack_entries.h"
#include "tools/user_messages.h"
#include "unzip/entry_bytes.h"
#include "unzip/unzipper.h"

namespace {

class TShow {
 public:
  explicit TShow(const TPackOptions& options) : options_(options) {}
  int Run();

 private:
  void Problem(const std::string& text) {
    std::fprintf(stderr, "update-pack: %s\n", text.c_str());
    failed_ = true;
  }
  // The record's text, extracted by the component; false with the problem reported.
  bool ExtractRecord(int index, std::string* text);
  void ShowRecord();
  void ShowEntries();
  void ShowSignature();

  const TPackOptions& options_;
  TUnZipper zipper_;
  bool failed_ = false;
};

bool TShow::ExtractRecord(int index, std::string* text) {
  std::string reason;
  if (ExtractEntryBytes(zipper_, index, kMaxReleaseRecordSize, text, &reason)) return true;
  Problem(std::string("its ") + kReleaseRecordName + " cannot be extracted: " + reason);
  return false;
}

void TShow::ShowRecord() {
  const int found = FindTopLevelEntry(zipper_, kReleaseRecordName);
  if (found == -2) {
    Problem(std::string("it holds more than one ") + kReleaseRecordName +
            " or one in other letters' case");
    return;
  }
  if (found < 0) {
    std::printf("release record: none\n");
    Problem(std::string("it holds no release record (") + kReleaseRecordName + ")");
    return;
  }
  std::string text;
  if (!ExtractRecord(found, &text)) return;
  TReleaseRecord record;
  std::string reason;
  if (!ParseReleaseRecord(text, &record, &reason)) {
    Problem(std::string("its ") + kReleaseRecordName + " is not valid: " + reason);
    return;
  }
  std::printf("release record:\n");
  const std::string written = ReleaseRecordText(record);
  for (size_t start = 0; start < written.size();) {
    const size_t end = written.find('\n', start);
    std::printf("  %s\n", written.substr(start, end - start).c_str());
    start = end + 1;
  }
}

void TShow::ShowEntries() {
  uint64_t files = 0;
  uint64_t directories = 0;
  bool record = false;
  uint64_t size = 0;
  uint64_t packed = 0;
  const int count = zipper_.EntryCount();
  for (int i = 0; i < count; ++i) {
    const TZipHeaderInfo& entry = *zipper_.SortedEntries->Items(i);
    std::string path = entry.Directory + entry.FileName;
    if (entry.FileName.empty()) {
      if (!path.empty()) path.pop_back();  // a directory's final separator
      ++directories;
    } else if (path == kReleaseRecordName && !record) {
      record = true;
    } else {
      ++files;
    }
    size += entry.GetUncompressedSize64();
    packed += entry.GetCompressedSize64();
    std::string reason;
    if (path != kReleaseRecordName && !CheckReleasePath(path, &reason)) {
      Problem("its entry " + DisplayName(entry) + " cannot be applied by an updater: its path " +
              reason);
    }
  }
  std::printf("%s, %" PRIu64 " bytes, %" PRIu64 " bytes packed\n",
              EntriesText(record, files, directories).c_str(), size, packed);
}

void TShow::ShowSignature() {
  const std::string signature = options_.Archive + signing::kSignatureSuffix;
  const std::string shown = platform::DisplayPath(signature);
  if (options_.PublicKey.empty()) {
    const bool present = platform::ReadAttributes(signature) != platform::kInvalidAttributes;
    std::printf("signature: %s\n", present ? (shown + " not checked (no --key)").c_str() : "none");
    return;
  }
  const signing::SignatureCheck check =
      signing::CheckFileSignature(options_.PublicKey, options_.Archive, signature);
  if (check.Verified) {
    std::printf("signature: %s verified with %s\n", shown.c_str(),
                platform::DisplayPath(options_.PublicKey).c_str());
  } else {
    std::printf("signature: not verified\n");
    Problem("not verified: " + check.Reason);
  }
}

int TShow::Run() {
  zipper_.DoProcessMessages = false;
  zipper_.OnHandleMessage = [this](TUnZipper*, int, const std::string& msg1,
                                   const std::string& msg2, uint32_t flags, int& result) {
    Problem(msg2.empty() ? msg1 : msg2 + ": " + msg1);
    result = platform::SafeAnswer(flags);
  };
  try {
    zipper_.SetZipName(options_.Archive);
    // As extraction does: an incomplete archive passes the first read without a handler for it
    // and is refused by the second.
    zipper_.LoadDirectory();
    zipper_.OpenArchive();
    zipper_.CloseArchive();
  } catch (const Exception& e) {
    const platform::OsError failure = platform::LastError();
    std::fprintf(stderr, "update-pack: %s\n",
                 ArchiveFailureText(options_.Archive, e, failure).c_str());
    return 1;
  }
  std::printf("%s\n", platform::DisplayPath(options_.Archive).c_str());
  ShowRecord();
  ShowEntries();
  if (ReportArchiveWarnings(zipper_, options_.Archive, false)) failed_ = true;
  ShowSignature();
  return failed_ ? 1 : 0;
}

}  // namespace

int ShowPackage(const TPackOptions& options) {
  TShow show(options);
  return show.Run();
}
