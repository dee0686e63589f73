// The string table behind MessageText.
#include "unzip/messages.h"

#include <iterator>

namespace {
struct MessageEntry {
  int id;
  const char* text;
};

constexpr MessageEntry kMessages[] = {
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
