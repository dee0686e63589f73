// TUnZipper: opening and closing the archive and reading its central directory into the entry
// list, with the companion file, multi-part archives and the fall-back to a rebuild.
#include <string>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/checked_math.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "unzip/base/messages.h"
#include "unzip/base/numbers.h"
#include "unzip/base/removable_drive.h"
#include "unzip/base/restore_on_exit.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/records/dos_date_time.h"
#include "unzip/records/little_endian.h"
#include "unzip/unzipper.h"

namespace {

// A comment read from the companion file: all of its bytes, or none when the file ends first.
std::string WholeOrEmpty(const std::string& text, uint16_t length) {
  return text.size() == length ? text : std::string();
}

// What a rebuilt entry's local header said, kept to judge the central headers merged into it.
struct TLocalFacts {
  std::string Name;
  bool Descriptor = false;  // sizes and CRC may be zeros, to be found after the data
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
};

std::vector<TLocalFacts> FactsOf(const TSortedZip& entries) {
  std::vector<TLocalFacts> facts;
  facts.reserve(static_cast<size_t>(entries.Count()));
  for (int i = 0; i < entries.Count(); ++i) {
    const TZipHeaderInfo& e = *entries.Items(i);
    facts.push_back({e.Directory + e.FileName, e.HasDataDescriptor(), e.Crc,
                     e.GetCompressedSize64(), e.GetUncompressedSize64()});
  }
  return facts;
}

// A central header describes the local header at its offset when it names the same file, or
// when the CRC and sizes agree wherever the local header carries them. One that does not (it
// points at another entry's local header) must not overwrite that entry.
bool DescribesLocalHeader(const TZipHeaderInfo& central, const TLocalFacts& local) {
  if (central.Directory + central.FileName == local.Name) return true;
  bool compared = false;
  auto agrees = [&](uint64_t localValue, uint64_t centralValue) {
    if (local.Descriptor && localValue == 0) return true;  // not carried here
    compared = true;
    return localValue == centralValue;
  };
  const bool same = agrees(local.Crc, central.Crc) &&
                    agrees(local.CompressedSize, central.GetCompressedSize64()) &&
                    agrees(local.UncompressedSize, central.GetUncompressedSize64());
  return same && compared;
}

// Every central header takes at least its 46 fixed bytes before the end record (in a single-part
// archive or its companion file): a count that cannot fit there is a damaged end record, not a
// number of headers to read.
bool EntryCountFits(const TEndCentral& end) {
  if (end.GetThisDisk32() != 0 || end.GetTotalEntries64() == 0) return true;
  const int64_t before = end.CommentPosition - kEndCentralSize;
  return before >= 0 &&
         end.GetTotalEntries64() <= static_cast<uint64_t>(before) / kCentralHeaderSize;
}

// Whether the entry's local header and data fit in the part of `partSize` bytes that holds the
// end record, when they start there: no data run on from the last part. True when it cannot be
// judged (another part, or a size not known).
bool FitsEndPart(const TZipHeaderInfo& entry, uint32_t endDisk, int64_t partSize) {
  if (partSize < 0 || entry.GetDiskNumberStart32() != endDisk) return true;
  uint64_t end = 0;
  return platform::CheckedAdd(entry.GetLocalHeaderOffset64(), uint64_t{kLocalHeaderSize}, &end) &&
         platform::CheckedAdd(end, entry.GetCompressedSize64(), &end) &&
         end <= static_cast<uint64_t>(partSize);
}

// What is impossible about the entry of central header `number` (counted from 1).
std::string DataPastEndText(uint64_t number, const TZipHeaderInfo& entry, int64_t partSize) {
  const std::string name = entry.Directory + entry.FileName;
  return std::string(kTextNotAZip) + " Entry " + std::to_string(number) +
         (name.empty() ? " (no name)" : " \"" + name + "\"") + ": " +
         std::to_string(entry.GetCompressedSize64()) + " bytes of data at offset " +
         std::to_string(entry.GetLocalHeaderOffset64()) +
         " would run past the end of the archive (" + std::to_string(partSize) + " bytes)";
}

// An end record that says "no entries" in front of a file that opens with a local header: the
// entries are there and the directory is not (an archive cut short and given a new end record).
bool EmptyRecordBeforeEntries(const TEndCentral& end, TStream& archive) {
  if (end.GetThisDisk32() != 0 || end.GetTotalEntries64() != 0) return false;
  uint8_t signature[4];
  archive.SetPosition(0);
  return archive.Read(signature, 4) == 4 && Le32(signature) == kLocalHeaderSignature;
}

// The directory cannot be used and no rebuild can help: nothing of the archive is kept.
[[noreturn]] void ClearAndRaiseBadZip(TUnZipper& zipper) {
  zipper.ClearArchive();
  throw EBadZipFile(kTextNotAZip);
}

}  // namespace

std::string CompanionFileName(const std::string& zipName) {
  const size_t partStart = zipName.find_last_of("\\:") + 1;  // npos + 1 == 0
  const size_t dot = zipName.rfind('.');
  const std::string base =
      dot != std::string::npos && dot >= partStart ? zipName.substr(0, dot) : zipName;
  return base + ".zfc";
}

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
  RebuildReason = rrNone;
  DirectoryDate = 0;
  PartCount = 1;
  SpanMode = smSingleFile;
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
    // A rebuilt directory still in memory, not read again, is as improper as when it was made.
    ImproperArchive = ImproperArchive || ArchiveIsBad;
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
    const TBulkAdd<TZipHeaderInfo> bulk(SeparateView);
    for (int i = 0; i < Entries->Count(); ++i) SeparateView->Add(Entries->Items(i));
    SortedEntries = SeparateView.get();
  }
  SortMode = mode;
}

// What the steps of one directory read share.
struct TUnZipper::TDirectoryRead {
  // Where the central headers are read: the archive, its companion file, or the part swapped to.
  TStream* Stream = nullptr;
  // The companion file, open while the end record read from it is in use.
  std::unique_ptr<TBufferedFileStream> Companion;
  // What the local headers said, by list index, once the list is a rebuilt one.
  std::vector<TLocalFacts> LocalFacts;
  // The size of the part that holds the end record (the archive itself when there is one part),
  // which the data of the entries that start there must fit in; -1 when it is not known.
  int64_t EndPartSize = -1;
};

void TUnZipper::ReadDirectory(TStream* stream) {
  TRestoreOnExit<uint8_t> mode(OperationMode, 1);
  DirectoryDate = ArchiveFile ? FileDateTimeOf(*ArchiveFile) : 0;
  if (Entries && Entries->Count() > 0) ReleaseEntries();
  // A rebuild belongs to the read that made it: the next read starts from the archive itself.
  ArchiveIsBad = false;
  RebuildReason = rrNone;
  TDirectoryRead read;
  read.Stream = stream;

  const bool found = FindDirectory(read);
  if (!found) RebuildFromLocalHeaders(read, rrNoEndRecord);
  if (!Entries) {
    Entries = std::make_unique<TSortedZip>(DupError, true);
    SortedEntries = Entries.get();
  }
  PartCount = PartNumberOfDisk(EndRecord->GetThisDisk32());
  if (found) {
    TRebuildReason why = rrNone;
    if (!EntryCountFits(*EndRecord)) {
      why = rrImpossibleCount;
    } else if (!read.Companion && ArchiveFile &&
               EmptyRecordBeforeEntries(*EndRecord, *ArchiveFile)) {
      why = rrEmptyEndRecord;
    } else {
      why = ReadCentralHeaders(read);
    }
    if (why != rrNone) RebuildFromLocalHeaders(read, why);
  }
  if (ArchiveIsBad) MergeCentralHeaders(read);

  ReadEndComment(read);
  CurrentPart = read.Companion ? 0 : PartNumberOfDisk(EndRecord->GetThisDisk32()) - 1;
  BuildSortedView(SortMode);
}

bool TUnZipper::FindDirectory(TDirectoryRead& read) {
  bool found =
      EndRecord->ReadEnd(*read.Stream) && EndRecord->GetStartDisk32() <= EndRecord->GetThisDisk32();

  // The companion file holds the central directory followed by the end record.
  if (!found) {
    const std::string companionName = CompanionFileName(FZipName);
    if (platform::FileExists(companionName)) {
      read.Companion = std::make_unique<TBufferedFileStream>(
          companionName, static_cast<int32_t>(BufferedStreamSize), false,
          platform::kOpenRead | platform::kShareDenyWrite);
      found = EndRecord->ReadEnd(*read.Companion);
      if (!found) read.Companion.reset();
    }
  }

  if (!found) {
    if (OnInCompleteZip) OnInCompleteZip(this, IncompleteZipMode);
    switch (IncompleteZipMode) {
      case izAssumeNotAZip:
        throw ENotAZipFile(kTextNotAZip);
      case izAssumeMulti:
        throw EIncompleteZip(kTextIncompleteZip);
      case izAssumeBad:
        return false;
    }
    // A value outside the modes reads on from where the stream stands.
    return true;
  }

  const bool companionMode = read.Companion != nullptr;
  CurrentPart = companionMode ? 0 : PartNumberOfDisk(EndRecord->GetThisDisk32()) - 1;
  // Known before any swap: the part number decides whether a part is named as the last one.
  PartCount = PartNumberOfDisk(EndRecord->GetThisDisk32());
  if (EndRecord->GetThisDisk32() > 0) {
    if (SpanMode == smSingleFile) {
      const std::string root = platform::UpperCaseAscii(FZipName.substr(0, 3));
      SpanMode = root.size() >= 2 && root[1] == ':' && IsRemovableDrive(root) ? smRemovableDisks
                                                                              : smSplitFiles;
    }
  } else {
    SpanMode = smSingleFile;
  }
  if (companionMode) {
    // The entries' data are in the archive, which is a single file when the end record says so.
    if (EndRecord->GetThisDisk32() == 0 && ArchiveFile) read.EndPartSize = ArchiveFile->GetSize();
    read.Stream = read.Companion.get();
  } else {
    read.EndPartSize = read.Stream->GetSize();
  }
  if (EndRecord->GetTotalEntries64() > 0) {
    if (!companionMode && SpanMode != smSingleFile &&
        PartNumberOfDisk(EndRecord->GetStartDisk32()) != CurrentPart + 1) {
      read.Stream = SwapToPart(PartNumberOfDisk(EndRecord->GetStartDisk32()));
    }
    read.Stream->SetPosition(
        companionMode ? 0 : platform::ClampToInt64(EndRecord->GetCentralOffset64()));
  }
  return true;
}

TRebuildReason TUnZipper::ReadCentralHeaders(TDirectoryRead& read) {
  const bool companionMode = read.Companion != nullptr;
  const TZipHeaderInfo::TNextPartCallback nextPart = [this](TZipHeaderInfo*, TStream*& s) {
    s = SwapToPart(PartNumberAfter(CurrentPart));
  };
  const bool useCallback = SpanMode != smSingleFile && !companionMode;
  TZipHeaderInfo* pendingEntry = nullptr;  // the last entry with a central extra field
  int64_t pendingExtra = 0;
  // Central directories out of offset order cost one sort, not one move of the list per entry.
  const TBulkAdd<TZipHeaderInfo> bulk(Entries);
  for (uint64_t i = 0; i < EndRecord->GetTotalEntries64(); ++i) {
    PumpAndCheckCancel();
    std::unique_ptr<TZipHeaderInfo> entry = NewEntryRecord();
    bool headerRead = entry->ReadCentralHeader(read.Stream, useCallback ? nextPart : nullptr);
    if (!headerRead && pendingExtra > 0 && pendingEntry != nullptr) {
      // The entry before claimed an extra field that was not there: read again without it.
      pendingEntry->CentralExtraLength = 0;
      read.Stream->Seek(-pendingExtra, soCurrent);
      entry = NewEntryRecord();
      headerRead = entry->ReadCentralHeader(read.Stream, useCallback ? nextPart : nullptr);
    }
    pendingExtra = 0;
    pendingEntry = nullptr;

    if (!headerRead) {
      // The parts of a multi-part archive cannot be rebuilt.
      if (SpanMode != smSingleFile) ClearAndRaiseBadZip(*this);
      return rrUnreadableHeader;
    }
    if (entry->HasMissingZip64Values()) ClearAndRaiseBadZip(*this);
    // A file's data that run past the end fail when it is extracted ("Premature end of file
    // reached"); an entry without a file name stands for a directory and is never decoded, so
    // nothing would ever say that its data are missing.
    if (entry->FileName.empty() &&
        !FitsEndPart(*entry, EndRecord->GetThisDisk32(), read.EndPartSize)) {
      const std::string text = DataPastEndText(i + 1, *entry, read.EndPartSize);
      ClearArchive();
      throw EBadZipFile(text);
    }

    const int64_t skip = static_cast<int64_t>(entry->CentralExtraLength) + entry->CommentLength;
    TZipHeaderInfo* added = entry.get();
    try {
      Entries->Add(added);
    } catch (const EListError&) {
      return rrSharedLocalHeader;
    }
    entry.release();  // the list owns it now
    if (companionMode && added->HasComment()) {
      // Its central header lies in the companion file, which is not open after this read.
      added->SetComment(WholeOrEmpty(LoadEntryComment(*read.Stream, *added), added->CommentLength));
    } else if (EndRecord->GetThisDisk32() > 0 && added->HasComment()) {
      added->Comment = LoadEntryComment(*read.Stream, *added);
    }
    read.Stream->Seek(skip, soCurrent);
    if (added->CentralExtraLength > 0) {
      pendingExtra = added->CentralExtraLength;
      pendingEntry = added;
    }
  }
  return rrNone;
}

void TUnZipper::RebuildFromLocalHeaders(TDirectoryRead& read, TRebuildReason reason) {
  if (!RecoverFromLocalHeaders()) ClearAndRaiseBadZip(*this);
  RebuildReason = reason;
  read.LocalFacts = FactsOf(*Entries);
  // The archive's own stream is the one to read now, whatever was read before.
  read.Stream = ArchiveFile.get();
  read.EndPartSize = ArchiveFile->GetSize();
}

void TUnZipper::MergeCentralHeaders(TDirectoryRead& read) {
  // The central headers that follow the last local header, as far as they can be read; each
  // one that describes a rebuilt entry gives it its values, the rest are ignored. One that
  // cannot be right (a marker without its Zip64 value, data past the end) ends the reading
  // there: the directory is damaged already, and what was rebuilt stands.
  for (uint64_t i = 0; i < EndRecord->GetTotalEntries64(); ++i) {
    PumpAndCheckCancel();
    const std::unique_ptr<TZipHeaderInfo> entry = NewEntryRecord();
    if (!entry->ReadCentralHeader(read.Stream)) return;
    if (entry->HasMissingZip64Values() ||
        !FitsEndPart(*entry, EndRecord->GetThisDisk32(), read.EndPartSize)) {
      return;
    }
    int index = 0;
    if (Entries->Find(entry.get(), index) && static_cast<size_t>(index) < read.LocalFacts.size() &&
        DescribesLocalHeader(*entry, read.LocalFacts[static_cast<size_t>(index)])) {
      TZipHeaderInfo* rebuilt = Entries->Items(index);
      const uint64_t offset = rebuilt->GetLocalHeaderOffset64();
      rebuilt->CopyFrom(*entry);
      rebuilt->SetLocalHeaderOffset64(offset);
    }
    read.Stream->Seek(static_cast<int64_t>(entry->CentralExtraLength) + entry->CommentLength,
                      soCurrent);
  }
}

void TUnZipper::ReadEndComment(TDirectoryRead& read) {
  if (read.Companion && EndRecord->HasComment()) {
    // The end record, and so its comment, is the companion file's, even after a rebuild.
    EndRecord->SetComment(WholeOrEmpty(
        ReadCommentAt(*read.Companion, EndRecord->CommentPosition, EndRecord->CommentLength),
        EndRecord->CommentLength));
  } else if (EndRecord->GetThisDisk32() > 0 && EndRecord->HasComment()) {
    if (PartNumberOfDisk(EndRecord->GetThisDisk32()) != CurrentPart + 1) {
      read.Stream = SwapToPart(PartNumberOfDisk(EndRecord->GetThisDisk32()));
    }
    EndRecord->Comment =
        ReadCommentAt(*read.Stream, EndRecord->CommentPosition, EndRecord->CommentLength);
  }
}
