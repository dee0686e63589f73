// TUnZipper: construction, settings, the message routine and the read-only view of the directory.
#include "unzip/unzipper.h"

#include <chrono>
#include <thread>

#include "platform/ascii_case.h"
#include "platform/dialogs.h"
#include "platform/exceptions.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/message_pump.h"
#include "platform/path_text.h"
#include "unzip/base/directories.h"
#include "unzip/base/messages.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/decoders/entry_decoder.h"
#include "unzip/entry_destination.h"
#include "unzip/records/little_endian.h"

namespace {

// The name without the extension of its file-name part: everything before the last "." of the
// part after the last "\" or ":", so that "app-1.2.zip" gives "app-1.2".
std::string WithoutExtension(const std::string& name) {
  const size_t partStart = platform::ExtractFilePath(name).size();
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && dot >= partStart ? name.substr(0, dot) : name;
}

}  // namespace

TUnZipper::TUnZipper() : EndRecord(std::make_unique<TEndCentral>()) {}

TUnZipper::~TUnZipper() {
  ClearArchive();
}

void TUnZipper::Assign(const TUnZipper& source) {
  FZipName = source.FZipName;
  SortMode = source.SortMode;
  IncompleteZipMode = source.IncompleteZipMode;
  KeepZipOpen = source.KeepZipOpen;
  DoProcessMessages = source.DoProcessMessages;
  OnInCompleteZip = source.OnInCompleteZip;
  OnGetNextDisk = source.OnGetNextDisk;
  OnFileNameForSplitPart = source.OnFileNameForSplitPart;
  OnHandleMessage = source.OnHandleMessage;
  FlushFilesOnClose = source.FlushFilesOnClose;
  BlockMode = source.BlockMode;
  OEMConvert = source.OEMConvert;
  BufferedStreamSize = source.BufferedStreamSize;
  FDestDir = source.FDestDir;
  FRootDir = source.FRootDir;
  RelativePathList = source.RelativePathList;
  FilesList = source.FilesList;
  RecreateDirs = source.RecreateDirs;
  OverwriteMode = source.OverwriteMode;
  DoAll = source.DoAll;
  RetainAttributes = source.RetainAttributes;
  ReplaceReadOnly = source.ReplaceReadOnly;
  EncryptedBeforeCompression = source.EncryptedBeforeCompression;
  OnStartUnZipInfo = source.OnStartUnZipInfo;
  OnStartUnZip = source.OnStartUnZip;
  OnPromptForOverwrite = source.OnPromptForOverwrite;
  OnSkippingFile = source.OnSkippingFile;
  OnBadPassword = source.OnBadPassword;
  OnBadCRC = source.OnBadCRC;
  OnFilePercentDone = source.OnFilePercentDone;
  OnTotalPercentDone = source.OnTotalPercentDone;
  OnEndUnZip = source.OnEndUnZip;
  OnUnZipComplete = source.OnUnZipComplete;
  OnDecrypt = source.OnDecrypt;
}

void TUnZipper::SetZipName(const std::string& value) {
  std::string name = value;
  platform::SlashesToBackslashes(name);
  if (platform::EqualsIgnoringAsciiCase(name, FZipName)) return;
  if (!name.empty() && name.back() == '?') {
    const std::string dir = platform::ExtractFilePath(name);
    const std::string initialDir = !dir.empty() && platform::DirectoryExists(dir) ? dir : "C:\\";
    std::string chosen;
    if (!platform::ShowFileOpenDialog("Open a Zip File",
                                      "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|"
                                      "Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*",
                                      initialDir, &chosen)) {
      throw EUserCanceled(kTextCanceledZipName);
    }
    name = chosen;
    platform::SlashesToBackslashes(name);
  }
  FZipName = name;
  ZipBaseName = WithoutExtension(name);
  ForgetDirectory();
}

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
  platform::SlashesToBackslashes(dir);
  FDestDir = DestinationDirOf(dir);
}

void TUnZipper::SetRootDir(const std::string& value) {
  std::string root = value;
  platform::SlashesToBackslashes(root);
  FRootDir = root.empty() || root.back() == '\\' ? root : root + "\\";
  RelativePathList.assign(1, FRootDir);
}

void TUnZipper::ForgetDirectory() {
  ReleaseEntries();
  DirectoryDate = 0;
  EndRecord->Clear();
  ArchiveFile.reset();
  ArchiveIsBad = false;
  RebuildReason = rrNone;
}

void TUnZipper::ReleaseEntries() {
  SortedEntries = nullptr;
  SeparateView.reset();
  Entries.reset();
}

std::unique_ptr<TZipHeaderInfo> TUnZipper::NewEntryRecord() const {
  auto entry = std::make_unique<TZipHeaderInfo>();
  entry->OEMConvert = OEMConvert;
  return entry;
}

int TUnZipper::HandleMessage(int messageId, const std::string& msg1, const std::string& msg2,
                             uint32_t flags) {
  if (OnHandleMessage) {
    int result = 0;
    OnHandleMessage(this, messageId, msg1, msg2, flags, result);
    return result;
  }
  return platform::ShowMessageBox(msg1, msg2, flags);
}

void TUnZipper::WaitWhilePaused() {
  while (PauseRequested) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    platform::PumpMessages();
  }
}

void TUnZipper::PumpAndCheckCancel() {
  if (!DoProcessMessages) return;
  platform::PumpMessages();
  if (CancelRequested) {
    CancelRequested = false;
    throw EUserCanceled(MessageText(kMsgUserAborted));
  }
  if (PauseRequested) WaitWhilePaused();
}

// ---- The read-only view ---------------------------------------------------------------------

int TUnZipper::EntryCount() const {
  return Entries ? Entries->Count() : 0;
}

void TUnZipper::CheckIndex(int index) const {
  if (index < 0 || index >= EntryCount() || SortedEntries == nullptr) {
    throw EListError(FormatMessageText(kMsgIndexOutOfRange, index));
  }
}

std::string TUnZipper::EntryFileName(int index) {
  CheckIndex(index);
  return SortedEntries->Items(index)->FileName;
}

std::string TUnZipper::EntryComment(int index) {
  CheckIndex(index);
  TZipHeaderInfo* entry = SortedEntries->Items(index);
  if (entry->CommentLength == 0 || !entry->Comment.empty()) return entry->Comment;
  OpenArchive();
  // OpenArchive may have read the directory again, and that read may have loaded the comment.
  CheckIndex(index);
  entry = SortedEntries->Items(index);
  if (entry->CommentLength == 0 || !entry->Comment.empty()) {
    if (SpanMode == smSingleFile) CloseArchive();
    return entry->Comment;
  }
  const std::string comment = LoadEntryComment(*ArchiveFile, *entry);
  entry->Comment = comment;
  if (SpanMode == smSingleFile) CloseArchive();
  return comment;
}

void TUnZipper::SetEntryComment(int index, const std::string& comment) {
  CheckIndex(index);
  SortedEntries->Items(index)->SetComment(comment);
  EndRecord->CommentChanged = true;
}

std::string TUnZipper::ArchiveComment() {
  if (EndRecord->CommentLength == 0 || !EndRecord->Comment.empty()) return EndRecord->Comment;
  OpenArchive();
  if (EndRecord->CommentLength == 0 || !EndRecord->Comment.empty()) {
    if (SpanMode == smSingleFile) CloseArchive();
    return EndRecord->Comment;
  }
  EndRecord->Comment =
      ReadCommentAt(*ArchiveFile, EndRecord->CommentPosition, EndRecord->CommentLength);
  if (SpanMode == smSingleFile) CloseArchive();
  return EndRecord->Comment;
}

void TUnZipper::SetArchiveComment(const std::string& comment) {
  EndRecord->SetComment(comment);
  EndRecord->CommentChanged = true;
}

std::string TUnZipper::ReadCommentAt(TStream& stream, int64_t position, uint16_t length) const {
  const int64_t saved = stream.Position();
  stream.SetPosition(position);
  std::string text(length, '\0');
  text.resize(static_cast<size_t>(std::max<int32_t>(stream.Read(text.data(), length), 0)));
  stream.SetPosition(saved);
  return text;
}

std::string TUnZipper::LoadEntryComment(TStream& stream, const TZipHeaderInfo& entry) const {
  const int64_t saved = stream.Position();
  stream.SetPosition(entry.CentralHeaderOffset);
  uint8_t header[kCentralHeaderSize];
  std::string text;
  if (stream.Read(header, kCentralHeaderSize) == kCentralHeaderSize) {
    const int64_t commentStart = stream.Position() + Le16(header + central_header::kNameLength) +
                                 Le16(header + central_header::kExtraLength);
    text = ReadCommentAt(stream, commentStart, Le16(header + central_header::kCommentLength));
  }
  stream.SetPosition(saved);
  return text;
}

bool TUnZipper::DecodesMethod(uint16_t method) {
  return TEntryDecoder::Decodes(method);
}
