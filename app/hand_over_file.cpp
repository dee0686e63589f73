// Reading the hand-over file.
#include "app/hand_over_file.h"

#include <algorithm>

#include "app/app_paths.h"
#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "platform/utf16_text.h"

std::vector<std::string> LoadLines(const std::string& path) {
  TFileStream file(path, platform::kOpenRead | platform::kShareDenyWrite);
  if (file.GetSize() > kMaxHandOverFileSize) {
    throw EStreamError("the hand-over file is too large (" + std::to_string(file.GetSize()) +
                       " bytes; at most " + std::to_string(kMaxHandOverFileSize) + ")");
  }
  std::string text(static_cast<size_t>(std::max<int64_t>(file.GetSize(), 0)), '\0');
  text.resize(
      static_cast<size_t>(std::max(file.Read(text.data(), static_cast<int32_t>(text.size())), 0)));
  // UTF-16 with its byte-order mark is what PowerShell 5's ">" and Out-File write.
  const bool littleEndian = text.rfind("\xFF\xFE", 0) == 0;
  const bool bigEndian = text.rfind("\xFE\xFF", 0) == 0;
  std::string utf8;
  if ((littleEndian || bigEndian) &&
      platform::Utf16ToUtf8(std::string_view(text).substr(2, (text.size() - 2) & ~size_t{1}),
                            bigEndian, &utf8)) {
    text = utf8;
  }
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  // A byte-order mark that an editor put in front is no part of the program's name.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  // A main program written for the system's ANSI code page (GBK on a Chinese system) writes its
  // name in that code page; the name must still find, close and restart it.
  if (!littleEndian && !bigEndian) text = platform::HandOverTextToUtf8(text);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    lines.push_back(text.substr(start, end - start));
    const bool crLf = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
    start = end + (crLf ? 2 : 1);
  }
  return lines;
}

std::string TrimBlanks(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 0x20) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 0x20) --last;
  return text.substr(first, last - first);
}

std::string MainExeNameFrom(const std::vector<std::string>& lines) {
  const std::string name = lines.empty() ? std::string() : TrimBlanks(lines.front());
  return name.empty() ? kDefaultMainExe : name;
}
