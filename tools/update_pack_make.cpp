// update-pack make: checks the command's paths, lists the trees, plans the package, writes it
// beside its final name, signs it, writes its release record beside it, and only then gives it
// that name, so that a failure leaves no archive (nor a signature or record) that could be
// shipped by mistake.
#include "tools/update_pack_make.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/files.h"
#include "release/release_record.h"
#include "signing/update_signature.h"
#include "tools/update_pack_diff.h"
#include "tools/update_pack_entries.h"
#include "tools/update_pack_progress.h"
#include "tools/update_pack_tree.h"
#include "tools/update_pack_zip.h"

namespace {

constexpr int kFailed = 1;
// The record's time when the tree has nothing to take one from: 1980-01-01 00:00:00 UTC.
constexpr int64_t kEarliestDosTime = 315532800;
constexpr int32_t kRecordPermissions = 0644;
constexpr char kRecordSuffix[] = ".release";

int Fail(const std::string& message) {
  std::fprintf(stderr, "update-pack: %s\n", message.c_str());
  return kFailed;
}

std::string Shown(const std::string& path) {
  return platform::DisplayPath(path);
}

// Whether `inner` is `outer` or lies below it, by their absolute paths (letter case aside, as
// Windows compares them).
bool LiesWithin(const std::string& inner, const std::string& outer) {
  std::string a = platform::ExpandFileName(inner);
  std::string b = platform::ExpandFileName(outer);
  if (a.empty() || b.empty()) return false;
  if (b.back() != '\\') b += '\\';
  if (a.back() != '\\') a += '\\';
  return a.size() >= b.size() && platform::EqualsIgnoringAsciiCase(a.substr(0, b.size()), b);
}

// The release record kept beside a package or a release tree: "releases\2.1.zip" and the tree
// "releases\2.1" share "releases\2.1.release", so that the next release's --from finds the
// version of the tree it is made from.
std::string RecordBeside(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  constexpr std::string_view kZip = ".zip";
  if (path.size() > kZip.size() &&
      platform::EqualsIgnoringAsciiCase(std::string_view(path).substr(path.size() - kZip.size()),
                                        kZip)) {
    path.resize(path.size() - kZip.size());
  }
  return path + kRecordSuffix;
}

class TPackJob {
 public:
  explicit TPackJob(const TPackOptions& options)
      : options_(options),
        partPath_(options.Output + ".part"),
        signaturePath_(options.Output + signing::kSignatureSuffix),
        recordPath_(RecordBeside(options.Output)) {}

  int Run();

 private:
  bool CheckPaths(std::string* reason) const;
  // The release that OLD_DIR holds: the version of its record (in it, or beside it), or
  // --from-version.
  bool FindFromVersion(std::string* reason);
  bool Plan(std::string* reason);
  bool Write(std::string* reason);
  bool SignAndName(std::string* reason);
  // Removes what SignAndName made before it failed.
  void Retract(bool signature, bool record) const;
  void Report() const;

  const TPackOptions& options_;
  std::string partPath_;
  std::string signaturePath_;
  std::string recordPath_;
  std::vector<TReleaseItem> newTree_;
  std::vector<TReleaseItem> oldTree_;
  TPackPlan plan_;
  TReleaseRecord record_;
  uint64_t packedBytes_ = 0;
  uint64_t archiveSize_ = 0;
  TPackProgress progress_;
};

bool TPackJob::CheckPaths(std::string* reason) const {
  const TPackOptions& o = options_;
  for (const std::string* dir : {&o.NewDir, &o.OldDir}) {
    if (dir->empty()) continue;
    const uint32_t attributes = platform::ReadAttributes(*dir);
    if (attributes == platform::kInvalidAttributes ||
        (attributes & platform::kAttrDirectory) == 0) {
      *reason = Shown(*dir) + " is not a directory";
      return false;
    }
  }
  if (!o.OldDir.empty() && (platform::SameFile(o.OldDir, o.NewDir) ||
                            LiesWithin(o.OldDir, o.NewDir) || LiesWithin(o.NewDir, o.OldDir))) {
    *reason = "the old release " + Shown(o.OldDir) + " and the new one " + Shown(o.NewDir) +
              " must be two separate directories";
    return false;
  }
  for (const std::string* dir : {&o.NewDir, &o.OldDir}) {
    if (!dir->empty() && LiesWithin(o.Output, *dir)) {
      *reason = "the archive " + Shown(o.Output) + " would lie inside the release " + Shown(*dir);
      return false;
    }
  }
  for (const std::string* made : {&o.Output, &recordPath_}) {
    if (platform::LinkFreeKind(*made) != platform::PathKind::kMissing) {
      *reason = Shown(*made) + " exists already; it is not overwritten";
      return false;
    }
  }
  if (o.SigningKey.empty()) {
    if (platform::ReadAttributes(signaturePath_) != platform::kInvalidAttributes) {
      *reason = Shown(signaturePath_) +
                " exists already and would not match the new archive; "
                "remove it, or sign the archive with --sign";
      return false;
    }
    return true;
  }
  // The key is read now as well, so that a wrong path fails before the packing.
  std::string key;
  return signing::ReadSmallFile(o.SigningKey, "the private key file " + Shown(o.SigningKey),
                                signing::kMaxKeyFileSize, key, *reason);
}

bool TPackJob::FindFromVersion(std::string* reason) {
  TInstalledRelease old = ReadInstalledRelease(options_.OldDir);
  std::string found = Shown(options_.OldDir) + "'s " + kReleaseRecordName;
  const std::string beside = RecordBeside(options_.OldDir);
  if (old.State == TInstalledRelease::irAbsent) {
    old = ReadReleaseRecordFile(beside);
    found = "the release record " + Shown(beside);
  }
  const std::string& given = options_.FromVersion;
  switch (old.State) {
    case TInstalledRelease::irInvalid:
      *reason = old.Reason;
      return false;
    case TInstalledRelease::irAbsent:
      if (given.empty()) {
        *reason = Shown(options_.OldDir) + " has no " + kReleaseRecordName + ", nor " +
                  Shown(beside) + " beside it (which packing it with -o " +
                  Shown(beside.substr(0, beside.size() - std::strlen(kRecordSuffix))) +
                  ".zip writes); give its version with --from-version";
        return false;
      }
      record_.From = given;
      return true;
    case TInstalledRelease::irPresent:
      break;
  }
  if (old.Record.Product != options_.Product) {
    *reason = found + " names the product " + old.Record.Product + ", not " + options_.Product;
    return false;
  }
  if (!given.empty() && CompareVersions(given, old.Record.Version) != 0) {
    *reason = "--from-version " + given + " differs from the version " + old.Record.Version +
              " in " + found;
    return false;
  }
  record_.From = old.Record.Version;
  return true;
}

bool TPackJob::Plan(std::string* reason) {
  if (!ListReleaseTree(options_.NewDir, false, &newTree_, reason) ||
      !CheckLetterCase(newTree_, options_.NewDir, reason)) {
    return false;
  }
  record_.Product = options_.Product;
  record_.Version = options_.Version;
  if (options_.OldDir.empty()) {
    plan_ = PlanFullPackage(newTree_);
  } else {
    if (!FindFromVersion(reason) || !ListReleaseTree(options_.OldDir, true, &oldTree_, reason)) {
      return false;
    }
    uint64_t comparable = 0;
    for (const TReleaseItem& item : newTree_) comparable += item.Size;
    progress_.Begin("comparing", comparable);
    const bool planned = PlanChangesOnly(
        newTree_, oldTree_, [this](uint64_t bytes) { progress_.Advance(bytes); }, &plan_, reason);
    progress_.End();
    if (!planned) return false;
    for (std::string path : plan_.Removals) {
      std::replace(path.begin(), path.end(), '/', '\\');  // the record's own form
      record_.Removals.push_back(std::move(path));
    }
  }
  // The record must read back as the updater will read it (a "from" older than the version,
  // paths of the rules): the parser is the judge.
  TReleaseRecord check;
  std::string why;
  if (!ParseReleaseRecord(ReleaseRecordText(record_), &check, &why)) {
    *reason = "the release record would not be valid: " + why;
    return false;
  }
  return true;
}

bool TPackJob::Write(std::string* reason) {
  // The record and the directories take the time of the newest file (never a directory's own):
  // the same files give the same bytes.
  int64_t newest = kEarliestDosTime;
  for (const TReleaseItem& item : newTree_) {
    if (!item.IsDirectory) newest = std::max(newest, item.ModifiedTime);
  }
  const int32_t permissions =
      platform::ReadPermissions(options_.NewDir) < 0 ? -1 : kRecordPermissions;
  const TZipEntryInfo recordInfo{kReleaseRecordName, newest, permissions, platform::kAttrArchive};
  (void)platform::RemoveFile(partPath_);  // left by an earlier run that failed, if at all
  TZipWriter zip;
  if (!zip.Create(partPath_, reason) ||
      !zip.AddBytes(recordInfo, ReleaseRecordText(record_), reason)) {
    return false;
  }
  uint64_t total = 0;
  for (const TReleaseItem* item : plan_.Entries) total += item->Size;
  progress_.Begin("packing", total);
  const auto advance = [this](uint64_t bytes) { progress_.Advance(bytes); };
  for (const TReleaseItem* item : plan_.Entries) {
    const TZipEntryInfo info{item->Path, item->IsDirectory ? newest : item->ModifiedTime,
                             item->Permissions, item->Attributes};
    const bool added = item->IsDirectory
                           ? zip.AddDirectory(info, reason)
                           : zip.AddFile(info, item->SourcePath, item->Size, advance, reason);
    if (!added) {
      progress_.End();
      return false;
    }
    packedBytes_ += item->Size;
  }
  progress_.End();
  if (!zip.Finish(reason)) return false;
  archiveSize_ = zip.Size();
  return true;
}

bool TPackJob::SignAndName(std::string* reason) {
  const bool signing = !options_.SigningKey.empty();
  if (signing &&
      !signing::SignArchiveFile(options_.SigningKey, partPath_, signaturePath_, *reason)) {
    return false;
  }
  if (!signing::WriteNewFile(recordPath_, ReleaseRecordText(record_), false, *reason)) {
    Retract(signing, false);
    return false;
  }
  if (platform::RenameFile(partPath_, options_.Output)) return true;
  *reason = Shown(options_.Output) +
            " cannot be written: " + platform::SystemErrorText(platform::LastError().code);
  Retract(signing, true);
  return false;
}

void TPackJob::Retract(bool signature, bool record) const {
  // They describe no archive now; the failure itself is reported.
  if (signature) (void)platform::RemoveFile(signaturePath_);
  if (record) (void)platform::RemoveFile(recordPath_);
}

void TPackJob::Report() const {
  for (const std::string& note : plan_.Notes) {
    std::fprintf(stderr, "update-pack: note: %s\n", note.c_str());
  }
  size_t files = 0;
  for (const TReleaseItem* item : plan_.Entries) files += item->IsDirectory ? 0 : 1;
  const std::string kind =
      record_.From.empty() ? "the whole release" : "the changes from " + record_.From;
  std::printf("%s: %s %s, %s in %s", Shown(options_.Output).c_str(), record_.Product.c_str(),
              record_.Version.c_str(), kind.c_str(),
              EntriesText(true, files, plan_.Entries.size() - files).c_str());
  if (!record_.From.empty()) {
    std::printf(", %s left out as unchanged, %s",
                Counted(plan_.UnchangedFiles, "file", "files").c_str(),
                Counted(record_.Removals.size(), "removal", "removals").c_str());
  }
  std::printf("; %" PRIu64 " bytes in an archive of %" PRIu64 " bytes\n", packedBytes_,
              archiveSize_);
  std::printf("%s: its release record\n", Shown(recordPath_).c_str());
  if (!options_.SigningKey.empty()) {
    std::printf("%s: signed with %s\n", Shown(signaturePath_).c_str(),
                Shown(options_.SigningKey).c_str());
  }
}

int TPackJob::Run() {
  std::string reason;
  if (!CheckPaths(&reason) || !Plan(&reason)) return Fail(reason);
  if (!Write(&reason) || !SignAndName(&reason)) {
    (void)platform::RemoveFile(partPath_);  // the failure is reported; the file is of no use
    return Fail(reason);
  }
  Report();
  return 0;
}

}  // namespace

int MakePackage(const TPackOptions& options) {
  TPackJob job(options);
  return job.Run();
}
