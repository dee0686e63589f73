// TUnZipper, the archive component: its settings, its events and the directory side (opening the
// archive, reading or rebuilding its directory, split and multi-disk parts, the read-only view of
// entries and comments).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "unzip/buffered_stream.h"
#include "unzip/end_central.h"
#include "unzip/sorted_zip.h"
#include "unzip/zip_header_info.h"

enum TIncompleteZipMode : uint8_t { izAssumeMulti = 0, izAssumeBad = 1, izAssumeNotAZip = 2 };
enum TBlockMode : uint8_t { bmStandard = 0, bmClassic = 1 };
enum TSplitPartType : uint8_t { spFirst = 0, spMiddle = 1, spLast = 2 };

class TUnZipper {
 public:
  // Events; Sender is the component. An unassigned event is skipped.
  using TIncompleteZip = std::function<void(TUnZipper* sender, TIncompleteZipMode& mode)>;
  using TGetNextDisk = std::function<void(TUnZipper* sender, int nextDisk, std::string& fileName)>;
  using TFileNameForSplitPartEvent = std::function<void(TUnZipper* sender, std::string& fileName,
                                                        int partNumber, TSplitPartType splitType)>;
  using THandleMessageEvent =
      std::function<void(TUnZipper* sender, int messageId, const std::string& msg1,
                         const std::string& msg2, uint32_t flags, int& result)>;

  TUnZipper();
  ~TUnZipper();
  TUnZipper(const TUnZipper&) = delete;
  TUnZipper& operator=(const TUnZipper&) = delete;

  // Copies the settings and event handlers of another component; ZipName is stored as it is,
  // without the setter's effects.
  void Assign(const TUnZipper& source);

  // ---- Settings -------------------------------------------------------------------------------
  const std::string& ZipName() const { return FZipName; }
  // A new name forgets the directory (the file is not touched); the same name in another letter
  // case keeps it. A name ending in "?" asks for the archive with the file-open dialog.
  void SetZipName(const std::string& value);

  TZipSortMode SortMode = ByNone;  // writing it only stores it; the view follows at the next read
  TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  bool FlushFilesOnClose = false;
  TBlockMode BlockMode = bmStandard;
  TOEMConvert OEMConvert = oemFlexible;
  uint32_t BufferedStreamSize = 8192;
  bool CheckPartLabels = true;

  // Informative: always 100, 1 and "Release".
  int ThisVersion() const { return 100; }
  int ThisBuild() const { return 1; }
  std::string ThisReleaseLevel() const { return "Release"; }

  TIncompleteZip OnInCompleteZip;
  TGetNextDisk OnGetNextDisk;
  TFileNameForSplitPartEvent OnFileNameForSplitPart;
  THandleMessageEvent OnHandleMessage;

  // ---- The directory --------------------------------------------------------------------------
  // Entries in the directory; 0 when none was read. Does not read the directory.
  int EntryCount() const;
  // FileName of the entry at `index` of the sorted view; EListError "Index %d is out of range".
  std::string EntryFileName(int index);
  // The entry's comment, read from the archive on first request.
  std::string EntryComment(int index);
  void SetEntryComment(int index, const std::string& comment);
  std::string ArchiveComment();
  void SetArchiveComment(const std::string& comment);

  // Opens the archive and makes sure its directory is read, retrying an incomplete archive once
  // when OnInCompleteZip is assigned. Any other failure clears the archive and is raised.
  void LoadDirectory();
  // Opens the archive when it is not open, and reads its directory unless the one in memory is
  // current (same file date-time).
  void OpenArchive();
  // Closes the archive unless KeepZipOpen.
  void CloseArchive();
  // Closes the archive whatever KeepZipOpen says and forgets it: no directory, ZipName empty.
  void ClearArchive();
  // Reads the directory through `stream` (the archive file, or a part it swaps to).
  void ReadDirectory(TStream* stream);
  // Rebuilds the entry list from the local headers; false when it cannot (or already did).
  bool RecoverFromLocalHeaders();
  // Closes the current part and opens part `part` (counted from 1); returns its stream.
  TStream* SwapToPart(int part);
  // Makes SortedEntries the view of Entries in `mode` order.
  void BuildSortedView(TZipSortMode mode);
  // Sleeps and pumps messages while PauseRequested is set.
  void WaitWhilePaused();
  // A new entry record carrying the component's OEMConvert.
  std::unique_ptr<TZipHeaderInfo> NewEntryRecord() const;
  // Asks or tells the user: OnHandleMessage when assigned, else the platform's message box.
  int HandleMessage(int messageId, const std::string& msg1, const std::string& msg2,
                    uint32_t flags);

  // ---- Directory state ------------------------------------------------------------------------
  std::string ZipBaseName;  // ZipName without the extension of its file-name part
  std::unique_ptr<TBufferedFileStream> ArchiveFile;
  std::unique_ptr<TSortedZip> Entries;  // archive order, owns the entries
  TSortedZip* SortedEntries = nullptr;  // Entries itself, or SeparateView
  std::unique_ptr<TEndCentral> EndRecord;
  double DirectoryDate = 0;  // the archive's date-time when its directory was read
  bool ArchiveIsBad = false;
  bool ImproperArchive = false;
  int CurrentPart = 0;
  int PartCount = 1;
  uint8_t SpanMode = 0;  // 0 single file, 1 parts on removable disks, 2 split files
  bool CancelRequested = false;
  bool PauseRequested = false;
  bool Busy = false;
  uint8_t OperationMode = 0;
  std::unique_ptr<TZipHeaderInfo> WorkEntry;

 private:
  void ForgetDirectory();
  void ReleaseEntries();
  void CheckIndex(int index) const;
  void PumpAndCheckCancel();
  double FileDateTimeOf(TBufferedFileStream& file) const;
  std::string ReadCommentAt(TStream& stream, int64_t position, uint16_t length) const;
  std::string LoadEntryComment(TStream& stream, const TZipHeaderInfo& entry) const;
  std::string PartFileName(int part);
  bool PartLabelMatches(int part) const;

  std::string FZipName;
  std::unique_ptr<TSortedZip> SeparateView;
};
