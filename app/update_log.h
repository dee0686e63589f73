// update.log in the program directory: what each update run did, one line per event, each line
// starting with the local time. It is kept small, and a log that cannot be written never stops an
// update.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

class TUpdateLog {
 public:
  // The file's name in the program directory.
  static constexpr char kFileName[] = "update.log";
  // Past kMaxSize bytes the log is cut to at most its last kKeptSize bytes, from a line start.
  static constexpr int64_t kMaxSize = 512 * 1024;
  static constexpr int64_t kKeptSize = 256 * 1024;

  // The log at `path` (UTF-8 text, appended to).
  explicit TUpdateLog(std::string path) : path_(std::move(path)) {}

  // Appends "<local time> <text>" and a line end, in one append; control characters inside
  // `text` (line ends above all) and bytes of no UTF-8 character become "\xNN", so that every
  // line is one event and the log stays UTF-8 text. Failures are ignored. Only a regular file is
  // written (and cut): a log that is a link (or a FIFO, a device) is left as it is, and so is
  // what it leads to.
  void Write(const std::string& text);

  // `text` with its control characters and its bytes of no UTF-8 character as "\xNN".
  static std::string Escaped(const std::string& text);

  // The local time of `moment` in ISO 8601 with the offset from UTC: "2026-12-10T15:04:05+01:00".
  static std::string TimeStamp(std::time_t moment);

 private:
  // Cuts the file to its last kKeptSize bytes, from the first line start within them: the tail
  // is written to "update.log.new", which then replaces the log in one step.
  void Trim();

  std::string path_;
};
