// TUnZipper: what surrounds the decoding of one file entry: the decoding job with its decryption
// hooks, the end of the output file, the AES authentication code, the verdict and the stored
// attributes.
#include <algorithm>

#include "platform/files.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/messages.h"
#include "unzip/base/numbers.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/decoders/entry_decoder.h"
#include "unzip/records/dos_date_time.h"
#include "unzip/unzipper.h"

namespace {

constexpr uint32_t kUnixTypeMask = 0170000, kUnixDirectory = 0040000, kUnixRegular = 0100000;

}  // namespace

TEntryJob TUnZipper::MakeEntryJob(TBufferedFileStream& output) {
  TEntryJob job;
  job.archive = ArchiveFile.get();
  job.compressedSize = ClampToInt64(WorkEntry->GetCompressedSize64());
  job.uncompressedSize = WorkEntry->GetUncompressedSize64();
  job.output = &output;
  job.method = WorkEntry->EffectiveMethod();
  job.flags = WorkEntry->Flags;
  if (IsMultiPart()) {
    job.nextPart = [this]() -> TStream* {
      try {
        return SwapToPart(CurrentPart + 2);
      } catch (const EUserCanceled&) {
      } catch (const EFOpenError&) {
      }
      return nullptr;  // the decoder reports "User Aborted Operation"
    };
  }
  if (WorkEntry->IsEncrypted()) {
    std::function<void(uint8_t*, int32_t)> builtIn;
    if (TAesDecryptor::IsValidStrength(WorkEntry->EncryptionStrength)) {
      builtIn = [this](uint8_t* data, int32_t n) {
        FAes.DecryptBlock(data, static_cast<size_t>(n));
      };
    } else {
      builtIn = [this](uint8_t* data, int32_t n) {
        FTraditional.DecryptBlock(data, static_cast<size_t>(n));
      };
    }
    std::function<void(uint8_t*, int32_t)> chosen = builtIn;
    if (OnDecrypt) {
      chosen = [this](uint8_t* data, int32_t n) { OnDecrypt(this, data, n, Password); };
    }
    // Stored data goes straight to the output buffer, so it is decrypted there, and always by
    // the built-in cipher; data encrypted before compression is decrypted after decoding.
    if (EncryptedBeforeCompression) {
      if (!Password.empty()) job.decryptOutput = chosen;
    } else if (job.method == 0) {
      if (!Password.empty()) job.decryptOutput = builtIn;
    } else {
      job.decryptInput = chosen;
    }
  }
  job.onBlockWritten = [this](int32_t n) { OnBlockWritten(n); };
  if (DoProcessMessages) job.pump = [this] { PumpAndCheckCancel(); };
  job.handleMessage = [this](int id, const std::string& msg1, const std::string& msg2,
                             uint32_t flags) { return HandleMessage(id, msg1, msg2, flags); };
  return job;
}

bool TUnZipper::AuthenticationCodeMatches(int64_t unread) {
  // Deflate may end before the entry's last stored bytes; the code follows all of them.
  if (unread > 0) ArchiveFile->Seek(unread, soCurrent);
  uint8_t stored[TAesDecryptor::kAuthenticationCodeLength];
  if (ArchiveFile->Read(stored, sizeof stored) != static_cast<int32_t>(sizeof stored)) return false;
  const auto computed = FAes.AuthenticationCode();
  return std::equal(computed.begin(), computed.end(), stored);
}

void TUnZipper::EndOutputFile(TBufferedFileStream& output, bool stampTime) {
  if (!output.FlushBuffer()) throw ECantWriteUCF(MessageText(kMsgCantWriteUcf));
  if (FlushFilesOnClose) {
    if (!output.FileHandle().FlushToDisk()) throw ECantWriteUCF(MessageText(kMsgCantWriteUcf));
    output.SetSyncOnClose(false);
  }
  // Stamped through the open handle: nothing is written to the file after this.
  if (stampTime) output.FileHandle().SetLastWriteDosTime(ClampDosDateTime(WorkEntry->DosDateTime));
}

void TUnZipper::Verdict(int index, bool authFailed, bool failedDecoding) {
  const uint32_t crc = ~FDecoder->RunningCrc();
  // An AES entry may be written with a CRC of 0: its authentication code vouches for it.
  const bool aesWithoutCrc =
      TAesDecryptor::IsValidStrength(WorkEntry->EncryptionStrength) && WorkEntry->Crc == 0;
  const bool complete =
      static_cast<uint64_t>(FDecoder->EntryBytesDone()) == WorkEntry->GetUncompressedSize64();
  if (!failedDecoding && complete && !authFailed && (aesWithoutCrc || crc == WorkEntry->Crc)) {
    // Attributes only for a kept file: a read-only file would resist its deletion.
    if (RetainAttributes) ApplyStoredAttributes(OutputPath, false);
    if (OnEndUnZip) OnEndUnZip(this, index, OutputPath);
    ++ExtractedCount;
    return;
  }
  if (WorkEntry->IsEncrypted()) {
    if (OnBadPassword) {
      std::string candidate = Password;
      OnBadPassword(this, index, candidate);
      if (candidate != Password) {
        Password = candidate;
        RetryEntry = true;
      }
    }
    if (!RetryEntry) {
      bool retry = false;
      if (OnSkippingFile) {
        OnSkippingFile(this, srBadPassword, WorkEntry->Directory + WorkEntry->FileName, index,
                       retry);
      }
    }
  } else if (OnBadCRC) {
    OnBadCRC(this, crc, WorkEntry->Crc, index);
  }
  FileDelete(OutputPath);
}

void TUnZipper::ApplyStoredAttributes(const std::string& path, bool isDirectory) {
  // An archive made on a Unix host carries permission bits in the high half; they are applied
  // to a regular file or directory only, never making a link or a device.
  const uint32_t mode = WorkEntry->ExternalAttributes >> 16;
  int32_t permissions = -1;
  if (WorkEntry->HasUnixPermissions()) {
    const uint32_t type = mode & kUnixTypeMask;
    if (type == 0 || type == (isDirectory ? kUnixDirectory : kUnixRegular)) {
      permissions = static_cast<int32_t>(mode & 0777);
    }
  }
  platform::WriteAttributesAndPermissions(path, WorkEntry->ExternalAttributes, permissions);
}
