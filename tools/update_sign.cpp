// update-sign: the publisher's side of package signatures: makes a P-256 key pair, signs an update
// archive (ARCHIVE.sig beside it) and verifies one as the updater will.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/product_version.h"
#include "platform/signature.h"
#include "signing/update_signature.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr char kUsageText[] =
    "usage: update-sign keygen PRIVATE PUBLIC   make a P-256 key pair (PKCS#8 and public PEM)\n"
    "       update-sign sign PRIVATE ARCHIVE    write the signature ARCHIVE.sig\n"
    "       update-sign verify PUBLIC ARCHIVE   check ARCHIVE against ARCHIVE.sig\n"
    "       update-sign --version               show the version\n"
    "Exit status: 0 done (verified), 1 failed (not verified, with the reason), 2 usage error.\n"
    "Ship PUBLIC beside the updater as update.pub; keep PRIVATE off the build machines.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "update-sign: %s\n", message.c_str());
  return kFailed;
}

// Why the two files cannot be made, before either is written; empty when both can be tried.
std::string KeyFilesInTheWay(const std::string& privatePath, const std::string& publicPath) {
  if (platform::ExpandFileName(privatePath) == platform::ExpandFileName(publicPath)) {
    return "PRIVATE and PUBLIC are one file, " + privatePath + "; name two files";
  }
  std::string inTheWay;
  for (const std::string* path : {&privatePath, &publicPath}) {
    if (platform::LinkFreeKind(*path) == platform::PathKind::kMissing) continue;
    inTheWay += (inTheWay.empty() ? "" : "; ") + *path + " exists already (" +
                platform::LinkFreeKindText(*path) + ")";
  }
  if (inTheWay.empty()) return "";
  return inTheWay + "; no key was made, and an existing key is never overwritten";
}

int KeyGen(const std::string& privatePath, const std::string& publicPath) {
  const std::string inTheWay = KeyFilesInTheWay(privatePath, publicPath);
  if (!inTheWay.empty()) return Fail(inTheWay);
  platform::SigningKeyPair pair;
  const platform::SignatureStatus status = platform::GenerateSigningKeyPair(pair);
  if (status != platform::SignatureStatus::kOk) {
    return Fail("cannot make a key pair: " +
                signing::SignatureStatusText(status, "private", privatePath, "", ""));
  }
  std::string reason;
  if (!signing::WriteNewFile(privatePath, pair.PrivateKeyPem, true, reason)) return Fail(reason);
  if (!signing::WriteNewFile(publicPath, pair.PublicKeyPem, false, reason)) {
    // A private key without its public one is of no use, and it was made just now.
    (void)platform::RemoveFile(privatePath);
    return Fail(reason + "; no key was made");
  }
  return 0;
}

int Sign(const std::string& privatePath, const std::string& archivePath) {
  std::string reason;
  if (!signing::SignArchiveFile(privatePath, archivePath, archivePath + signing::kSignatureSuffix,
                                reason)) {
    return Fail(reason);
  }
  return 0;
}

int Verify(const std::string& publicPath, const std::string& archivePath) {
  const signing::SignatureCheck check =
      signing::CheckFileSignature(publicPath, archivePath, archivePath + signing::kSignatureSuffix);
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
  if (arguments.size() == 2 && arguments[1] == "--version") {
    std::printf("update-sign %s\n", platform::kProductVersion);
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
