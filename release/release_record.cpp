// The release record: its parser and writer, the version order, the rule for the paths of a
// release and the installed record of a program directory.
#include "release/release_record.h"

#include <filesystem>
#include <system_error>

#include "platform/ascii_case.h"
#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/utf8_text.h"
#include "release/own_names.h"
#include "signing/update_signature.h"

namespace {

constexpr std::string_view kHeader = "update-release 1";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr unsigned kUtf8CodePage = 65001;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The number `part` without its leading zeros ("" for zero).
std::string_view Significant(std::string_view part) {
  const size_t first = part.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view() : part.substr(first);
}

// The next dot-separated part of `version` from `*position`, which moves past it and its dot;
// "0" once the version has ended.
std::string_view NextPart(std::string_view version, size_t* position) {
  if (*position >= version.size()) return "0";
  const size_t dot = version.find('.', *position);
  const size_t end = dot == std::string_view::npos ? version.size() : dot;
  const std::string_view part = version.substr(*position, end - *position);
  *position = end + 1;
  return part;
}

// Whether Windows would not store `component` under its own name: a device name, bare or with
// an extension, or a name ending in a dot or a space.
bool IsWindowsReservedComponent(std::string_view component) {
  if (component.back() == '.' || component.back() == ' ') return true;
  // The device name is the part before the first dot, without trailing spaces ("CON .txt").
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string upper = platform::UpperCaseAscii(base);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

// `text` quoted for a message: control characters shown as "?", a long text cut.
std::string Quoted(std::string_view text) {
  constexpr size_t kShown = 80;
  std::string quoted = "\"";
  for (const char c : text.substr(0, kShown)) {
    quoted += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  }
  return quoted + (text.size() > kShown ? "...\"" : "\"");
}

bool Refuse(std::string* reason, std::string text) {
  *reason = std::move(text);
  return false;
}

std::string LineText(size_t number) {
  return "line " + std::to_string(number) + ": ";
}

// One item line after the first: its key and value, checked and stored in `record`. `seen`
// tracks the single items, in the order product, version, from.
bool ParseItem(std::string_view line, size_t number, bool seen[3], TReleaseRecord* record,
               std::string* reason) {
  const size_t space = line.find(' ');
  const std::string_view key = line.substr(0, space);
  const std::string_view value =
      space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  const std::string at = LineText(number);
  if (line.empty()) return Refuse(reason, at + "an empty line");
  if (key == "remove") {
    std::string why;
    if (!CheckReleasePath(value, &why)) {
      return Refuse(reason, at + "the path to remove " + Quoted(value) + " " + why);
    }
    std::string path(value);
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    for (const std::string& earlier : record->Removals) {
      if (earlier == path) {
        return Refuse(reason, at + Quoted(value) + " is removed a second time");
      }
    }
    record->Removals.push_back(std::move(path));
    return true;
  }
  static constexpr std::string_view kSingleKeys[] = {"product", "version", "from"};
  size_t index = 0;
  while (index < 3 && key != kSingleKeys[index]) ++index;
  if (index == 3) return Refuse(reason, at + "unknown item " + Quoted(key));
  if (seen[index]) return Refuse(reason, at + "a second \"" + std::string(key) + "\" item");
  seen[index] = true;
  if (index == 0) {
    if (!IsValidProduct(value)) {
      return Refuse(reason, at + "the product " + Quoted(value) + " is not 1 to " +
                                std::to_string(kMaxProductLength) +
                                " ASCII letters, digits, \".\", \"-\" and \"_\"");
    }
    record->Product = value;
    return true;
  }
  if (!IsValidVersion(value)) {
    return Refuse(reason, at + "the " + std::string(key) + " " + Quoted(value) +
                              " is not a version (decimal numbers separated by dots, at most " +
                              std::to_string(kMaxVersionLength) + " characters)");
  }
  (index == 1 ? record->Version : record->From) = value;
  return true;
}

}  // namespace

bool IsValidProduct(std::string_view product) {
  if (product.empty() || product.size() > kMaxProductLength) return false;
  for (const char c : product) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !IsDigit(c) && c != '.' && c != '-' && c != '_') return false;
  }
  return true;
}

bool IsValidVersion(std::string_view version) {
  if (version.empty() || version.size() > kMaxVersionLength) return false;
  bool partBegun = false;
  for (const char c : version) {
    if (c == '.') {
      if (!partBegun) return false;
      partBegun = false;
    } else if (IsDigit(c)) {
      partBegun = true;
    } else {
      return false;
    }
  }
  return partBegun;
}

int CompareVersions(std::string_view a, std::string_view b) {
  size_t positionA = 0;
  size_t positionB = 0;
  while (positionA < a.size() || positionB < b.size()) {
    const std::string_view partA = Significant(NextPart(a, &positionA));
    const std::string_view partB = Significant(NextPart(b, &positionB));
    // Without leading zeros, a longer number is the larger one; of equal length, the digits
    // decide in text order.
    if (partA.size() != partB.size()) return partA.size() < partB.size() ? -1 : 1;
    const int order = partA.compare(partB);
    if (order != 0) return order < 0 ? -1 : 1;
  }
  return 0;
}

bool CheckReleasePath(std::string_view path, std::string* reason) {
  if (path.empty()) return Refuse(reason, "is empty");
  if (path.size() > kMaxReleasePathLength) {
    return Refuse(reason, "is longer than " + std::to_string(kMaxReleasePathLength) + " bytes");
  }
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return Refuse(reason, "holds a control character");
    }
  }
  if (!platform::IsValidUtf8(path)) return Refuse(reason, "is not UTF-8 text");
  if (IsSeparator(path.front())) return Refuse(reason, "is not relative");
  if (path.find(':') != std::string_view::npos) {
    return Refuse(reason, "holds a drive letter or \":\"");
  }
  if (path.find_first_of("<>\"|?*") != std::string_view::npos) {
    return Refuse(reason, "holds one of the characters < > \" | ? * that Windows refuses");
  }
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string_view component = path.substr(start, end - start);
    if (component.empty()) return Refuse(reason, "has an empty component");
    if (component == "." || component == "..") {
      return Refuse(reason, "has a \".\" or \"..\" component");
    }
    if (IsWindowsReservedComponent(component)) {
      return Refuse(reason, "has the component \"" + std::string(component) +
                                "\", a device name or a name ending in a dot or a space, "
                                "which Windows cannot store");
    }
    if (end == path.size()) break;
    start = end + 1;
  }
  const std::string_view top = path.substr(0, path.find_first_of("\\/"));
  if (own_names::IsOwnName(path) || platform::EqualsIgnoringAsciiCase(top, own_names::kRelease)) {
    return Refuse(reason, "is one of the updater's own names");
  }
  return true;
}

bool ParseReleaseRecord(std::string_view text, TReleaseRecord* record, std::string* reason) {
  *record = TReleaseRecord();
  if (text.size() > kMaxReleaseRecordSize) {
    return Refuse(reason, "it is larger than " + std::to_string(kMaxReleaseRecordSize) + " bytes");
  }
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  // One final line end is allowed; what it ends is the last line.
  if (text.ends_with('\n')) text.remove_suffix(1);
  bool seen[3] = {false, false, false};
  size_t number = 0;
  size_t start = 0;
  for (bool last = false; !last;) {
    size_t end = text.find('\n', start);
    last = end == std::string_view::npos;
    if (last) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    start = end + 1;
    ++number;
    if (number == 1) {
      if (line != kHeader) {
        return Refuse(reason, "the first line is not \"" + std::string(kHeader) + "\"");
      }
    } else if (!ParseItem(line, number, seen, record, reason)) {
      return false;
    }
  }
  if (!seen[0]) return Refuse(reason, "there is no \"product\" item");
  if (!seen[1]) return Refuse(reason, "there is no \"version\" item");
  if (seen[2] && CompareVersions(record->From, record->Version) >= 0) {
    return Refuse(reason, "the release it changes (from " + record->From +
                              ") is not older than its version " + record->Version);
  }
  return true;
}

std::string ReleaseRecordText(const TReleaseRecord& record) {
  std::string text =
      std::string(kHeader) + "\nproduct " + record.Product + "\nversion " + record.Version + "\n";
  if (!record.From.empty()) text += "from " + record.From + "\n";
  for (const std::string& path : record.Removals) {
    text += "remove ";
    for (const char c : path) text += c == '\\' ? '/' : c;
    text += '\n';
  }
  return text;
}

TInstalledRelease ReadInstalledRelease(const std::string& programDir) {
  std::string path = programDir;
  if (path.empty() || !IsSeparator(path.back())) path += '\\';
  return ReadReleaseRecordFile(path + kReleaseRecordName);
}

TInstalledRelease ReadReleaseRecordFile(const std::string& path) {
  TInstalledRelease installed;
  // The system's display form is the host's own: "/" on POSIX, unchanged on Windows.
  const std::string shown = platform::DisplayPath(path);
  // Not ReadAttributes: it cannot tell a missing file from one it could not look at, and only
  // the first may count as no record.
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(
      std::filesystem::path(std::u8string(shown.begin(), shown.end())), error);
  switch (status.type()) {
    case std::filesystem::file_type::not_found:
      installed.State = TInstalledRelease::irAbsent;
      return installed;
    case std::filesystem::file_type::regular:
      break;
    case std::filesystem::file_type::none:
      installed.Reason = "the release record " + shown + " cannot be looked at: " + error.message();
      return installed;
    default:
      installed.Reason = "the release record " + shown + " is not a plain file";
      return installed;
  }
  std::string text;
  std::string why;
  if (!signing::ReadSmallFile(path, "the release record " + shown, kMaxReleaseRecordSize, text,
                              why)) {
    installed.Reason = why;
    return installed;
  }
  if (!ParseReleaseRecord(text, &installed.Record, &why)) {
    installed.Reason = "the release record " + shown + " is not valid: " + why;
    return installed;
  }
  installed.State = TInstalledRelease::irPresent;
  return installed;
}
