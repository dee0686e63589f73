// update.log: lines appended through the file layer, the time stamp, and the cut of a log grown
// too long.
#include "app/update_log.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/utf8_text.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (month 1 to 12).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::string TUpdateLog::TimeStamp(std::time_t moment) {
  // std::localtime's result is shared: the updater logs from one thread only.
  const std::tm* local = std::localtime(&moment);
  if (local == nullptr) return "0000-00-00T00:00:00";
  const std::tm fields = *local;
  // The offset is the local clock read as if it were UTC, less the moment itself: strftime's %z
  // gives a zone name instead on some C runtimes.
  const int64_t asUtc =
      DaysFromCivil(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday) * 86400 +
      fields.tm_hour * 3600 + fields.tm_min * 60 + fields.tm_sec;
  const int64_t offsetMinutes = (asUtc - static_cast<int64_t>(moment)) / 60;
  const int64_t absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                fields.tm_min, fields.tm_sec, offsetMinutes < 0 ? '-' : '+',
                static_cast<int>(absolute / 60), static_cast<int>(absolute % 60));
  return text;
}

std::string TUpdateLog::Escaped(const std::string& text) {
  std::string out;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t length = platform::DecodeUtf8Char(rest).Length;
    const auto byte = static_cast<unsigned char>(rest[0]);
    // A control character (a line end above all) or a byte of no UTF-8 character is written as
    // "\xNN": every line stays one event, and the log stays UTF-8 text.
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
      rest.remove_prefix(1);
      continue;
    }
    out.append(rest.substr(0, length));
    rest.remove_prefix(length);
  }
  return out;
}

void TUpdateLog::Write(const std::string& text) {
  const std::string line = TimeStamp(std::time(nullptr)) + " " + Escaped(text) + "\n";
  // Only a regular file of its own is written: a log that is a link (or a FIFO, a device) is
  // left alone, so that nothing is appended to, or cut, elsewhere. Both opens refuse a link or
  // a special file that appears in the meantime.
  const platform::PathKind kind = platform::LinkFreeKind(path_);
  if (kind != platform::PathKind::kFile && kind != platform::PathKind::kMissing) return;
  if (kind == platform::PathKind::kMissing) {
    // A run that creates it while another appends loses nothing: the create is a new file only.
    (void)platform::File::CreateNew(path_, false);
  }
  // Appended in one step, whatever another run appends meanwhile.
  platform::File file =
      platform::File::Open(path_, platform::kOpenWrite | platform::kShareDenyNone |
                                      platform::kOpenNoLinks | platform::kOpenAppend);
  if (!file.IsOpen()) return;  // the update goes on without its log
  const int32_t size = static_cast<int32_t>(line.size());
  if (file.Write(line.data(), size) != size) return;
  const int64_t total = file.Size();
  file.Close();
  if (total > kMaxSize) Trim();
}

void TUpdateLog::Trim() {
  platform::File file = platform::File::Open(
      path_, platform::kOpenRead | platform::kShareDenyNone | platform::kOpenNoLinks);
  const int64_t size = file.IsOpen() ? file.Size() : -1;
  if (size <= kKeptSize || file.Seek(size - kKeptSize - 1, 0) < 0) return;
  // The byte before the kept part, then the kept part.
  std::vector<char> tail(static_cast<size_t>(kKeptSize) + 1);
  int32_t got = 0;
  while (got < static_cast<int32_t>(tail.size())) {
    const int32_t count = file.Read(tail.data() + got, static_cast<int32_t>(tail.size()) - got);
    if (count <= 0) break;
    got += count;
  }
  file.Close();
  if (got < 1) return;
  // The kept part starts after the first line end within it, unless the cut falls on a line
  // start already.
  size_t start = 1;
  if (tail[0] != '\n') {
    while (start < static_cast<size_t>(got) && tail[start] != '\n') ++start;
    if (start < static_cast<size_t>(got)) ++start;
  }
  const int32_t kept = got - static_cast<int32_t>(start);
  // The tail goes into a new file that replaces the log in one step: a run killed meanwhile
  // leaves the whole log, never a half-cut one. A draft that stays is written over next time.
  const std::string draft = path_ + ".new";
  if (platform::LinkFreeKind(draft) == platform::PathKind::kFile) (void)platform::RemoveFile(draft);
  platform::File next = platform::File::CreateNew(draft, false);
  if (!next.IsOpen()) return;
  const bool written = next.Write(tail.data() + start, kept) == kept;
  next.Close();
  if (!written || !platform::ReplaceFileAtomically(draft, path_)) (void)platform::RemoveFile(draft);
}
