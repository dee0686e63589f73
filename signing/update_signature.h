// The signature check of an update archive, in words: reads the public key and the signature
// files (with size limits), verifies through platform/signature.h and says why it refused. The
// updater and the publisher's tools link it; none of them includes another's headers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/signature.h"

namespace signing {

using platform::SignatureStatus;

// Beside the updater: the key that turns the check on, and the signature beside the archive.
constexpr const char* kUpdatePublicKeyName = "update.pub";
constexpr const char* kSignatureSuffix = ".sig";
// A DER signature of P-256 is at most 72 bytes and a PEM public key about 180: these limits
// only keep a wrong file from being read whole.
constexpr int64_t kMaxSignatureFileSize = 1024;
constexpr int64_t kMaxKeyFileSize = 16 * 1024;

struct SignatureCheck {
  bool Verified = false;
  std::string Reason;  // why not, in words, naming the file; empty when verified
  // The key of this installation is at fault (missing, unreadable, not a P-256 public key), or
  // the crypto library failed: the archive and its signature may well be good.
  bool KeyProblem = false;
};

// Verifies the file `archivePath` against its signature file `signaturePath` under the public
// key in `publicKeyPath`. Reasons name the files as given.
SignatureCheck CheckFileSignature(const std::string& publicKeyPath, const std::string& archivePath,
                                  const std::string& signaturePath);

// True when the updater in `directory` must check signatures: anything but "no such file" at
// "update.pub" (a link that leads nowhere, a loop of links, a directory, a name the system cannot
// look at): a key that cannot be read refuses every update rather than turning the check off.
bool UpdateSignatureRequired(const std::string& directory);

// The check of `directory`\`archiveName` against `archiveName`.sig under `directory`\update.pub.
// Reasons name the files without the directory.
SignatureCheck CheckUpdateSignature(const std::string& directory, const std::string& archiveName);
// The same check for an archive whose SHA-256 is `digest`, taken from a handle the caller holds,
// so that the bytes verified are the bytes the caller goes on to read.
SignatureCheck CheckUpdateSignatureOfDigest(const std::string& directory,
                                            const std::string& archiveName,
                                            const uint8_t (&digest)[platform::kSha256Length]);

// "The update was not applied: its signature could not be verified (<reason>)."; for a
// KeyProblem, a text that blames the key and says that the archive is kept.
std::string SignatureRefusalText(const SignatureCheck& check);

// Reads a whole file of at most `maxSize` bytes into `content`. A failure leaves a reason in
// `reason`, naming the file as `displayName` ("... is missing", "... is a link that leads
// nowhere", "... is not a regular file", "... is too large ...", "... cannot be read: <system
// text>"). Anything but a regular file (a FIFO, a device) is refused without being opened.
[[nodiscard]] bool ReadSmallFile(const std::string& path, const std::string& displayName,
                                 int64_t maxSize, std::string& content, std::string& reason);

// Creates `path`, which must not exist, holding `content`, flushed to the disk; with `secret`,
// only its owner may read it, set before anything is written. A failure leaves no part-written
// file and a reason in `reason` naming the file.
[[nodiscard]] bool WriteNewFile(const std::string& path, const std::string& content, bool secret,
                                std::string& reason);

// The publisher's signing step: signs the file `archivePath` with the PEM private key in the file
// `privateKeyPath` and writes the signature to `signaturePath`, replacing one that is there in
// one step (a new build of the archive needs a new signature). Reasons name the files as given.
[[nodiscard]] bool SignArchiveFile(const std::string& privateKeyPath,
                                   const std::string& archivePath, const std::string& signaturePath,
                                   std::string& reason);

// The words for a status of platform/signature.h, naming the key (of `keyKind`, "public" or
// "private"), signature and archive files. kFileUnreadable and kLibraryFailure take their detail
// from LastError().
std::string SignatureStatusText(SignatureStatus status, const char* keyKind,
                                const std::string& keyName, const std::string& signatureName,
                                const std::string& archiveName);

}  // namespace signing
