// The release record: the text entry ".update-release" at the top of an update archive that names
// the product, its version and, for a package of changes, the release it applies to and the files
// it takes away. Read by the updater and written by update-pack.
//
// The record is UTF-8 text, one item per line, LF or CR LF line ends, an optional byte-order mark
// in front and an optional line end after the last line:
//   update-release 1
//   product <id>          ASCII letters, digits, ".", "-" and "_"
//   version <a.b.c...>    decimal numbers separated by dots, compared part by part
//   from <version>        optional: the package holds only the changes from that release
//   remove <path>         optional, repeated: a file of the installed release this one has not
// Each item but "remove" appears at most once; the order of the items after the first line is
// free. A "remove" path is relative to the program directory, with "/" or "\" separators; the
// record holds it with "\" (the system's own form), and the writer writes "/".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kReleaseRecordName[] = ".update-release";
// A record of a million removals is a mistake, not a release: these bounds keep a wrong file
// from being read whole, and a path within what every system can store.
inline constexpr size_t kMaxReleaseRecordSize = 4 * 1024 * 1024;
inline constexpr size_t kMaxProductLength = 64;
inline constexpr size_t kMaxVersionLength = 64;
inline constexpr size_t kMaxReleasePathLength = 4096;

struct TReleaseRecord {
  std::string Product;
  std::string Version;
  std::string From;                   // empty: a full package
  std::vector<std::string> Removals;  // "\" separators, in the record's order
  bool operator==(const TReleaseRecord&) const = default;
};

// Reads the record's text. False, with `reason` in words (naming the line), when it breaks any
// rule above or the ones of the checks below; `record` is then unspecified. A "from" must be
// lower than "version", and no path may be removed twice.
[[nodiscard]] bool ParseReleaseRecord(std::string_view text, TReleaseRecord* record,
                                      std::string* reason);

// The record's text, exactly as the format above shows it, LF line ends, with a final one.
// `record` must satisfy the parser's rules.
std::string ReleaseRecordText(const TReleaseRecord& record);

// Whether `product` is 1 to kMaxProductLength ASCII letters, digits, ".", "-" and "_".
bool IsValidProduct(std::string_view product);
// Whether `version` is 1 to kMaxVersionLength characters of decimal numbers separated by single
// dots ("1", "2.10", "1.0.3"); leading zeros are allowed and mean nothing ("1.02" is "1.2").
bool IsValidVersion(std::string_view version);

// -1, 0 or 1 as `a` is lower than, equal to or higher than `b`, comparing the numbers part by
// part ("2.10" is higher than "2.9"); a missing trailing part counts as 0, so "1.0" equals
// "1.0.0" and "1". Numbers of any length compare exactly (as digit strings). Both must be valid.
int CompareVersions(std::string_view a, std::string_view b);

// Whether a file of a release may have the path `path` ("/" or "\" separators) on every system
// the updater runs on: not empty, at most kMaxReleasePathLength bytes of UTF-8, relative, without
// a drive letter or ":", without empty, "." or ".." components, control characters (below 0x20,
// and 0x7F) or the characters Windows refuses in names (< > " | ? *), without a component that
// Windows would not store under its own name (the device names CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, CONIN$, CONOUT$, also with an extension, and names ending in a dot or a space), and not
// one of the updater's own names at the top. False with `reason` saying which rule it breaks
// (without the path itself).
[[nodiscard]] bool CheckReleasePath(std::string_view path, std::string* reason);

// The record of the release installed in a program directory: its ".update-release".
struct TInstalledRelease {
  enum TState {
    irAbsent,   // there is no such file
    irPresent,  // read and valid: Record holds it
    irInvalid,  // there, but not a readable, valid record (or it could not be told whether it
                // is there): Reason says why, naming the file
  };
  TState State = irInvalid;
  TReleaseRecord Record;
  std::string Reason;
};

// Reads `programDir`\.update-release (`programDir` with or without a final separator). A file
// that cannot be looked at, read or parsed is irInvalid, never irAbsent: a check that could not
// run has failed.
TInstalledRelease ReadInstalledRelease(const std::string& programDir);
// Reads the record in the file at `path` (any name) by the same rules.
TInstalledRelease ReadReleaseRecordFile(const std::string& path);
