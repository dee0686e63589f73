// The signature check of an update archive in words, over the platform's verification.
#include "signing/update_signature.h"

#include <string>

#include "platform/files.h"

namespace signing {

using platform::File;
using platform::kOpenRead;
using platform::kShareDenyWrite;
using platform::LastError;
using platform::SystemErrorText;
using platform::VerifyFileSignature;
namespace {

// A key file holding a private key is a publisher's mistake worth naming: it must never ship.
bool HoldsPrivateKey(const std::string& pem) {
  return pem.find("PRIVATE KEY-----") != std::string::npos;
}

SignatureCheck Refused(std::string reason) {
  return SignatureCheck{false, std::move(reason), false};
}

SignatureCheck KeyRefused(std::string reason) {
  return SignatureCheck{false, std::move(reason), true};
}

// Whether a verification failed for the key or the library rather than for the signature.
bool IsKeyStatus(SignatureStatus status) {
  return status == SignatureStatus::kKeyNotPem || status == SignatureStatus::kKeyNotEcdsa ||
         status == SignatureStatus::kKeyWrongCurve || status == SignatureStatus::kLibraryFailure;
}

// Reads the key and the signature and verifies them with `verify`, which takes both texts.
template <typename Verify>
SignatureCheck Check(const std::string& keyPath, const std::string& keyName,
                     const std::string& archiveName, const std::string& signaturePath,
                     const std::string& signatureName, Verify verify) {
  std::string key;
  std::string reason;
  if (!ReadSmallFile(keyPath, "the public key file " + keyName, kMaxKeyFileSize, key, reason)) {
    return KeyRefused(reason);
  }
  if (HoldsPrivateKey(key)) {
    return KeyRefused(keyName + " holds a private key, not a public key");
  }
  std::string signature;
  if (!ReadSmallFile(signaturePath, "the signature file " + signatureName, kMaxSignatureFileSize,
                     signature, reason)) {
    return Refused(reason);
  }
  if (signature.empty()) return Refused("the signature file " + signatureName + " is empty");
  const SignatureStatus status = verify(key, signature);
  if (status == SignatureStatus::kOk) return SignatureCheck{true, std::string(), false};
  const std::string text =
      SignatureStatusText(status, "public", keyName, signatureName, archiveName);
  return IsKeyStatus(status) ? KeyRefused(text) : Refused(text);
}

// Why the file at `path` cannot be read as a regular file; empty when it can be opened.
std::string NotRegularReason(const std::string& path, const std::string& displayName) {
  const platform::PathKind kind = platform::KindOfPath(path);
  if (kind == platform::PathKind::kFile) return "";
  if (kind == platform::PathKind::kMissing) {
    return platform::LinkFreeKind(path) == platform::PathKind::kLink
               ? displayName + " is a link that leads nowhere"
               : displayName + " is missing";
  }
  if (kind == platform::PathKind::kUnknown) {
    return displayName + " cannot be read: " + SystemErrorText(LastError().code);
  }
  return displayName + " is " + platform::PathKindText(kind) + ", not a regular file";
}

}  // namespace

bool ReadSmallFile(const std::string& path, const std::string& displayName, int64_t maxSize,
                   std::string& content, std::string& reason) {
  content.clear();
  reason = NotRegularReason(path, displayName);
  if (!reason.empty()) return false;
  File file = File::Open(path, kOpenRead | kShareDenyWrite);
  const int64_t size = file.IsOpen() ? file.Size() : -1;
  if (size < 0) {
    reason = displayName + " cannot be read: " + SystemErrorText(LastError().code);
    return false;
  }
  if (size > maxSize) {
    reason = displayName + " is too large (" + std::to_string(size) + " bytes; at most " +
             std::to_string(maxSize) + ")";
    return false;
  }
  // One byte more than allowed: a file that grew since Size() is caught as well.
  content.resize(static_cast<size_t>(maxSize) + 1);
  int32_t total = 0;
  for (;;) {
    const int32_t got =
        file.Read(content.data() + total, static_cast<int32_t>(maxSize) + 1 - total);
    if (got < 0) {
      reason = displayName + " cannot be read: " + SystemErrorText(LastError().code);
      content.clear();
      return false;
    }
    if (got == 0) break;
    total += got;
    if (total > maxSize) {
      reason = displayName + " is too large (more than " + std::to_string(maxSize) + " bytes)";
      content.clear();
      return false;
    }
  }
  content.resize(static_cast<size_t>(total));
  return true;
}

bool WriteNewFile(const std::string& path, const std::string& content, bool secret,
                  std::string& reason) {
  // In one step: nothing that is there is overwritten or written through, and a secret is
  // owner-only from its first byte.
  File file = File::CreateNew(path, secret);
  if (!file.IsOpen()) {
    reason = platform::LinkFreeKind(path) != platform::PathKind::kMissing
                 ? path + " exists already; it is not overwritten"
                 : path + " cannot be written: " + SystemErrorText(LastError().code);
    return false;
  }
  const bool written = file.Write(content.data(), static_cast<int32_t>(content.size())) ==
                           static_cast<int32_t>(content.size()) &&
                       file.FlushToDisk();
  if (!written) {
    reason = path + " cannot be written: " + SystemErrorText(LastError().code);
    file.Close();
    (void)platform::RemoveFile(path);  // a part-written key or signature is worse than none
  }
  return written;
}

bool SignArchiveFile(const std::string& privateKeyPath, const std::string& archivePath,
                     const std::string& signaturePath, std::string& reason) {
  std::string key;
  if (!ReadSmallFile(privateKeyPath, "the private key file " + privateKeyPath, kMaxKeyFileSize, key,
                     reason)) {
    return false;
  }
  std::string signature;
  const SignatureStatus status = platform::SignFile(key, archivePath, signature);
  if (status != SignatureStatus::kOk) {
    reason = SignatureStatusText(status, "private", privateKeyPath, signaturePath, archivePath);
    return false;
  }
  const std::string temporary = signaturePath + ".new";
  (void)platform::RemoveFile(temporary);  // left by an earlier run that failed, if at all
  if (!WriteNewFile(temporary, signature, false, reason)) return false;
  if (!platform::ReplaceFileAtomically(temporary, signaturePath)) {
    reason = signaturePath + " cannot be written: " + SystemErrorText(LastError().code);
    (void)platform::RemoveFile(temporary);  // the failure is reported; the file is of no use
    return false;
  }
  return true;
}

std::string SignatureStatusText(SignatureStatus status, const char* keyKind,
                                const std::string& keyName, const std::string& signatureName,
                                const std::string& archiveName) {
  switch (status) {
    case SignatureStatus::kOk:
      return std::string();
    case SignatureStatus::kKeyNotPem:
      return keyName + " holds no PEM " + keyKind + " key";
    case SignatureStatus::kKeyNotEcdsa:
      return keyName + " holds a key of another kind than ECDSA";
    case SignatureStatus::kKeyWrongCurve:
      return keyName + " holds an ECDSA key that does not name the curve P-256";
    case SignatureStatus::kKeyWithoutPublicPoint:
      return keyName +
             " holds a private key without its own public key, which this build needs to sign "
             "with it; make the key with update-sign keygen or openssl genpkey, which write both";
    case SignatureStatus::kSignatureMalformed:
      return "the signature file " + signatureName + " holds no DER-encoded ECDSA signature";
    case SignatureStatus::kMismatch:
      return "the signature in " + signatureName + " does not match " + archiveName +
             " under the key in " + keyName;
    case SignatureStatus::kFileUnreadable:
      return archiveName + " cannot be read: " + SystemErrorText(LastError().code);
    case SignatureStatus::kLibraryFailure:
      return "the crypto library failed (" + LastError().operation + ", error " +
             std::to_string(LastError().code) + ")";
  }
  return "unknown status";
}

SignatureCheck CheckFileSignature(const std::string& publicKeyPath, const std::string& archivePath,
                                  const std::string& signaturePath) {
  const std::string notRegular = NotRegularReason(archivePath, archivePath);
  if (!notRegular.empty()) return Refused(notRegular);
  return Check(publicKeyPath, publicKeyPath, archivePath, signaturePath, signaturePath,
               [&](const std::string& key, const std::string& signature) {
                 return VerifyFileSignature(key, signature, archivePath);
               });
}

bool UpdateSignatureRequired(const std::string& directory) {
  return platform::LinkFreeKind(directory + "\\" + kUpdatePublicKeyName) !=
         platform::PathKind::kMissing;
}

SignatureCheck CheckUpdateSignature(const std::string& directory, const std::string& archiveName) {
  const std::string archivePath = directory + "\\" + archiveName;
  const std::string notRegular = NotRegularReason(archivePath, archiveName);
  if (!notRegular.empty()) return Refused(notRegular);
  const std::string signatureName = archiveName + kSignatureSuffix;
  return Check(directory + "\\" + kUpdatePublicKeyName, kUpdatePublicKeyName, archiveName,
               directory + "\\" + signatureName, signatureName,
               [&](const std::string& key, const std::string& signature) {
                 return VerifyFileSignature(key, signature, archivePath);
               });
}

SignatureCheck CheckUpdateSignatureOfDigest(const std::string& directory,
                                            const std::string& archiveName,
                                            const uint8_t (&digest)[platform::kSha256Length]) {
  const std::string signatureName = archiveName + kSignatureSuffix;
  return Check(directory + "\\" + kUpdatePublicKeyName, kUpdatePublicKeyName, archiveName,
               directory + "\\" + signatureName, signatureName,
               [&](const std::string& key, const std::string& signature) {
                 return platform::VerifyDigestSignature(key, signature, digest);
               });
}

std::string SignatureRefusalText(const SignatureCheck& check) {
  if (check.KeyProblem) {
    return "The update was not applied: the key of this installation cannot be used (" +
           check.Reason + "); the archive and its signature are kept. Install " +
           kUpdatePublicKeyName + " again beside the updater.";
  }
  return "The update was not applied: its signature could not be verified (" + check.Reason + ").";
}

}  // namespace signing
