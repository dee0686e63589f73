// TUnZipper, the archive component: its settings, its events and the directory side (opening the
// archive, reading or rebuilding its directory, split and multi-disk parts, the read-only view of
// entries and comments).
//
// Where TUnZipper's methods are:
//   unzipper.cpp               construction, Assign, the ZipName/DestDir/RootDir setters,
//                              HandleMessage, pumping, cancelling and pausing, the read-only view
//                              (EntryCount, EntryFileName, the entry and archive comments),
//                              DecodesMethod
//   directory_reader.cpp       LoadDirectory, OpenArchive, CloseArchive, ClearArchive,
//                              BuildSortedView, and ReadDirectory with its steps: FindDirectory
//                              (end record, companion file, first part), ReadCentralHeaders,
//                              RebuildFromLocalHeaders, MergeCentralHeaders, ReadEndComment
//   local_header_recovery.cpp  RecoverFromLocalHeaders: the entry list from the local headers
//   archive_parts.cpp          PartFileName, PartLabelMatches, SwapToPart: split and disk parts
//   extraction_run.cpp         UnZip and Run: ChooseEntries, ProcessEntry, SkipLocalHeader,
//                              ExtractFile, ExtractDirectory, CanDecode, MayReplaceExisting,
//                              CreateOutputFile with NewFileBeside and ReplaceWithWrittenFile,
//                              RaiseOnArchiveReadFailure, GiveUp, OnBlockWritten (the
//                              percentage events)
//   entry_output.cpp           around the decoding of one file: MakeEntryJob, EndOutputFile,
//                              AuthenticationCodeMatches, Verdict, ApplyStoredAttributes
//   password_check.cpp         CheckPassword, VerifyPassword
// The rules they call have files of their own: entry_destination.h (where an entry goes, which
// output paths are unsafe), overlapping_entries.h (entries sharing data), wildcard.h (FilesList
// patterns), run_state.h (what one extraction run holds), data_descriptor_search.h (where the
// data of a rebuilt entry end when its local header leaves that to a descriptor). Built on the
// public members alone: entry_bytes.h (one small entry read into memory), cut_off_descriptors.h
// (entries whose data descriptor has no room after their data); damaged_archive_text.h words
// what is wrong with a damaged archive, for every caller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "unzip/base/buffered_stream.h"
#include "unzip/collections/sorted_zip.h"
#include "unzip/crypto/aes_decryptor.h"
#include "unzip/crypto/traditional_cipher.h"
#include "unzip/records/end_central.h"
#include "unzip/records/zip_header_info.h"

struct TEntryJob;

enum TIncompleteZipMode : uint8_t { izAssumeMulti = 0, izAssumeBad = 1, izAssumeNotAZip = 2 };
enum TBlockMode : uint8_t { bmStandard = 0, bmClassic = 1 };
enum TSplitPartType : uint8_t { spFirst = 0, spMiddle = 1, spLast = 2 };
// Where the parts of an archive are: one file only, one part per removable disk (the volume label
// names the part), or split files beside each other.
enum TSpanMode : uint8_t { smSingleFile = 0, smRemovableDisks = 1, smSplitFiles = 2 };
// What to do when an output file exists already.
enum TUZOverwriteMode : uint8_t { Prompt = 0, Always = 1, Never = 2, ifNewer = 3, ifOlder = 4 };
// Why an entry was given up. Extraction reports srBadPassword, srNoOverwrite, srCreateError,
// srUnsafePath: a name that would put the entry outside the destination directory (or name a
// device), or an entry whose data overlaps the data of an entry before it in the archive;
// srUnknownMethod: a compression method this component does not decode; srStrongEncryption:
// PKWARE's strong encryption (flag bit 6), which it does not decrypt. srCreateError also names
// a directory entry that could not be made.
enum TSkipReason : uint8_t {
  srBadPassword = 0,
  srNoOverwrite = 1,
  srFileOpenError = 2,
  srCreateError = 3,
  srExcludeList = 4,
  srArchiveBitNotSet = 5,
  srNoFileToFreshen = 6,
  srSkippedInStartZip = 7,
  srUnsafePath = 8,
  srUnknownMethod = 9,
  srStrongEncryption = 10,
};

// Why the entry list was rebuilt from the local headers (damaged_archive_text.h puts it in words).
enum TRebuildReason : uint8_t {
  rrNone = 0,               // not rebuilt: the central directory was read as stored
  rrNoEndRecord = 1,        // no end record, and IncompleteZipMode asked for a rebuild
  rrImpossibleCount = 2,    // the end record claims more entries than the bytes before it hold
  rrUnreadableHeader = 3,   // a central header cannot be read
  rrSharedLocalHeader = 4,  // two central headers name the same local header
  rrEmptyEndRecord = 5,     // the end record says "no entries", yet a local header opens the file
};

// The companion file that holds the directory (and end record) of an archive without one: the
// archive's name with the extension of its file-name part replaced by ".zfc".
std::string CompanionFileName(const std::string& zipName);

class TUnZipper {
 public:
  // ==== For callers ============================================================================

  // Events; Sender is the component. An unassigned event is skipped.
  using TIncompleteZip = std::function<void(TUnZipper* sender, TIncompleteZipMode& mode)>;
  using TGetNextDisk = std::function<void(TUnZipper* sender, int nextDisk, std::string& fileName)>;
  using TFileNameForSplitPartEvent = std::function<void(TUnZipper* sender, std::string& fileName,
                                                        int partNumber, TSplitPartType splitType)>;
  using THandleMessageEvent =
      std::function<void(TUnZipper* sender, int messageId, const std::string& msg1,
                         const std::string& msg2, uint32_t flags, int& result)>;
  using TStartUnzipInfo =
      std::function<void(TUnZipper* sender, int numFiles, int64_t totalBytes, bool& stopNow)>;
  using TStartUnZipEvent =
      std::function<void(TUnZipper* sender, int fileIndex, std::string& fName, bool& skip)>;
  using TPromptForOverwrite =
      std::function<void(TUnZipper* sender, bool& overWriteIt, int fileIndex, std::string& fName)>;
  using TSkippingFile = std::function<void(TUnZipper* sender, TSkipReason reason,
                                           const std::string& fName, int fileIndex, bool& retry)>;
  using TBadPassword =
      std::function<void(TUnZipper* sender, int fileIndex, std::string& newPassword)>;
  using TBadCRC =
      std::function<void(TUnZipper* sender, uint32_t calcCrc, uint32_t storedCrc, int fileIndex)>;
  using TPercentDone = std::function<void(TUnZipper* sender, int percent)>;
  using TEndUnZipEvent =
      std::function<void(TUnZipper* sender, int fileIndex, const std::string& fName)>;
  using TUnZipComplete = std::function<void(TUnZipper* sender, int fileCount)>;
  using TDecryptEvent = std::function<void(TUnZipper* sender, uint8_t* buffer, int length,
                                           const std::string& password)>;

  TUnZipper();
  ~TUnZipper();
  TUnZipper(const TUnZipper&) = delete;
  TUnZipper& operator=(const TUnZipper&) = delete;

  // Copies the settings and event handlers of another component; ZipName, DestDir and RootDir
  // are stored as they are, without the setters' effects.
  void Assign(const TUnZipper& source);

  // ---- Settings -------------------------------------------------------------------------------
  const std::string& ZipName() const { return FZipName; }
  // "/" is taken as a separator and stored as "\". A new name forgets the directory (the file is
  // not touched); the same name in another letter case keeps it. A name ending in "?" asks for
  // the archive with the file-open dialog.
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

  const std::string& DestDir() const { return FDestDir; }
  // "?" asks for the directory with the directory chooser (EUserCanceled, text 178, when it is
  // cancelled). "/" is stored as "\", then one trailing "\" is dropped, except from a lone root:
  // "\" and "C:\" stay the roots they name. An empty value stands for the current directory; a
  // missing directory is created, with every missing parent, when a run starts.
  void SetDestDir(const std::string& value);
  const std::string& RootDir() const { return FRootDir; }
  // Stored with "/" as "\" and a trailing "\" (a root stays "\" or "C:\"); RelativePathList
  // becomes this single item.
  void SetRootDir(const std::string& value);
  // Prefixes taken off stored directories (the first that matches, letter case ignored).
  std::vector<std::string> RelativePathList;
  // Wildcard patterns choosing the entries when DoAll is false; emptied after every run.
  std::vector<std::string> FilesList;
  void SetFilesList(const std::vector<std::string>& patterns) { FilesList = patterns; }
  bool RecreateDirs = false;
  TUZOverwriteMode OverwriteMode = Prompt;
  bool DoAll = false;
  bool RetainAttributes = true;
  bool ReplaceReadOnly = false;
  // Tried for every encrypted entry; OnBadPassword may replace it.
  std::string Password;
  // The stored bytes were encrypted before compression: decrypt the decoded output instead.
  bool EncryptedBeforeCompression = false;
  // Non-zero: the traditional header check accepts every non-empty password.
  int Tag = 0;

  // Informative: always 100, 1 and "Release".
  int ThisVersion() const { return 100; }
  int ThisBuild() const { return 1; }
  std::string ThisReleaseLevel() const { return "Release"; }

  TIncompleteZip OnInCompleteZip;
  TGetNextDisk OnGetNextDisk;
  TFileNameForSplitPartEvent OnFileNameForSplitPart;
  THandleMessageEvent OnHandleMessage;
  TStartUnzipInfo OnStartUnZipInfo;
  TStartUnZipEvent OnStartUnZip;
  TPromptForOverwrite OnPromptForOverwrite;
  TSkippingFile OnSkippingFile;
  TBadPassword OnBadPassword;
  TBadCRC OnBadCRC;
  TPercentDone OnFilePercentDone;
  TPercentDone OnTotalPercentDone;
  TEndUnZipEvent OnEndUnZip;
  TUnZipComplete OnUnZipComplete;
  TDecryptEvent OnDecrypt;

  // ---- Extraction -----------------------------------------------------------------------------
  // Extracts the chosen entries under DestDir. Returns the files extracted and verified plus the
  // directory entries made. Failures of the archive itself and of writing leave as exceptions;
  // OnUnZipComplete has been raised before one that arises after the directory was read.
  int UnZip();
  // Whether the component decodes entries stored with compression method `method` (an entry of
  // another method is skipped with srUnknownMethod).
  static bool DecodesMethod(uint16_t method);

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

  // ---- Directory state ------------------------------------------------------------------------
  std::unique_ptr<TSortedZip> Entries;  // archive order, owns the entries
  TSortedZip* SortedEntries = nullptr;  // Entries itself, or SeparateView
  // The directory in memory was rebuilt from the local headers (set again by every LoadDirectory
  // that keeps such a directory).
  bool ImproperArchive = false;
  // Why it was rebuilt; rrNone while it was not. Kept as long as the rebuilt directory is.
  TRebuildReason RebuildReason = rrNone;
  // Set by a handler to stop the directory read or the run at its next pump (EUserCanceled), or
  // to hold it there while set; both take effect with DoProcessMessages only.
  bool CancelRequested = false;
  bool PauseRequested = false;

  // ==== For tests: the component's own state and routines, open to inspection ==================

  // Sleeps and pumps messages while PauseRequested is set.
  void WaitWhilePaused();
  // Asks or tells the user: OnHandleMessage when assigned, else the platform's message box.
  int HandleMessage(int messageId, const std::string& msg1, const std::string& msg2,
                    uint32_t flags);

  std::string ZipBaseName;  // ZipName without the extension of its file-name part
  std::unique_ptr<TBufferedFileStream> ArchiveFile;
  std::unique_ptr<TEndCentral> EndRecord;
  bool ArchiveIsBad = false;  // the entry list is a rebuilt one, in this directory read
  int CurrentPart = 0;        // the part open in ArchiveFile, counted from 0
  int PartCount = 1;
  TSpanMode SpanMode = smSingleFile;
  bool Busy = false;          // true while LoadDirectory or UnZip is under way
  uint8_t OperationMode = 0;  // 1 while the directory is read or a run is under way

 private:
  // What one extraction run works with; it exists from the start of the run to its end
  // (run_state.h).
  struct TRunState;

  // What the steps of one directory read share (directory_reader.cpp).
  struct TDirectoryRead;

  // Reads the directory through `stream` (the archive file, or a part it swaps to): finds it,
  // reads its central headers, and rebuilds the list from the local headers where they fail or
  // the end record claims more entries than the bytes before it can hold.
  void ReadDirectory(TStream* stream);
  // Finds the end record, in the archive or else in its companion file, and positions the read
  // at the first central header. False when there is none and IncompleteZipMode asks for a
  // rebuild; EIncompleteZip or ENotAZipFile when it asks for that.
  bool FindDirectory(TDirectoryRead& read);
  // Reads the central headers into the entry list. rrNone when they were read; else why the list
  // is to be rebuilt from the local headers: a header of a single-file archive cannot be read, or
  // two name the same local header. EBadZipFile, the archive cleared, when a multi-part one cannot
  // be read, an entry lacks a Zip64 value its header calls for, or an entry without a file name has
  // data that would run past the end of the archive (the message names the entry).
  TRebuildReason ReadCentralHeaders(TDirectoryRead& read);
  // RecoverFromLocalHeaders for `reason`, or EBadZipFile with the archive cleared when it cannot.
  void RebuildFromLocalHeaders(TDirectoryRead& read, TRebuildReason reason);
  // After a rebuild: takes the values of the central headers that describe rebuilt entries, up
  // to the first one that cannot be right (a Zip64 value missing, data past the end).
  void MergeCentralHeaders(TDirectoryRead& read);
  // Loads the archive comment when it lies in the companion file or in another part.
  void ReadEndComment(TDirectoryRead& read);
  // Rebuilds the entry list from the local headers; false when it cannot (or already did). An
  // entry that leaves its sizes to a data descriptor gets them from the descriptor when one can
  // be found and checked, else it is marked SizesUnknown and the scan goes on after its header.
  bool RecoverFromLocalHeaders();
  // Makes SortedEntries the view of Entries in `mode` order.
  void BuildSortedView(TZipSortMode mode);
  // A new entry record carrying the component's OEMConvert.
  std::unique_ptr<TZipHeaderInfo> NewEntryRecord() const;
  // Closes the current part and opens part `part` (counted from 1); returns its stream.
  TStream* SwapToPart(int part);
  void ForgetDirectory();
  void ReleaseEntries();
  void CheckIndex(int index) const;
  void PumpAndCheckCancel();
  double FileDateTimeOf(TBufferedFileStream& file) const;
  std::string ReadCommentAt(TStream& stream, int64_t position, uint16_t length) const;
  std::string LoadEntryComment(TStream& stream, const TZipHeaderInfo& entry) const;
  std::string PartFileName(int part);
  bool PartLabelMatches(int part) const;

  // Extraction (extraction_run.cpp, entry_output.cpp, password_check.cpp). Every step below Run
  // works on run_, which Run sets up.
  int Run();
  // Sets Matched on every entry, the run's total bytes and the overlap marks; returns NumFiles.
  int ChooseEntries();
  void ProcessEntry(int index);
  // Positions the archive after the entry's local header, its name and its extra field.
  void SkipLocalHeader();
  // EArchiveReadError, the archive let go, when the system refused a read of the archive.
  void RaiseOnArchiveReadFailure();
  void ExtractFile(int index);
  void ExtractDirectory(int index);
  void MakeOutputDirectory();
  // Raises OnSkippingFile and takes the entry out of the run's total.
  void GiveUp(TSkipReason reason, const std::string& name, int index);
  // False, the entry given up, for a method or an encryption this component cannot read.
  bool CanDecode(int index);
  bool MayReplaceExisting(int index);
  // The output file, open on run_->WritePath; nullptr when the entry was given up with
  // srCreateError.
  std::unique_ptr<TBufferedFileStream> CreateOutputFile(int index);
  // A new empty file beside `path` that no one else has; empty when none can be made.
  static std::string NewFileBeside(const std::string& path);
  // Renames the written file over the output file when they differ; false when it cannot.
  bool ReplaceWithWrittenFile();
  static void ClearReadOnly(const std::string& path);
  TEntryJob MakeEntryJob(TBufferedFileStream& output);
  // Reads the stored authentication code, `unread` bytes of entry data further on.
  bool AuthenticationCodeMatches(int64_t unread);
  // Every byte written and (FlushFilesOnClose) on the disk, the time stamped when `stampTime`;
  // ECantWriteUCF when the file did not take it all.
  void EndOutputFile(TBufferedFileStream& output, bool stampTime);
  void Verdict(int index, bool authFailed, bool failedDecoding);
  void ApplyStoredAttributes(const std::string& path, bool isDirectory);
  // The password loop; false when the entry was given up with srBadPassword.
  bool CheckPassword(int index);
  // Checks `candidate` on the encryption header at the archive's position. Accepted: the
  // cipher is ready, the archive is at the first data byte and the compressed size no longer
  // counts the overhead. Refused: the archive is back where it was.
  bool VerifyPassword(const std::string& candidate);
  void OnBlockWritten(int32_t count);
  bool IsMultiPart() const;

  std::string FZipName;
  std::string FDestDir;
  std::string FRootDir;
  double DirectoryDate = 0;  // the archive's date-time when its directory was read
  TTraditionalCipher FTraditional;
  TAesDecryptor FAes;
  std::unique_ptr<TSortedZip> SeparateView;
  TRunState* run_ = nullptr;  // the state of the run under way; null outside UnZip
};
