// update-sign: the publisher's side of package signatures: makes a P-256 key pair, signs an update
// archive (ARCHIVE.sig beside it) and verifies one as the updater will.
#include <cstdio>
#include <string>
#include <vector>

#include "app/update_signature.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/signature.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr char kUsageText[] =
    "usage: update-sign keygen PRIVATE PUBLIC   make a P-256 key pair (PKCS#8 and public PEM)\n"
    "       update-sign sign PRIVATE ARCHIVE    write the signature ARCHIVE.sig\n"
    "       update-sign verify PUBLIC ARCHIVE   check ARCHIVE against ARCHIVE.sig\n"
    "Exit status: 0 done (verified), 1 failed (not verified, with the reason), 2 usage error.\n"
    "Ship PUBLIC beside the updater as update.pub; keep PRIVATE off the build machines.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "update-sign: %s\n", message.c_str());
  return kFailed;
}

std::string SystemReason() {
  return platform::SystemErrorText(platform::LastError().code);
}

// Creates `path` (which must not exist) holding `content`; with `secret`, only its owner may read
// it, set before anything is written.
bool WriteNewFile(const std::string& path, const std::string& content, bool secret,
                  std::string& reason) {
  if (platform::ReadAttributes(path) != platform::kInvalidAttributes) {
    reason = path + " exists already; it is not overwritten";
    return false;
  }
  platform::File file = platform::File::Open(path, platform::kOpenCreate);
  const bool written = file.IsOpen() && (!secret || platform::WritePermissions(path, 0600) == 0) &&
                       file.Write(content.data(), static_cast<int32_t>(content.size())) ==
                           static_cast<int32_t>(content.size()) &&
                       file.FlushToDisk();
  if (!written) {
    reason = path + " cannot be written: " + SystemReason();
    file.Close();
    (void)platform::RemoveFile(path);  // a part-written key or signature is worse than none
  }
  return written;
}

int KeyGen(const std::string& privatePath, const std::string& publicPath) {
  platform::SigningKeyPair pair;
  const platform::SignatureStatus status = platform::GenerateSigningKeyPair(pair);
  if (status != platform::SignatureStatus::kOk) {
    return Fail("cannot make a key pair: " +
                platform::SignatureStatusText(status, "private", privatePath, "", ""));
  }
  std::string reason;
  if (!WriteNewFile(privatePath, pair.PrivateKeyPem, true, reason)) return Fail(reason);
  if (!WriteNewFile(publicPath, pair.PublicKeyPem, false, reason)) return Fail(reason);
  return 0;
}

int Sign(const std::string& privatePath, const std::string& archivePath) {
  if (!platform::SigningAvailable()) {
    return Fail(
        platform::SignatureStatusText(platform::SignatureStatus::kUnavailable, "", "", "", ""));
  }
  std::string key;
  std::string reason;
  if (!platform::ReadSmallFile(privatePath, "the private key file " + privatePath,
                               platform::kMaxKeyFileSize, key, reason)) {
    return Fail(reason);
  }
  std::string signature;
  const platform::SignatureStatus status = platform::SignFile(key, archivePath, signature);
  const std::string signaturePath = archivePath + platform::kSignatureSuffix;
  if (status != platform::SignatureStatus::kOk) {
    return Fail(
        platform::SignatureStatusText(status, "private", privatePath, signaturePath, archivePath));
  }
  // A signature is replaced: a new build of the archive needs a new one.
  const std::string temporary = signaturePath + ".new";
  (void)platform::RemoveFile(temporary);  // left by an earlier run that failed, if at all
  if (!WriteNewFile(temporary, signature, false, reason)) return Fail(reason);
  if (!platform::ReplaceFileAtomically(temporary, signaturePath)) {
    const std::string why = SystemReason();
    (void)platform::RemoveFile(temporary);  // the failure is reported; the file is of no use
    return Fail(signaturePath + " cannot be written: " + why);
  }
  return 0;
}

int Verify(const std::string& publicPath, const std::string& archivePath) {
  const platform::SignatureCheck check = platform::CheckFileSignature(
      publicPath, archivePath, archivePath + platform::kSignatureSuffix);
  if (!check.Verified) return Fail("not verified: " + check.Reason);
  std::printf("%s: signature verified\n", archivePath.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
  if (arguments.size() == 2 && (arguments[1] == "--help" || arguments[1] == "-h")) {
    std::fputs(kUsageText, stdout);
    return 0;
  }
  if (arguments.size() != 4 || arguments[2].empty() || arguments[3].empty()) {
    std::fputs(kUsageText, stderr);
    return kUsage;
  }
  const std::string& command = arguments[1];
  if (command == "keygen") return KeyGen(arguments[2], arguments[3]);
  if (command == "sign") return Sign(arguments[2], arguments[3]);
  if (command == "verify") return Verify(arguments[2], arguments[3]);
  std::fprintf(stderr, "update-sign: unknown command '%s'\n", command.c_str());
  std::fputs(kUsageText, stderr);
  return kUsage;
}
