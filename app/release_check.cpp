// The release check: the archive's record against the installed one.
#include "app/release_check.h"

#include "app/app_paths.h"
#include "platform/ascii_case.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "release/release_record.h"
#include "signing/update_signature.h"
#include "unzip/entry_bytes.h"
#include "unzip/unzipper.h"

namespace {

TRefusal Refused(const std::string& why, bool permanent = true) {
  return {NotAppliedText(why), permanent};
}

// Whether the removal `path` names the file `name` at the top of the program directory: by its
// spelling in any letter case, or as the same file on the disk (another spelling on a file
// system that does not tell cases apart).
bool NamesFile(const std::string& appDir, const std::string& path, const std::string& name) {
  if (name.empty()) return false;
  if (platform::EqualsIgnoringAsciiCase(path, name)) return true;
  return platform::FileExists(appDir + path) && platform::FileExists(appDir + name) &&
         platform::SameFile(appDir + path, appDir + name);
}

}  // namespace

TRefusal ReadArchiveRelease(TUnZipper& directory, TArchiveRelease* release) {
  *release = {};
  const int found = FindTopLevelEntry(directory, kReleaseRecordName);
  if (found == -2) {
    return Refused(std::string(kArchiveName) + " holds more than one " + kReleaseRecordName +
                   ", or one spelt in other letters");
  }
  if (found < 0) return {};
  std::string reason;
  if (!ExtractEntryBytes(directory, found, kMaxReleaseRecordSize, &release->Text, &reason)) {
    return Refused(std::string(kArchiveName) + "'s release record cannot be read: " + reason);
  }
  release->Present = true;
  return {};
}

TRefusal CheckRelease(const std::string& appDir, const TArchiveRelease& archive,
                      bool signatureRequired, const std::string& mainExeName,
                      const std::string& updaterName, std::vector<std::string>* removals) {
  removals->clear();
  const TInstalledRelease installed = ReadInstalledRelease(appDir);
  if (!archive.Present) {
    // Signed updates bind product and version once a release is installed; otherwise an archive
    // without a record is any archive.
    if (signatureRequired && installed.State != TInstalledRelease::irAbsent) {
      return Refused(std::string(kArchiveName) + " carries no release record");
    }
    return {};
  }
  TReleaseRecord record;
  std::string reason;
  if (!ParseReleaseRecord(archive.Text, &record, &reason)) {
    return Refused(std::string(kArchiveName) + "'s release record is not valid (" + reason + ")");
  }
  for (const std::string& path : record.Removals) {
    // The key that signed updates are checked with is never taken away by one (a signed
    // package may bring a new one); the record's reader refuses the updater's own names.
    if (NamesFile(appDir, path, signing::kUpdatePublicKeyName)) {
      return Refused(std::string(kArchiveName) + "'s release record removes " + path +
                     ", the key that updates are checked with");
    }
    for (const std::string& kept : {mainExeName, updaterName}) {
      if (NamesFile(appDir, path, kept)) {
        return Refused(std::string(kArchiveName) + "'s release record removes " + path +
                       (kept == mainExeName ? ", the main program" : ", the updater itself"));
      }
    }
  }
  // An installed record that cannot be read could be of any product and version: the check
  // cannot run, and the update waits until it can (the archive is kept).
  if (installed.State == TInstalledRelease::irInvalid) {
    return Refused("the installed release cannot be told (" + installed.Reason + ")", false);
  }
  if (installed.State == TInstalledRelease::irPresent) {
    const TReleaseRecord& current = installed.Record;
    if (record.Product != current.Product) {
      return Refused(std::string(kArchiveName) + " is for " + record.Product + ", not for " +
                     current.Product);
    }
    if (CompareVersions(record.Version, current.Version) <= 0) {
      return Refused(std::string(kArchiveName) + " holds version " + record.Version + "; version " +
                     current.Version + " is installed");
    }
    if (!record.From.empty() && CompareVersions(record.From, current.Version) != 0) {
      TRefusal refusal =
          Refused(std::string(kArchiveName) + " updates version " + record.From + "; version " +
                  current.Version + " is installed (a full package is needed)");
      refusal.NeedsFull = true;
      return refusal;
    }
  }
  *removals = record.Removals;
  return {};
}
