// The archive component's numbered message texts. The number is also the MessageID that
// questions and notices carry to the OnHandleMessage event.
#pragma once

#include <string>

#include "unzip/base/format_text.h"

enum TMessageId : int {
  kMsgCanceledDestDir = 178,
  kMsgIndexOutOfRange = 179,
  kMsgUserAborted = 181,
  kMsgInsertDisk = 184,
  kMsgInflateOutOfMemory = 193,
  kMsgPrematureEnd = 194,
  kMsgReplaceExisting = 195,
  kMsgFileExistsAlert = 196,
  kMsgUnknownMethod = 197,
  kMsgZipError = 198,
  kMsgBiggerThanUncompressed = 199,
  kMsgCantWriteUcf = 207,
  kMsgSeekError = 190,
  kMsgInvalidSeekOrigin = 191,
  kMsgPutbackOverflow = 192,
};

// Texts that have no number of their own.
inline constexpr const char* kTextCanceledZipName = "User canceled setting zip file name.";
inline constexpr const char* kTextNotAZip = "Not a valid zip file!";
inline constexpr const char* kTextIncompleteZip = "Incomplete Zip File";
inline constexpr const char* kTextCanceledNewDisk = "User canceled loading new disk.";
inline constexpr const char* kTextDamagedEndRecord =
    "the archive's end record is damaged (it names part %s of a split set that does not exist)";
// An entry found from its local header alone whose data cannot be told from what follows.
inline constexpr const char* kTextSizesUnknown =
    "sizes unknown: the archive's directory is damaged";
inline constexpr const char* kTextNoCurrentDirectory =
    "The current directory cannot be determined, and no destination directory is set";

// The text of message `id`; an empty text for a number the table does not hold.
std::string MessageText(int id);

// The text of message `id` with its placeholders filled.
template <typename... Args>
std::string FormatMessageText(int id, const Args&... args) {
  return FormatText(MessageText(id), args...);
}
