// TUnZipper: the extraction run. Chooses the entries, processes each (destination, overwrite
// decision, output file, decoding, verdict), raises the percentage events and ends every run with
// the completion report.
#include <algorithm>

#include "platform/checked_math.h"
#include "platform/dialogs.h"
#include "platform/error_text.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/message_pump.h"
#include "platform/path_text.h"
#include "unzip/base/directories.h"
#include "unzip/base/messages.h"
#include "unzip/base/numbers.h"
#include "unzip/base/restore_on_exit.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/entry_destination.h"
#include "unzip/overlapping_entries.h"
#include "unzip/records/dos_date_time.h"
#include "unzip/records/little_endian.h"
#include "unzip/run_state.h"
#include "unzip/unzipper.h"
#include "unzip/wildcard.h"

namespace {

// Sizes are untrusted 64-bit values: the run's totals saturate instead of overflowing.
int64_t SizeOf(uint64_t size) {
  return platform::ClampToInt64(size);
}

}  // namespace

bool TUnZipper::IsMultiPart() const {
  return EndRecord->GetThisDisk32() != 0;
}

int TUnZipper::UnZip() {
  TRestoreOnExit<bool> busy(Busy, true);
  LoadDirectory();
  OpenArchive();
  int count = 0;
  try {
    count = Run();
  } catch (...) {
    // A failed run lets go of the archive as a whole one does (unless it is kept open): on
    // Windows an open archive could be neither replaced nor deleted.
    CloseArchive();
    throw;
  }
  CloseArchive();
  return count;
}

int TUnZipper::Run() {
  TRestoreOnExit<uint8_t> mode(OperationMode, 1);
  TRestoreOnExit<bool> keepOpen(KeepZipOpen, true);
  TRunState run;
  TRestoreOnExit<TRunState*> current(run_, &run);
  // An empty destination is the current directory, for relative and absolute names alike.
  run.BaseDir = FDestDir.empty() ? DestinationDirOf(platform::CurrentDirectory()) : FDestDir;
  if (!FDestDir.empty() && !platform::DirectoryExists(FDestDir)) ForceDirectories(FDestDir);

  const TZipSortMode savedSortMode = SortMode;
  const bool sortChanged = IsMultiPart() && SortMode != ByNone;
  if (sortChanged) BuildSortedView(ByNone);

  // Steps that end every run, also one left by an exception.
  auto endRun = [&] {
    run.Decoder.reset();
    FilesList.clear();
    if (sortChanged) BuildSortedView(savedSortMode);
    if (OnUnZipComplete) OnUnZipComplete(this, run.ExtractedCount);
  };
  try {
    // Without a base directory the names would land below the file-system root.
    if (run.BaseDir.empty()) throw EFatalUnzipError(kTextNoCurrentDirectory);
    const int numFiles = ChooseEntries();
    bool stopNow = false;
    if (OnStartUnZipInfo) OnStartUnZipInfo(this, numFiles, run.RunTotalBytes, stopNow);
    if (numFiles > 0 && !stopNow) {
      for (int i = 0; i < EntryCount(); ++i) {
        if (!SortedEntries->Items(i)->Matched) continue;
        do {
          ProcessEntry(i);
        } while (run.RetryEntry);
      }
    }
  } catch (...) {
    endRun();
    throw;
  }
  endRun();
  return run.ExtractedCount;
}

int TUnZipper::ChooseEntries() {
  const int count = EntryCount();
  int numFiles = count;
  std::vector<TEntrySpan> spans;
  std::vector<int> spanIndex;
  for (int i = 0; i < count; ++i) {
    if (DoProcessMessages) platform::PumpMessages();
    TZipHeaderInfo* entry = SortedEntries->Items(i);
    const bool isDirectory = entry->StandsForDirectory();
    if (isDirectory && !RecreateDirs) {
      entry->Matched = false;
      --numFiles;
      continue;
    }
    entry->Matched = DoAll;
    if (!DoAll) {
      const std::string name = entry->Directory + entry->FileName;
      entry->Matched = std::any_of(FilesList.begin(), FilesList.end(),
                                   [&name](const std::string& p) { return IsMatch(p, name); });
    }
    if (!entry->Matched) {
      --numFiles;
      continue;
    }
    run_->RunTotalBytes =
        platform::SaturatingAdd(run_->RunTotalBytes, SizeOf(entry->GetUncompressedSize64()));
    if (!isDirectory) {
      // The name's length is left out of the span: the central directory holds the decoded
      // name, which may be longer than the stored one and would mark a sound neighbour.
      spans.push_back(
          {entry->GetDiskNumberStart32(), entry->GetLocalHeaderOffset64(),
           platform::SaturatingAdd(entry->GetCompressedSize64(), uint64_t{kLocalHeaderSize})});
      spanIndex.push_back(i);
    }
  }
  run_->UnsafeEntries.assign(static_cast<size_t>(count), false);
  const std::vector<bool> overlapping = FindOverlappingEntries(spans);
  for (size_t k = 0; k < spans.size(); ++k) {
    if (overlapping[k]) run_->UnsafeEntries[static_cast<size_t>(spanIndex[k])] = true;
  }
  return numFiles;
}

void TUnZipper::GiveUp(TSkipReason reason, const std::string& name, int index) {
  bool retry = false;
  if (OnSkippingFile) OnSkippingFile(this, reason, name, index, retry);
  run_->RunTotalBytes = platform::SaturatingSubtract(
      run_->RunTotalBytes, SizeOf(run_->WorkEntry->GetUncompressedSize64()));
}

void TUnZipper::ProcessEntry(int index) {
  run_->OutputPath.clear();
  run_->WritePath.clear();
  run_->RetryEntry = false;
  // A fresh record: optional blocks of the previous entry must not carry over.
  run_->WorkEntry = NewEntryRecord();
  TZipHeaderInfo& work = *run_->WorkEntry;
  work.CopyFrom(*SortedEntries->Items(index));
  const std::string storedName = work.Directory + work.FileName;
  if (!work.FileName.empty() && work.StandsForDirectory()) {
    // Marked by its attribute only: made as the directory it names, like one ending in "\".
    work.Directory = storedName + "\\";
    work.FileName.clear();
  }
  if (run_->UnsafeEntries[static_cast<size_t>(index)]) {
    GiveUp(srUnsafePath, storedName, index);
    return;
  }
  run_->EntryTargetDir =
      EntryDestinationDir(run_->BaseDir, work.Directory, RecreateDirs, RelativePathList);
  if (work.FileName.empty()) {
    ExtractDirectory(index);
    return;
  }
  run_->OutputPath = run_->EntryTargetDir + work.FileName;
  // The directory of the previous entry was looked at when it was made.
  const std::string outputDir = platform::ExtractFilePath(run_->OutputPath);
  if (IsUnsafeOutputPath(run_->BaseDir, run_->OutputPath, true) ||
      (outputDir != run_->LastMadeDirectory && !LinkOnTheWay(run_->BaseDir, outputDir).empty())) {
    GiveUp(srUnsafePath, storedName, index);
    return;
  }
  SkipLocalHeader();
  ExtractFile(index);
}

void TUnZipper::SkipLocalHeader() {
  TZipHeaderInfo& work = *run_->WorkEntry;
  if (IsMultiPart() && PartNumberOfDisk(work.GetDiskNumberStart32()) != CurrentPart + 1) {
    SwapToPart(PartNumberOfDisk(work.GetDiskNumberStart32()));
  }
  ArchiveFile->SetPosition(SizeOf(work.GetLocalHeaderOffset64()));
  uint8_t header[kLocalHeaderSize];
  if (ArchiveFile->Read(header, kLocalHeaderSize) != kLocalHeaderSize) {
    RaiseOnArchiveReadFailure();
    throw EFatalUnzipError(MessageText(kMsgPrematureEnd));
  }
  const uint16_t nameLength = Le16(header + local_header::kNameLength);
  work.LocalExtraLength = Le16(header + local_header::kExtraLength);
  ArchiveFile->Seek(nameLength + work.LocalExtraLength, soCurrent);
}

void TUnZipper::ExtractDirectory(int index) {
  if (IsUnsafeOutputPath(run_->BaseDir, run_->EntryTargetDir, false) ||
      !LinkOnTheWay(run_->BaseDir, run_->EntryTargetDir).empty()) {
    GiveUp(srUnsafePath, run_->WorkEntry->Directory, index);
    return;
  }
  if (RecreateDirs && !CanChangeToDir(run_->EntryTargetDir) &&
      !ForceDirectories(run_->EntryTargetDir)) {
    // Not there: the entry was not extracted, whatever the files below it do.
    GiveUp(srCreateError, platform::WithoutTrailingBackslash(run_->EntryTargetDir), index);
    return;
  }
  if (RetainAttributes) ApplyStoredAttributes(run_->EntryTargetDir, true);
  ++run_->ExtractedCount;
}

void TUnZipper::MakeOutputDirectory() {
  const std::string dir = platform::ExtractFilePath(run_->OutputPath);
  if (dir.empty() || dir == run_->LastMadeDirectory) return;
  if (!platform::DirectoryExists(dir)) ForceDirectories(dir);
  run_->LastMadeDirectory = dir;
}

void TUnZipper::ExtractFile(int index) {
  bool skip = false;
  if (OnStartUnZip) OnStartUnZip(this, index, run_->OutputPath, skip);
  if (skip) return;
  if (!CanDecode(index)) return;
  // Known before anything is made: a file of that name stays as it is (the decoder refuses such
  // an entry too, for its other callers).
  if (run_->WorkEntry->SizesUnknown) throw EFatalUnzipError(kTextSizesUnknown);
  MakeOutputDirectory();
  if (run_->WorkEntry->IsEncrypted() && !CheckPassword(index)) return;
  if (!MayReplaceExisting(index)) {
    GiveUp(srNoOverwrite, run_->OutputPath, index);
    return;
  }
  std::unique_ptr<TBufferedFileStream> output = CreateOutputFile(index);
  if (!output) return;

  bool overrun = false;
  bool known = true;
  bool authFailed = false;
  try {
    TEntryJob job = MakeEntryJob(*output);
    try {
      known = run_->Decoder->Decode(job);
    } catch (const EBiggerThanUncompressed&) {
      overrun = true;
    }
    EndOutputFile(*output, !overrun && known);
    if (!known) {
      HandleMessage(kMsgUnknownMethod, MessageText(kMsgUnknownMethod), MessageText(kMsgZipError),
                    platform::kMbOk);
    }
    if (TAesDecryptor::IsValidStrength(run_->WorkEntry->EncryptionStrength)) {
      authFailed = !AuthenticationCodeMatches(job.CompressedSize);
    }
    RaiseOnArchiveReadFailure();
  } catch (...) {
    // Nothing half-written stays behind; a file it was to replace stays as it was.
    output.reset();
    (void)platform::RemoveFile(run_->WritePath);
    // Data cut short by a failed read are no fault of the entry.
    RaiseOnArchiveReadFailure();
    throw;
  }
  output.reset();
  Verdict(index, authFailed, overrun || !known);
}

void TUnZipper::RaiseOnArchiveReadFailure() {
  if (!ArchiveFile || ArchiveFile->ReadFailure().code == 0) return;
  const int code = ArchiveFile->ReadFailure().code;
  const std::string path = ArchiveFile->FileName();
  // The handle is given up whatever KeepZipOpen says: the next run opens the archive anew.
  ArchiveFile.reset();
  throw EArchiveReadError("Cannot read file \"" + platform::ExpandFileName(path) + "\". " +
                              platform::SystemErrorText(code),
                          path, code);
}

bool TUnZipper::CanDecode(int index) {
  const TZipHeaderInfo& work = *run_->WorkEntry;
  const std::string storedName = work.Directory + work.FileName;
  if ((work.Flags & kFlagStrongEncryption) != 0) {
    GiveUp(srStrongEncryption, storedName, index);
    return false;
  }
  // Method 99 without its AES block is the password step's to refuse.
  const uint16_t method = work.EffectiveMethod();
  if (method != kMethodAes && !TEntryDecoder::Decodes(method)) {
    GiveUp(srUnknownMethod, storedName, index);
    return false;
  }
  return true;
}

bool TUnZipper::MayReplaceExisting(int index) {
  // A link counts as an existing file (it is replaced, never written through); a directory or a
  // special file in the way is left to the create, which refuses it with its reason.
  const platform::PathKind existing = platform::LinkFreeKind(run_->OutputPath);
  run_->Existing = existing;
  if (OverwriteMode == Always || existing == platform::PathKind::kMissing ||
      existing == platform::PathKind::kDirectory || existing == platform::PathKind::kSpecial) {
    return true;
  }
  switch (OverwriteMode) {
    case Prompt: {
      bool overWriteIt = false;
      if (OnPromptForOverwrite) {
        OnPromptForOverwrite(this, overWriteIt, index, run_->OutputPath);
        return overWriteIt;
      }
      const std::string question =
          (MessageText(kMsgReplaceExisting) + run_->WorkEntry->FileName + "?").substr(0, 300);
      return HandleMessage(kMsgFileExistsAlert, question, MessageText(kMsgFileExistsAlert),
                           platform::kMbYesNo) == platform::kIdYes;
    }
    case ifNewer:
    case ifOlder: {
      // A date that does not convert cannot be judged: the existing file stays, and so does a
      // link, whose own date says nothing about the file.
      if (existing != platform::PathKind::kFile) return false;
      const int32_t existingDos = platform::FileDosDateTime(run_->OutputPath);
      double entryTime = 0;
      double existingTime = 0;
      if (existingDos == -1 || !DosDateTimeToDateTime(run_->WorkEntry->DosDateTime, &entryTime) ||
          !DosDateTimeToDateTime(static_cast<uint32_t>(existingDos), &existingTime)) {
        return false;
      }
      return OverwriteMode == ifNewer ? entryTime > existingTime : entryTime < existingTime;
    }
    default:
      return false;
  }
}

std::unique_ptr<TBufferedFileStream> TUnZipper::CreateOutputFile(int index) {
  // A file or a link in the way is replaced only by an entry that checks out (damaged data
  // leave it as it was): the entry is written to a new name beside it and renamed over it at the
  // end. A new file is written in place, which costs nothing more.
  run_->WritePath = run_->OutputPath;
  if (run_->Existing == platform::PathKind::kFile || run_->Existing == platform::PathKind::kLink) {
    run_->WritePath = NewFileBeside(run_->OutputPath);
    if (run_->WritePath.empty()) {
      GiveUp(srCreateError, run_->OutputPath, index);
      return nullptr;
    }
  }
  // The declared size is untrusted, so the file is not pre-sized to it: it grows as it is
  // written, and a few bytes that claim gigabytes cannot fill a disk.
  bool first = true;
  bool linkRemoved = false;
  for (;;) {
    try {
      auto output = std::make_unique<TBufferedFileStream>(run_->WritePath,
                                                          static_cast<int32_t>(BufferedStreamSize),
                                                          FlushFilesOnClose, platform::kOpenCreate);
      return output;
    } catch (const EFCreateError&) {
      // The create never writes through a link: the link itself goes (the overwrite rule said
      // it may be replaced) and the file is made new in its place.
      if (!linkRemoved && platform::LinkFreeKind(run_->WritePath) == platform::PathKind::kLink) {
        linkRemoved = true;
        if (platform::RemoveFile(run_->WritePath)) continue;
      } else if (ReplaceReadOnly && first) {
        first = false;
        ClearReadOnly(run_->WritePath);
        continue;
      }
    } catch (const Exception&) {
    }
    if (run_->WritePath != run_->OutputPath) (void)platform::RemoveFile(run_->WritePath);
    GiveUp(srCreateError, run_->OutputPath, index);
    return nullptr;
  }
}

std::string TUnZipper::NewFileBeside(const std::string& path) {
  // Made new in one step, so that nothing there (a file of that name, a link) is written to; a
  // name that is taken is passed over.
  const std::string dir = platform::ExtractFilePath(path);
  for (int n = 0; n < 100; ++n) {
    const std::string candidate = dir + "~unzip" + std::to_string(n) + ".tmp";
    if (platform::File::CreateNew(candidate, false).IsOpen()) return candidate;
    if (platform::LinkFreeKind(candidate) == platform::PathKind::kMissing) break;
  }
  return "";
}

bool TUnZipper::ReplaceWithWrittenFile() {
  if (run_->WritePath == run_->OutputPath) return true;
  // The permission bits of the file replaced stay, as they did when files were written in place
  // (stored ones are applied after); set now, since a read-only mode would have refused the data.
  if (run_->Existing == platform::PathKind::kFile) {
    const int32_t mode = platform::ReadPermissions(run_->OutputPath);
    if (mode >= 0) (void)platform::WritePermissions(run_->WritePath, static_cast<uint32_t>(mode));
  }
  if (platform::ReplaceFileAtomically(run_->WritePath, run_->OutputPath)) return true;
  // Windows refuses to replace a read-only file.
  if (ReplaceReadOnly) {
    const platform::KeepFirstError keep;
    ClearReadOnly(run_->OutputPath);
    if (platform::ReplaceFileAtomically(run_->WritePath, run_->OutputPath)) return true;
  }
  return false;
}

void TUnZipper::ClearReadOnly(const std::string& path) {
  const uint32_t attributes = platform::ReadAttributes(path);
  if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly) != 0) {
    (void)platform::WriteAttributes(path, attributes & ~platform::kAttrReadOnly);
  }
}

void TUnZipper::OnBlockWritten(int32_t count) {
  if (OnFilePercentDone) {
    OnFilePercentDone(
        this, static_cast<int>(PercentOf(run_->Decoder->EntryBytesDone(),
                                         SizeOf(run_->WorkEntry->GetUncompressedSize64()))));
  }
  if (OnTotalPercentDone) {
    run_->RunBytesDone = platform::SaturatingAdd(run_->RunBytesDone, count);
    OnTotalPercentDone(this, static_cast<int>(PercentOf(run_->RunBytesDone, run_->RunTotalBytes)));
  }
}
