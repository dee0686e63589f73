// update.zip as the checks found it: opened once, hashed through the handle that is kept, its
// signature verified on that digest when update.pub asks for signed updates, and held open from
// the first check to the end of the extraction. On Windows nobody can write, rename or delete it
// meanwhile; on POSIX a replaced or changed file is noticed by its stamps and refused.
#pragma once

#include <cstdint>
#include <string>

#include "app/archive_check.h"
#include "app/run/step_outcome.h"
#include "app/update_journal.h"
#include "platform/crypto.h"
#include "platform/files.h"

// "The update was not applied: update.zip <what>; it is applied as checked or not at all."
std::string ArchiveChangedText(const std::string& what);

class TCheckedArchive {
 public:
  // The first check, before anything is closed: opens and hashes the archive and, when
  // update.pub lies beside the updater, verifies its signature on that digest. A name that is
  // not a regular file, or a signature that does not verify, is a permanent refusal; one that
  // cannot be read is a passing one.
  TRefusal Check(const TRunContext& run);

  // The second check, after the program has gone, which decides: the name still leads to the
  // file held since the first check, that file holds what it held, and the key and signature,
  // read again, verify on the digest of the bytes that are extracted next.
  TRefusal CheckAgain(const TRunContext& run);

  // Whether the file still holds what it held at the check (read at the end of the extraction).
  bool Unchanged();

  // Lets go of the file: it is then deleted, kept or set aside.
  void Close() { file_.Close(); }

  // The archive as the journal names it (app/update_transaction.h); empty before it was hashed.
  TUpdateJournal::TArchive Identity() const;

  bool SignatureRequired() const { return signatureRequired_; }
  const platform::FileStamp& Stamp() const { return stamp_; }
  const uint8_t (&Digest() const)[platform::kSha256Length] { return digest_; }

 private:
  // Opens the archive and hashes it through the handle it keeps; the handle held before (if
  // any) must lead to the same file, unchanged.
  TRefusal OpenAndHash(const TRunContext& run, uint8_t (&digest)[platform::kSha256Length]);

  platform::File file_;
  platform::FileStamp stamp_;
  uint8_t digest_[platform::kSha256Length] = {};
  bool hashed_ = false;  // digest_ holds the file's SHA-256
  bool signatureRequired_ = false;
};
