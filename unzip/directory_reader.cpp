// TUnZipper: opening and closing the archive and reading its central directory into the entry
// list, with the companion file, multi-part archives and the fall-back to a rebuild.
#include "platform/ascii_case.h"
#include "platform/files.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/messages.h"
#include "unzip/base/path_text.h"
#include "unzip/base/restore_on_exit.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/records/dos_date_time.h"
#include "unzip/unzipper.h"

namespace {

std::string CompanionName(const std::string& zipName) {
  const size_t partStart = zipName.find_last_of("\\:") + 1;  // npos + 1 == 0
  const size_t dot = zipName.rfind('.');
  const std::string base =
      dot != std::string::npos && dot >= partStart ? zipName.substr(0, dot) : zipName;
  return base + ".zfc";
}

}  // namespace

double TUnZipper::FileDateTimeOf(TBufferedFileStream& file) const {
  const int32_t dos = file.FileHandle().LastWriteDosTime();
  double dateTime = 0;
  if (dos == -1 || !DosDateTimeToDateTime(static_cast<uint32_t>(dos), &dateTime)) return 0;
  return dateTime;
}

void TUnZipper::OpenArchive() {
  if (!ArchiveFile) {
    ArchiveFile = std::make_unique<TBufferedFileStream>(
        FZipName, static_cast<int32_t>(BufferedStreamSize), FlushFilesOnClose,
        platform::kOpenRead | platform::kShareDenyWrite);
  }
  if (Entries && FileDateTimeOf(*ArchiveFile) == DirectoryDate) return;
  ReadDirectory(ArchiveFile.get());
}

void TUnZipper::CloseArchive() {
  if (!KeepZipOpen) ArchiveFile.reset();
}

void TUnZipper::ClearArchive() {
  ArchiveFile.reset();
  ReleaseEntries();
  EndRecord->Clear();
  ArchiveIsBad = false;
  DirectoryDate = 0;
  PartCount = 1;
  SpanMode = 0;
  FZipName.clear();
}

void TUnZipper::LoadDirectory() {
  CancelRequested = false;
  ImproperArchive = false;
  TRestoreOnExit<bool> busy(Busy, true);
  TRestoreOnExit<uint8_t> mode(OperationMode, 1);
  try {
    try {
      OpenArchive();
    } catch (const EIncompleteZip&) {
      ArchiveFile.reset();
      // One retry, for a handler that has changed the mode or supplied the missing parts.
      if (OnInCompleteZip) OpenArchive();
    }
  } catch (...) {
    ClearArchive();
    throw;
  }
  CloseArchive();
}

void TUnZipper::BuildSortedView(TZipSortMode mode) {
  SeparateView.reset();
  SortedEntries = Entries.get();
  if (mode != ByNone && Entries) {
    SeparateView = std::make_unique<TSortedZip>(DupAccept, false);
    SeparateView->SortMode = mode;
    for (int i = 0; i < Entries->Count(); ++i) SeparateView->Add(Entries->Items(i));
    SortedEntries = SeparateView.get();
  }
  SortMode = mode;
}

void TUnZipper::ReadDirectory(TStream* stream) {
  TRestoreOnExit<uint8_t> mode(OperationMode, 1);
  DirectoryDate = ArchiveFile ? FileDateTimeOf(*ArchiveFile) : 0;
  if (Entries && Entries->Count() > 0) ReleaseEntries();

  bool found =
      EndRecord->ReadEnd(*stream) && EndRecord->GetStartDisk32() <= EndRecord->GetThisDisk32();

  // The companion file holds the central directory followed by the end record.
  std::unique_ptr<TBufferedFileStream> companion;
  if (!found) {
    const std::string companionName = CompanionName(FZipName);
    if (FileExists(companionName)) {
      companion = std::make_unique<TBufferedFileStream>(
          companionName, static_cast<int32_t>(BufferedStreamSize), false,
          platform::kOpenRead | platform::kShareDenyWrite);
      found = EndRecord->ReadEnd(*companion);
      if (!found) companion.reset();
    }
  }
  const bool companionMode = companion != nullptr;

  if (!found) {
    if (OnInCompleteZip) OnInCompleteZip(this, IncompleteZipMode);
    switch (IncompleteZipMode) {
      case izAssumeNotAZip:
        throw ENotAZipFile(kTextNotAZip);
      case izAssumeMulti:
        throw EIncompleteZip(kTextIncompleteZip);
      case izAssumeBad:
        if (!RecoverFromLocalHeaders()) {
          ClearArchive();
          throw EBadZipFile(kTextNotAZip);
        }
        stream = ArchiveFile.get();
        break;
    }
  } else {
    CurrentPart = companionMode ? 0 : static_cast<int>(EndRecord->GetThisDisk32());
    if (EndRecord->GetThisDisk32() > 0) {
      if (SpanMode == 0) {
        const std::string root = platform::UpperCaseAscii(LeftChars(FZipName, 3));
        SpanMode = root.size() >= 2 && root[1] == ':' && IsRemovableDrive(root) ? 1 : 2;
      }
    } else {
      SpanMode = 0;
    }
    if (companionMode) stream = companion.get();
    if (EndRecord->GetTotalEntries64() > 0) {
      if (!companionMode && SpanMode != 0 &&
          static_cast<int64_t>(EndRecord->GetStartDisk32()) != CurrentPart) {
        stream = SwapToPart(static_cast<int>(EndRecord->GetStartDisk32()) + 1);
      }
      stream->SetPosition(companionMode ? 0
                                        : static_cast<int64_t>(EndRecord->GetCentralOffset64()));
    }
  }

  if (!Entries) {
    Entries = std::make_unique<TSortedZip>(DupError, true);
    SortedEntries = Entries.get();
  }
  PartCount = static_cast<int>(EndRecord->GetThisDisk32()) + 1;

  auto badZip = [this]() {
    ClearArchive();
    return EBadZipFile(kTextNotAZip);
  };
  // After a rebuild the archive's own stream is the one to read, whatever was read before.
  auto recover = [this, &stream]() {
    if (!RecoverFromLocalHeaders()) return false;
    stream = ArchiveFile.get();
    return true;
  };

  TZipHeaderInfo* pendingEntry = nullptr;  // the last entry with a central extra field
  int64_t pendingExtra = 0;
  const TZipHeaderInfo::TNextPartCallback nextPart = [this](TZipHeaderInfo*, TStream*& s) {
    s = SwapToPart(CurrentPart + 2);
  };
  for (uint64_t i = 0; i < EndRecord->GetTotalEntries64(); ++i) {
    PumpAndCheckCancel();
    std::unique_ptr<TZipHeaderInfo> entry = NewEntryRecord();
    const bool useCallback = !ArchiveIsBad && SpanMode != 0 && !companionMode;
    bool read = entry->ReadCentralHeader(stream, useCallback ? nextPart : nullptr);
    if (!read && pendingExtra > 0 && pendingEntry != nullptr) {
      // The entry before claimed an extra field that was not there: read again without it.
      pendingEntry->CentralExtraLength = 0;
      stream->Seek(-pendingExtra, soCurrent);
      entry = NewEntryRecord();
      read = entry->ReadCentralHeader(stream, useCallback ? nextPart : nullptr);
    }
    pendingExtra = 0;
    pendingEntry = nullptr;

    if (!read) {
      if (ArchiveIsBad) break;  // the rest of the central directory is ignored
      if (SpanMode != 0 || !recover()) throw badZip();
      i = static_cast<uint64_t>(-1);  // start again in rebuilt mode
      continue;
    }
    if (entry->HasMissingZip64Values()) throw badZip();

    const int64_t skip = static_cast<int64_t>(entry->CentralExtraLength) + entry->CommentLength;
    if (ArchiveIsBad) {
      int index = 0;
      if (Entries->Find(entry.get(), index)) {
        TZipHeaderInfo* rebuilt = Entries->Items(index);
        const uint64_t offset = rebuilt->GetLocalHeaderOffset64();
        rebuilt->CopyFrom(*entry);
        rebuilt->SetLocalHeaderOffset64(offset);
      }
      stream->Seek(skip, soCurrent);
      continue;
    }

    TZipHeaderInfo* added = entry.get();
    try {
      Entries->Add(added);
    } catch (const EListError&) {
      // Two central headers name the same local header.
      if (!recover()) throw badZip();
      i = static_cast<uint64_t>(-1);
      continue;
    }
    entry.release();  // the list owns it now
    if (!companionMode && EndRecord->GetThisDisk32() > 0 && added->HasComment()) {
      added->Comment = LoadEntryComment(*stream, *added);
    }
    stream->Seek(skip, soCurrent);
    if (added->CentralExtraLength > 0) {
      pendingExtra = added->CentralExtraLength;
      pendingEntry = added;
    }
  }

  if (EndRecord->GetThisDisk32() > 0 && EndRecord->HasComment()) {
    if (companionMode) {
      EndRecord->Comment =
          ReadCommentAt(*stream, EndRecord->CommentPosition, EndRecord->CommentLength);
    } else {
      if (static_cast<int64_t>(EndRecord->GetThisDisk32()) != CurrentPart) {
        stream = SwapToPart(static_cast<int>(EndRecord->GetThisDisk32()) + 1);
      }
      EndRecord->Comment =
          ReadCommentAt(*stream, EndRecord->CommentPosition, EndRecord->CommentLength);
    }
  }
  CurrentPart = companionMode ? 0 : static_cast<int>(EndRecord->GetThisDisk32());
  BuildSortedView(SortMode);
}
