// Paths and failure texts of unzipper, as a person reads them.
#include "tools/user_messages.h"

#include "platform/file_helpers.h"
#include "platform/path_text.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/damaged_archive_text.h"
#include "unzip/entry_destination.h"

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// Every quoted text in `message` with the host's separator: the component quotes the file names
// of its stream errors.
std::string QuotedPathsInHostForm(std::string message) {
  for (size_t open = message.find('"'); open != std::string::npos;) {
    const size_t close = message.find('"', open + 1);
    if (close == std::string::npos) break;
    const std::string host = platform::DisplayPath(message.substr(open + 1, close - open - 1));
    message.replace(open + 1, close - open - 1, host);
    open = message.find('"', open + host.size() + 2);
  }
  return message;
}

}  // namespace

std::string ArchiveFailureText(const std::string& typed, const Exception& e,
                               const platform::OsError& failure) {
  std::string inside = typed;
  platform::SlashesToBackslashes(inside);
  if (dynamic_cast<const EDamagedEndRecord*>(&e)) return typed + ": " + e.Message();
  if (dynamic_cast<const ENotAZipFile*>(&e) || dynamic_cast<const EBadZipFile*>(&e)) {
    return typed + " is not a ZIP archive (" + e.Message() + ")";
  }
  if (dynamic_cast<const EIncompleteZip*>(&e)) return MissingEndRecordText(inside, typed);
  if (const auto* read = dynamic_cast<const EArchiveReadError*>(&e)) {
    const bool named = platform::ExpandFileName(read->Path) == platform::ExpandFileName(inside);
    return "cannot read " + (named ? typed : platform::DisplayPath(read->Path)) + ": " +
           platform::SystemErrorText(read->ErrorCode);
  }
  if (dynamic_cast<const EFOpenError*>(&e) && failure.path == inside && failure.code != 0) {
    return "cannot open " + typed + ": " + platform::SystemErrorText(failure.code);
  }
  std::string message = e.Message();
  ReplaceAll(message, "\"" + platform::ExpandFileName(inside) + "\"", "\"" + typed + "\"");
  return typed + ": " + QuotedPathsInHostForm(message);
}

std::string CreateFailureReason(const std::string& path, const platform::OsError& failure,
                                const std::function<std::string(const std::string&)>& shown) {
  const platform::PathKind kind = platform::LinkFreeKind(path);
  if (kind == platform::PathKind::kSpecial || kind == platform::PathKind::kLink) {
    return platform::LinkFreeKindText(path) + " is in the way";
  }
  if (kind == platform::PathKind::kDirectory) return "a directory of that name is in the way";
  // A file where a directory of the path should be: the nearest one is named.
  for (std::string dir = platform::WithoutTrailingBackslash(platform::ExtractFilePath(path));
       !dir.empty();) {
    if (platform::FileExists(dir)) {
      return "the file " + shown(dir) + " is in the way of its directory";
    }
    const std::string parent = platform::WithoutTrailingBackslash(platform::ExtractFilePath(dir));
    if (parent == dir) break;
    dir = parent;
  }
  // A file that replaces another is written beside it and renamed: the failure may be that of
  // the name beside it, in the same directory.
  const bool beside = failure.operation == "replace" ||
                      platform::ExtractFilePath(failure.path) == platform::ExtractFilePath(path);
  if ((failure.path == path || beside) && failure.code != 0) {
    return platform::SystemErrorText(failure.code);
  }
  return "";
}

std::string HandleFailureReason(const platform::OsError& failure) {
  if (!failure.path.empty() || failure.code == 0) return "";
  return platform::SystemErrorText(failure.code);
}

std::string LinkOnTheWayReason(const std::string& destination, const std::string& name,
                               const std::function<std::string(const std::string&)>& shown) {
  const std::string link =
      LinkOnTheWay(destination, platform::ExtractFilePath(WithSeparator(destination) + name));
  if (link.empty()) return "";
  if (platform::LinkFreeKind(link) == platform::PathKind::kLink) {
    return shown(link) + " is a link, and nothing is written through links";
  }
  return shown(link) + " cannot be looked at (" +
         platform::SystemErrorText(platform::LastError().code) + ")";
}

std::string MethodInWords(int method) {
  const char* name = nullptr;
  switch (method) {
    case kMethodDeflate64:
      name = "deflate64";
      break;
    case 10:
      name = "PKWARE DCL implode";
      break;
    case kMethodBzip2:
      name = "bzip2";
      break;
    case kMethodLzma:
      name = "LZMA";
      break;
    case 18:
      name = "IBM TERSE";
      break;
    case 19:
      name = "IBM LZ77";
      break;
    case 20:  // the number zstd had before it got 93
    case kMethodZstd:
      name = "zstd";
      break;
    case 94:
      name = "MP3";
      break;
    case kMethodXz:
      name = "xz";
      break;
    case 96:
      name = "JPEG";
      break;
    case 97:
      name = "WavPack";
      break;
    case kMethodPpmd:
      name = "PPMd";
      break;
    default:
      break;
  }
  const std::string number = "method " + std::to_string(method);
  return name == nullptr ? number : std::string(name) + " (" + number + ")";
}
