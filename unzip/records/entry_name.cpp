// Entry name decoding: UTF-8 versus the OEM code page, and the directory/file name split.
#include "unzip/records/entry_name.h"

#include "platform/ascii_case.h"
#include "platform/code_pages.h"
#include "platform/path_text.h"
#include "platform/utf8_text.h"

bool OemRoundTripName(std::string& name) {
  std::string text;
  std::string back;
  if (!platform::OemToUtf8(name, &text) || !platform::Utf8ToOem(text, &back)) return false;
  // The UTF-8 text is usually longer than the OEM bytes, so the comparison is with the bytes as
  // read, never with the converted text.
  if (!platform::EqualsIgnoringAsciiCase(back, name)) return false;
  name = std::move(text);
  return true;
}

std::string OemNameOneWay(std::string_view bytes) {
  std::string text;
  if (platform::OemToUtf8(bytes, &text)) return text;
  text.clear();
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80) {
      text += c;
    } else {
      text += "\xEF\xBF\xBD";
    }
  }
  return text;
}

std::string DecodeUtf8Name(std::string_view bytes) {
  return platform::IsValidUtf8(bytes) ? std::string(bytes) : std::string();
}

std::string Utf8OrOemName(std::string_view bytes) {
  // An empty name would turn a file entry into one for the destination directory itself.
  return platform::IsValidUtf8(bytes) ? DecodeUtf8Name(bytes) : OemNameOneWay(bytes);
}

std::string DecodeEntryName(std::string_view raw, uint16_t flags, int host, bool oemTest) {
  std::string name(raw);
  platform::SlashesToBackslashes(name);
  const bool saysUtf8 = (flags & kFlagUtf8Name) != 0;
  const bool unixUtf8 = host == kHostUnix && platform::IsValidUtf8(name);
  if (!saysUtf8 && !unixUtf8 && oemTest && OemRoundTripName(name)) return name;
  return Utf8OrOemName(name);
}

void SplitEntryPath(std::string_view path, std::string* directory, std::string* fileName) {
  *directory = platform::ExtractFilePath(path);
  *fileName = std::string(path.substr(directory->size()));
  if (!directory->empty() && directory->back() == ':') *directory += '\\';
}
