// The archive component's numbered message texts. The number is also the MessageID that
// questions and notices carry to the OnHandleMessage event.
#pragma once

#include <string>

#include "unzip/format_text.h"

enum TMessageId : int {
  kMsgSeekError = 190,
  kMsgInvalidSeekOrigin = 191,
  kMsgPutbackOverflow = 192,
};

// The text of message `id`; an empty text for a number the table does not hold.
std::string MessageText(int id);

// The text of message `id` with its placeholders filled.
template <typename... Args>
std::string FormatMessageText(int id, const Args&... args) {
  return FormatText(MessageText(id), args...);
}
