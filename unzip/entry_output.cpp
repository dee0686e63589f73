// TUnZipper: what surrounds the decoding of one file entry: the decoding job with its decryption
// hooks, the end of the output file, the AES authentication code, the verdict and the stored
// attributes.
#include <algorithm>

#include "platform/checked_math.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "unzip/base/messages.h"
#include "unzip/base/numbers.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/decoders/entry_decoder.h"
#include "unzip/records/dos_date_time.h"
#include "unzip/run_state.h"
#include "unzip/unzipper.h"

TEntryJob TUnZipper::MakeEntryJob(TBufferedFileStream& output) {
  const TZipHeaderInfo& work = *run_->WorkEntry;
  TEntryJob job;
  job.Archive = ArchiveFile.get();
  job.CompressedSize = platform::ClampToInt64(work.GetCompressedSize64());
  job.UncompressedSize = work.GetUncompressedSize64();
  job.Output = &output;
  job.Method = work.EffectiveMethod();
  job.Flags = work.Flags;
  job.SizesUnknown = work.SizesUnknown;
  if (IsMultiPart()) {
    job.NextPart = [this]() -> TStream* {
      try {
        return SwapToPart(PartNumberAfter(CurrentPart));
      } catch (const EUserCanceled&) {
      } catch (const EFOpenError&) {
      }
      return nullptr;  // the decoder reports "User Aborted Operation"
    };
  }
  if (work.IsEncrypted()) {
    std::function<void(uint8_t*, int32_t)> builtIn;
    if (TAesDecryptor::IsValidStrength(work.EncryptionStrength)) {
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
      if (!Password.empty()) job.DecryptOutput = chosen;
    } else if (job.Method == 0) {
      if (!Password.empty()) job.DecryptOutput = builtIn;
    } else {
      job.DecryptInput = chosen;
    }
  }
  job.OnBlockWritten = [this](int32_t n) { OnBlockWritten(n); };
  if (DoProcessMessages) job.Pump = [this] { PumpAndCheckCancel(); };
  job.HandleMessage = [this](int id, const std::string& msg1, const std::string& msg2,
                             uint32_t flags) { return HandleMessage(id, msg1, msg2, flags); };
  return job;
}

bool TUnZipper::AuthenticationCodeMatches(int64_t unread) {
  // Deflate may end before the entry's last stored bytes; the code follows all of them.
  if (unread > 0) {
    int64_t codeStart = 0;
    if (!platform::CheckedAdd(ArchiveFile->Position(), unread, &codeStart)) return false;
    ArchiveFile->SetPosition(codeStart);
  }
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
  // Stamped through the open handle: nothing is written to the file after this. A time the
  // system refuses leaves the time of writing; the extracted data stand.
  if (stampTime)
    (void)output.FileHandle().SetLastWriteDosTime(ClampDosDateTime(run_->WorkEntry->DosDateTime));
}

void TUnZipper::Verdict(int index, bool authFailed, bool failedDecoding) {
  const TZipHeaderInfo& work = *run_->WorkEntry;
  const uint32_t crc = ~run_->Decoder->RunningCrc();
  // An AES entry may be written with a CRC of 0: its authentication code vouches for it.
  const bool aesWithoutCrc =
      TAesDecryptor::IsValidStrength(work.EncryptionStrength) && work.Crc == 0;
  const bool complete =
      static_cast<uint64_t>(run_->Decoder->EntryBytesDone()) == work.GetUncompressedSize64();
  if (!failedDecoding && complete && !authFailed && (aesWithoutCrc || crc == work.Crc)) {
    if (!ReplaceWithWrittenFile()) {
      const platform::KeepFirstError keep;
      (void)platform::RemoveFile(run_->WritePath);
      GiveUp(srCreateError, run_->OutputPath, index);
      return;
    }
    // Attributes only for a kept file: a read-only file would resist its deletion.
    if (RetainAttributes) ApplyStoredAttributes(run_->OutputPath, false);
    if (OnEndUnZip) OnEndUnZip(this, index, run_->OutputPath);
    ++run_->ExtractedCount;
    return;
  }
  if (work.IsEncrypted()) {
    if (OnBadPassword) {
      std::string candidate = Password;
      OnBadPassword(this, index, candidate);
      if (candidate != Password) {
        Password = candidate;
        run_->RetryEntry = true;
      }
    }
    if (!run_->RetryEntry) {
      bool retry = false;
      if (OnSkippingFile) {
        OnSkippingFile(this, srBadPassword, work.Directory + work.FileName, index, retry);
      }
    }
  } else if (OnBadCRC) {
    OnBadCRC(this, crc, work.Crc, index);
  }
  (void)platform::RemoveFile(run_->WritePath);
}

void TUnZipper::ApplyStoredAttributes(const std::string& path, bool isDirectory) {
  const TZipHeaderInfo& work = *run_->WorkEntry;
  // An archive made on a Unix host carries permission bits in the high half; they are applied
  // to a regular file or directory only, never making a link or a device.
  const uint32_t mode = work.ExternalAttributes >> kUnixModeShift;
  int32_t permissions = -1;
  if (work.HasUnixPermissions()) {
    const uint32_t type = mode & kUnixTypeMask;
    if (type == 0 || type == (isDirectory ? kUnixDirectory : kUnixRegular)) {
      permissions = static_cast<int32_t>(mode & kUnixPermissionMask);
    }
  }
  // Attributes are restored as far as the system takes them; the file itself is complete.
  (void)platform::WriteAttributesAndPermissions(path, work.ExternalAttributes, permissions);
}
