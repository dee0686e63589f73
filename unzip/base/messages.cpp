// The string table behind MessageText.
#include "unzip/base/messages.h"

#include <iterator>

namespace {
struct MessageEntry {
  int id;
  const char* text;
};

constexpr MessageEntry kMessages[] = {
    {kMsgCanceledDestDir, "User canceled Set Desination Directory"},
    {kMsgIndexOutOfRange, "Index %d is out of range"},
    {kMsgUserAborted, "User Aborted Operation"},
    {kMsgInsertDisk, "Please insert disk %d of the multi-disk set."},
    {kMsgInflateOutOfMemory, "*** inflate out of memory ***"},
    {kMsgPrematureEnd, "Premature end of file reached"},
    {kMsgReplaceExisting, "Replace existing file "},
    {kMsgFileExistsAlert, "File Exists Alert"},
    {kMsgUnknownMethod, "Unknown Compression Method"},
    {kMsgZipError, "Zip Error"},
    {kMsgBiggerThanUncompressed, "File is larger than uncompressed size!"},
    {kMsgCantWriteUcf, "Cant write uncompressed file"},
    {kMsgSeekError, "Seek error"},
    {kMsgInvalidSeekOrigin, "Invalid seek origin (%d)"},
    {kMsgPutbackOverflow, "Putback overflow"},
};
}  // namespace

std::string MessageText(int id) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.id == id) return entry.text;
  }
  return {};
}
