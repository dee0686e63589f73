// TUnZipper: the password loop of an encrypted entry, with the traditional header check and
// the AES password verification.
#include <vector>

#include "unzip/run_state.h"
#include "unzip/unzipper.h"

bool TUnZipper::CheckPassword(int index) {
  const TZipHeaderInfo& work = *run_->WorkEntry;
  const int strength = work.EncryptionStrength;
  // An AES entry (it has an AES record: from its block, or made empty for a method-99 entry
  // without one) is decrypted only with a strength code of 1 to 3; nothing else can be known
  // about its layout, and the traditional cipher would only misread it.
  const bool usable = work.AesInfo ? TAesDecryptor::IsValidStrength(strength) : true;
  if (usable) {
    const int64_t start = ArchiveFile->Position();
    for (;;) {
      if (VerifyPassword(Password)) return true;
      if (!OnBadPassword) break;
      std::string newPassword = Password;
      OnBadPassword(this, index, newPassword);
      if (newPassword == Password) break;
      Password = newPassword;
      ArchiveFile->SetPosition(start);
    }
  }
  GiveUp(srBadPassword, work.Directory + work.FileName, index);
  return false;
}

bool TUnZipper::VerifyPassword(const std::string& candidate) {
  TZipHeaderInfo& work = *run_->WorkEntry;
  const int strength = work.EncryptionStrength;
  const int64_t start = ArchiveFile->Position();
  const uint64_t compressed = work.GetCompressedSize64();
  bool accepted = false;
  size_t overhead = 0;
  if (strength == 0) {
    uint8_t header[TTraditionalCipher::kHeaderLength];
    overhead = sizeof header;
    accepted = ArchiveFile->Read(header, sizeof header) == static_cast<int32_t>(sizeof header) &&
               FTraditional.CheckHeader(
                   candidate, header,
                   TTraditionalCipher::CheckByte(work.Flags, work.DosDateTime, work.Crc), Tag != 0);
  } else {
    const size_t saltLength = TAesDecryptor::SaltLength(strength);
    std::vector<uint8_t> saltAndVerifier(saltLength + TAesDecryptor::kVerifierLength);
    const auto size = static_cast<int32_t>(saltAndVerifier.size());
    overhead = TAesDecryptor::Overhead(strength);
    accepted = ArchiveFile->Read(saltAndVerifier.data(), size) == size &&
               FAes.Verify(strength, candidate, saltAndVerifier.data(),
                           saltAndVerifier.data() + saltLength);
  }
  if (!accepted) {
    ArchiveFile->SetPosition(start);
    return false;
  }
  work.SetCompressedSize64(compressed > overhead ? compressed - overhead : 0);
  return true;
}
