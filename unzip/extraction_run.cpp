// TUnZipper: the extraction run. Chooses the entries, processes each (destination, overwrite
// decision, output file, decoding, verdict), raises the percentage events and ends every run with
// the completion report.
#include <algorithm>
#include <limits>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/messages.h"
#include "unzip/base/numbers.h"
#include "unzip/base/path_text.h"
#include "unzip/base/restore_on_exit.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/decoders/entry_decoder.h"
#include "unzip/entry_destination.h"
#include "unzip/overlapping_entries.h"
#include "unzip/records/dos_date_time.h"
#include "unzip/unzipper.h"
#include "unzip/wildcard.h"

namespace {

constexpr int64_t kMaxSize = std::numeric_limits<int64_t>::max();

// Sizes are untrusted 64-bit values: the run's totals saturate instead of overflowing.
int64_t SizeOf(uint64_t size) {
  return ClampToInt64(size);
}

int64_t SaturatingAdd(int64_t total, int64_t size) {
  return total > kMaxSize - size ? kMaxSize : total + size;
}

int64_t SaturatingSubtract(int64_t total, int64_t size) {
  const int64_t kMinSize = std::numeric_limits<int64_t>::min();
  return total < kMinSize + size ? kMinSize : total - size;
}

std::string WithoutTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

void TUnZipper::SetDestDir(const std::string& value) {
  std::string dir = value;
  if (value == "?") {
    const std::string start = CanChangeToDir(FDestDir) ? FDestDir : platform::CurrentDirectory();
    std::string chosen;
    if (!platform::ShowDirectoryChooser("", start, &chosen)) {
      throw EUserCanceled(MessageText(kMsgCanceledDestDir));
    }
    dir = chosen;
  }
  FDestDir = WithoutTrailingBackslash(dir);
}

void TUnZipper::SetRootDir(const std::string& value) {
  FRootDir = value.empty() || value.back() == '\\' ? value : value + "\\";
  RelativePathList.assign(1, FRootDir);
}

bool TUnZipper::IsMultiPart() const {
  return EndRecord->GetThisDisk32() != 0;
}

int TUnZipper::UnZip() {
  TRestoreOnExit<bool> busy(Busy, true);
  LoadDirectory();
  OpenArchive();
  const int count = Run();
  CloseArchive();
  return count;
}

int TUnZipper::Run() {
  TRestoreOnExit<uint8_t> mode(OperationMode, 1);
  TRestoreOnExit<bool> keepOpen(KeepZipOpen, true);
  FDecoder = std::make_unique<TEntryDecoder>();
  // An empty destination is the current directory, for relative and absolute names alike.
  FBaseDir = FDestDir.empty() ? WithoutTrailingBackslash(platform::CurrentDirectory()) : FDestDir;
  FLastMadeDirectory.clear();
  if (!FDestDir.empty() && !DirectoryExists(FDestDir)) ForceDirectories(FDestDir);

  const TZipSortMode savedSortMode = SortMode;
  const bool sortChanged = IsMultiPart() && SortMode != ByNone;
  if (sortChanged) BuildSortedView(ByNone);

  // Steps that end every run, also one left by an exception.
  auto endRun = [&] {
    FDecoder.reset();
    FilesList.clear();
    if (sortChanged) BuildSortedView(savedSortMode);
    if (OnUnZipComplete) OnUnZipComplete(this, ExtractedCount);
  };
  ExtractedCount = 0;
  try {
    const int numFiles = ChooseEntries();
    bool stopNow = false;
    if (OnStartUnZipInfo) OnStartUnZipInfo(this, numFiles, RunTotalBytes, stopNow);
    if (numFiles > 0 && !stopNow) {
      for (int i = 0; i < EntryCount(); ++i) {
        if (!SortedEntries->Items(i)->Matched) continue;
        do {
          ProcessEntry(i);
        } while (RetryEntry);
      }
    }
  } catch (...) {
    endRun();
    throw;
  }
  endRun();
  return ExtractedCount;
}

int TUnZipper::ChooseEntries() {
  RunTotalBytes = 0;
  RunBytesDone = 0;
  const int count = EntryCount();
  int numFiles = count;
  std::vector<TEntrySpan> spans;
  std::vector<int> spanIndex;
  for (int i = 0; i < count; ++i) {
    if (DoProcessMessages) PumpWaitingMessages();
    TZipHeaderInfo* entry = SortedEntries->Items(i);
    const bool isDirectory = entry->FileName.empty();
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
    RunTotalBytes = SaturatingAdd(RunTotalBytes, SizeOf(entry->GetUncompressedSize64()));
    if (!isDirectory) {
      // The name's length is left out of the span: the central directory holds the decoded
      // name, which may be longer than the stored one and would mark a sound neighbour.
      const uint64_t compressed = entry->GetCompressedSize64();
      spans.push_back({entry->GetDiskNumberStart32(), entry->GetLocalHeaderOffset64(),
                       compressed + std::min<uint64_t>(kLocalHeaderSize, ~compressed)});
      spanIndex.push_back(i);
    }
  }
  FUnsafeEntries.assign(static_cast<size_t>(count), false);
  const std::vector<bool> overlapping = FindOverlappingEntries(spans);
  for (size_t k = 0; k < spans.size(); ++k) {
    if (overlapping[k]) FUnsafeEntries[static_cast<size_t>(spanIndex[k])] = true;
  }
  return numFiles;
}

void TUnZipper::GiveUp(TSkipReason reason, const std::string& name, int index) {
  bool retry = false;
  if (OnSkippingFile) OnSkippingFile(this, reason, name, index, retry);
  RunTotalBytes = SaturatingSubtract(RunTotalBytes, SizeOf(WorkEntry->GetUncompressedSize64()));
}

void TUnZipper::ProcessEntry(int index) {
  OutputPath.clear();
  RetryEntry = false;
  // A fresh record: optional blocks of the previous entry must not carry over.
  WorkEntry = NewEntryRecord();
  WorkEntry->CopyFrom(*SortedEntries->Items(index));
  const std::string storedName = WorkEntry->Directory + WorkEntry->FileName;
  if (FUnsafeEntries[static_cast<size_t>(index)]) {
    GiveUp(srUnsafePath, storedName, index);
    return;
  }
  EntryTargetDir =
      EntryDestinationDir(FBaseDir, WorkEntry->Directory, RecreateDirs, RelativePathList);
  if (WorkEntry->FileName.empty()) {
    ExtractDirectory(index);
    return;
  }
  OutputPath = EntryTargetDir + WorkEntry->FileName;
  if (IsUnsafeOutputPath(FBaseDir, OutputPath, true)) {
    GiveUp(srUnsafePath, storedName, index);
    return;
  }
  SkipLocalHeader();
  ExtractFile(index);
}

void TUnZipper::SkipLocalHeader() {
  if (IsMultiPart() && static_cast<int>(WorkEntry->GetDiskNumberStart32()) != CurrentPart) {
    SwapToPart(static_cast<int>(WorkEntry->GetDiskNumberStart32()) + 1);
  }
  ArchiveFile->SetPosition(SizeOf(WorkEntry->GetLocalHeaderOffset64()));
  uint8_t header[kLocalHeaderSize];
  if (ArchiveFile->Read(header, kLocalHeaderSize) != kLocalHeaderSize) {
    throw EFatalUnzipError(MessageText(kMsgPrematureEnd));
  }
  const uint16_t nameLength = static_cast<uint16_t>(header[26] | header[27] << 8);
  WorkEntry->LocalExtraLength = static_cast<uint16_t>(header[28] | header[29] << 8);
  ArchiveFile->Seek(nameLength + WorkEntry->LocalExtraLength, soCurrent);
}

void TUnZipper::ExtractDirectory(int index) {
  if (IsUnsafeOutputPath(FBaseDir, EntryTargetDir, false)) {
    GiveUp(srUnsafePath, WorkEntry->Directory, index);
    return;
  }
  if (RecreateDirs && !CanChangeToDir(EntryTargetDir)) ForceDirectories(EntryTargetDir);
  if (RetainAttributes) ApplyStoredAttributes(EntryTargetDir, true);
  ++ExtractedCount;
}

void TUnZipper::MakeOutputDirectory() {
  const std::string dir = ExtractFilePath(OutputPath);
  if (dir.empty() || dir == FLastMadeDirectory) return;
  if (!DirectoryExists(dir)) ForceDirectories(dir);
  FLastMadeDirectory = dir;
}

void TUnZipper::ExtractFile(int index) {
  bool skip = false;
  if (OnStartUnZip) OnStartUnZip(this, index, OutputPath, skip);
  if (skip) return;
  MakeOutputDirectory();
  if (WorkEntry->IsEncrypted() && !CheckPassword(index)) return;
  if (!MayReplaceExisting(index)) {
    GiveUp(srNoOverwrite, OutputPath, index);
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
      known = FDecoder->Decode(job);
    } catch (const EBiggerThanUncompressed&) {
      overrun = true;
    }
    EndOutputFile(*output, !overrun && known);
    if (!known) {
      HandleMessage(kMsgUnknownMethod, MessageText(kMsgUnknownMethod), MessageText(kMsgZipError),
                    platform::kMbOk);
    }
    if (TAesDecryptor::IsValidStrength(WorkEntry->EncryptionStrength)) {
      authFailed = !AuthenticationCodeMatches(job.compressedSize);
    }
  } catch (...) {
    // Nothing half-written stays behind.
    output.reset();
    FileDelete(OutputPath);
    throw;
  }
  output.reset();
  Verdict(index, authFailed, overrun || !known);
}

bool TUnZipper::MayReplaceExisting(int index) {
  if (OverwriteMode == Always || !FileExists(OutputPath)) return true;
  switch (OverwriteMode) {
    case Prompt: {
      bool overWriteIt = false;
      if (OnPromptForOverwrite) {
        OnPromptForOverwrite(this, overWriteIt, index, OutputPath);
        return overWriteIt;
      }
      const std::string question =
          LeftChars(MessageText(kMsgReplaceExisting) + WorkEntry->FileName + "?", 300);
      return HandleMessage(kMsgFileExistsAlert, question, MessageText(kMsgFileExistsAlert),
                           platform::kMbYesNo) == platform::kIdYes;
    }
    case ifNewer:
    case ifOlder: {
      // A date that does not convert cannot be judged: the existing file stays.
      const int32_t existingDos = FileAge(OutputPath);
      double entryTime = 0;
      double existingTime = 0;
      if (existingDos == -1 || !DosDateTimeToDateTime(WorkEntry->DosDateTime, &entryTime) ||
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
  // The declared size is untrusted, so the file is not pre-sized to it: it grows as it is
  // written, and a few bytes that claim gigabytes cannot fill a disk.
  bool first = true;
  for (;;) {
    try {
      auto output = std::make_unique<TBufferedFileStream>(OutputPath,
                                                          static_cast<int32_t>(BufferedStreamSize),
                                                          FlushFilesOnClose, platform::kOpenCreate);
      return output;
    } catch (const EFCreateError&) {
      if (ReplaceReadOnly && first) {
        first = false;
        const uint32_t attributes = FileGetAttr(OutputPath);
        if (attributes != platform::kInvalidAttributes &&
            (attributes & platform::kAttrReadOnly) != 0) {
          FileSetAttr(OutputPath, attributes & ~platform::kAttrReadOnly);
        }
        continue;
      }
    } catch (const Exception&) {
    }
    GiveUp(srCreateError, OutputPath, index);
    return nullptr;
  }
}

void TUnZipper::OnBlockWritten(int32_t count) {
  if (OnFilePercentDone) {
    OnFilePercentDone(this,
                      static_cast<int>(PercentOf(FDecoder->EntryBytesDone(),
                                                 SizeOf(WorkEntry->GetUncompressedSize64()))));
  }
  if (OnTotalPercentDone) {
    RunBytesDone = SaturatingAdd(RunBytesDone, count);
    OnTotalPercentDone(this, static_cast<int>(PercentOf(RunBytesDone, RunTotalBytes)));
  }
}
