// The archive's first and second check, through the one handle held from the first check to the
// end of the extraction.
#include "app/run/checked_archive.h"

#include <algorithm>
#include <iterator>

#include "app/app_paths.h"
#include "app/update_log.h"
#include "app/update_transaction.h"
#include "platform/error_text.h"
#include "platform/path_text.h"
#include "signing/update_signature.h"

std::string ArchiveChangedText(const std::string& what) {
  return NotAppliedText(std::string(kArchiveName) + " " + what +
                        "; it is applied as checked or not at all");
}

TRefusal TCheckedArchive::OpenAndHash(const TRunContext& run,
                                      uint8_t (&digest)[platform::kSha256Length]) {
  const platform::PathKind kind = platform::LinkFreeKind(run.ZipFileName);
  if (kind == platform::PathKind::kUnknown) {
    return {NotCheckedText(std::string(kArchiveName) + " cannot be read: " +
                           platform::SystemErrorText(platform::LastError().code))};
  }
  if (kind != platform::PathKind::kFile) {
    return {NotAppliedText(std::string(kArchiveName) + " is " + platform::PathKindText(kind) +
                           ", not a regular file"),
            true};
  }
  // Others may read it meanwhile, but not write, rename or delete it (on Windows; on POSIX the
  // stamps below tell).
  platform::File file =
      platform::File::Open(run.ZipFileName, platform::kOpenRead | platform::kShareDenyWrite);
  platform::FileStamp stamp;
  if (!file.IsOpen() || !file.ReadStamp(&stamp) || !platform::Sha256OfOpenFile(file, digest)) {
    return {NotCheckedText(platform::ErrorText(platform::LastError(), run.ZipFileName))};
  }
  platform::FileStamp after;
  if (!file.ReadStamp(&after)) {
    return {NotCheckedText(platform::ErrorText(platform::LastError(), run.ZipFileName))};
  }
  if (!(after == stamp)) return {ArchiveChangedText("changed while it was checked")};
  if (file_.IsOpen() && !stamp.SameFileAs(stamp_)) {
    return {ArchiveChangedText("was replaced after it was checked")};
  }
  if (file_.IsOpen() && !(stamp == stamp_)) {
    return {ArchiveChangedText("changed after it was checked")};
  }
  file_ = std::move(file);
  stamp_ = stamp;
  return {};
}

TRefusal TCheckedArchive::Check(const TRunContext& run) {
  const std::string dir = platform::WithoutTrailingBackslash(run.AppDir);
  signatureRequired_ = signing::UpdateSignatureRequired(dir);
  const TRefusal refusal = OpenAndHash(run, digest_);
  if (!refusal.Passed()) return refusal;
  hashed_ = true;
  if (signatureRequired_) {
    const signing::SignatureCheck check =
        signing::CheckUpdateSignatureOfDigest(dir, kArchiveName, digest_);
    if (!check.Verified) return {signing::SignatureRefusalText(check), !check.KeyProblem};
    run.Log.Write("the signature of " + std::string(kArchiveName) + " was verified");
  }
  return {};
}

TRefusal TCheckedArchive::CheckAgain(const TRunContext& run) {
  if (!file_.IsOpen()) return {NotCheckedText("the archive was not opened")};
  // The name must still lead to the file that was checked, and that file must hold what it held.
  uint8_t digest[platform::kSha256Length];
  const TRefusal refusal = OpenAndHash(run, digest);
  if (!refusal.Passed()) return refusal;
  if (!signatureRequired_) {
    std::copy(std::begin(digest), std::end(digest), std::begin(digest_));
    return {};
  }
  if (!std::equal(std::begin(digest), std::end(digest), std::begin(digest_))) {
    return {ArchiveChangedText("changed after it was checked")};
  }
  // This check decides: the key and the signature are read again, and verified on the digest
  // of the bytes that are extracted next.
  const std::string dir = platform::WithoutTrailingBackslash(run.AppDir);
  const signing::SignatureCheck check =
      signing::CheckUpdateSignatureOfDigest(dir, kArchiveName, digest);
  if (!check.Verified) return {signing::SignatureRefusalText(check), !check.KeyProblem};
  run.Log.Write("the signature of " + std::string(kArchiveName) +
                " was verified again on the bytes that are applied");
  return {};
}

TUpdateJournal::TArchive TCheckedArchive::Identity() const {
  if (!hashed_) return {};
  return update_transaction::ArchiveIdentity(stamp_.Size, digest_);
}

bool TCheckedArchive::Unchanged() {
  platform::FileStamp after;
  return file_.ReadStamp(&after) && after == stamp_;
}
