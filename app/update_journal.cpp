// The update journal's text and its durable write and read.
#include "app/update_journal.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/injected_faults.h"
#include "platform/path_text.h"
#include "release/own_names.h"

namespace update_transaction {
namespace {

constexpr char kJournalHeader[] = "update-journal 1";
// The journal's items: each line is one of these keys, a space and its value ("end" stands
// alone).
constexpr char kStateKey[] = "state ";
constexpr char kMainKey[] = "main ";
constexpr char kArchiveKey[] = "archive ";
constexpr char kStoredKey[] = "stored ";
constexpr char kDirKey[] = "dir ";
constexpr char kEmptiedKey[] = "emptied ";
constexpr char kFileKey[] = "file ";
constexpr char kEndKey[] = "end";
// The states' names in the journal, in the order of TUpdateJournal::TState.
constexpr const char* kStateNames[] = {"staged", "committing", "committed", "rolling-back"};
static_assert(std::size(kStateNames) == TUpdateJournal::jsRollingBack + 1);
// The archive item's time field, kept in the text so that its fields stay where they were.
constexpr int kNoArchiveTime = -1;
constexpr char kOldExisted[] = "old";
constexpr char kOldNone[] = "none";

// The value of `line` when it holds the item `key`.
bool ItemValue(const std::string& line, const std::string& key, std::string* value) {
  if (line.compare(0, key.size(), key) != 0) return false;
  *value = line.substr(key.size());
  return true;
}

// A "file" item's value: staged path, tab, target path, and optionally tab and the old file's
// note. The staged path is empty for a retired file.
bool ParseMove(const std::string& value, TUpdateJournal::TMove* move) {
  const size_t tab = value.find('\t');
  if (tab == std::string::npos) return false;
  const size_t second = value.find('\t', tab + 1);
  move->staged = value.substr(0, tab);
  move->target =
      value.substr(tab + 1, second == std::string::npos ? std::string::npos : second - tab - 1);
  if (second != std::string::npos) {
    const std::string old = value.substr(second + 1);
    if (old == kOldExisted) {
      move->old = TUpdateJournal::kOldExisted;
    } else if (old == kOldNone) {
      move->old = TUpdateJournal::kOldNone;
    } else {
      return false;
    }
  }
  return (move->staged.empty() || platform::IsPlainRelativePath(move->staged)) &&
         platform::IsPlainRelativePath(move->target);
}

bool ParseState(const std::string& name, TUpdateJournal::TState* state) {
  for (int s = TUpdateJournal::jsStaged; s <= TUpdateJournal::jsRollingBack; ++s) {
    if (name != kStateNames[s]) continue;
    *state = static_cast<TUpdateJournal::TState>(s);
    return true;
  }
  return false;
}

}  // namespace

std::string JournalPath(const std::string& appDir) {
  return appDir + own_names::kJournal;
}

std::string NextJournalPath(const std::string& appDir) {
  return appDir + own_names::kJournalDraft;
}

std::string JournalText(const TUpdateJournal& journal) {
  std::ostringstream text;
  text << kJournalHeader << "\n"
       << kStateKey << kStateNames[journal.State] << "\n"
       << kMainKey << journal.MainExeName << "\n";
  if (!journal.Archive.Sha256.empty()) {
    text << kArchiveKey << journal.Archive.Size << " " << kNoArchiveTime << " "
         << journal.Archive.Sha256 << "\n";
  }
  for (const std::string& dir : journal.Directories) text << kDirKey << dir << "\n";
  for (const std::string& dir : journal.Stored) text << kStoredKey << dir << "\n";
  for (const std::string& dir : journal.Emptied) text << kEmptiedKey << dir << "\n";
  for (const TUpdateJournal::TMove& move : journal.Files) {
    text << kFileKey << move.staged << "\t" << move.target;
    if (move.old != TUpdateJournal::kOldUnknown) {
      text << "\t" << (move.old == TUpdateJournal::kOldExisted ? kOldExisted : kOldNone);
    }
    text << "\n";
  }
  text << kEndKey << "\n";  // a journal without it was cut short
  return text.str();
}

bool ParseJournalText(const std::string& text, TUpdateJournal* journal, std::string* problem) {
  const auto fail = [&](const std::string& why) {
    if (problem != nullptr) *problem = why;
    return false;
  };
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kJournalHeader) return fail("it has no journal header");
  *journal = TUpdateJournal();
  bool complete = false;
  std::string value;
  while (std::getline(lines, line)) {
    if (complete) return fail("it goes on after its end");
    if (line == kEndKey) {
      complete = true;
    } else if (ItemValue(line, kStateKey, &value)) {
      if (!ParseState(value, &journal->State)) return fail("it names an unknown state");
    } else if (ItemValue(line, kMainKey, &value)) {
      if (!platform::IsBareFileName(value)) return fail("its program name is not a file name");
      journal->MainExeName = value;
    } else if (ItemValue(line, kArchiveKey, &value)) {
      std::istringstream fields(value);
      TUpdateJournal::TArchive archive;
      int64_t time = 0;  // journals of earlier versions hold a DOS time here
      if (!(fields >> archive.Size >> time >> archive.Sha256)) {
        return fail("its archive item is malformed");
      }
      journal->Archive = archive;
    } else if (ItemValue(line, kDirKey, &value) || ItemValue(line, kStoredKey, &value) ||
               ItemValue(line, kEmptiedKey, &value)) {
      if (!platform::IsPlainRelativePath(value)) return fail("it names a directory outside");
      (line[0] == 'd' ? journal->Directories
                      : line[0] == 's' ? journal->Stored : journal->Emptied)
          .push_back(value);
    } else if (ItemValue(line, kFileKey, &value)) {
      TUpdateJournal::TMove move;
      if (!ParseMove(value, &move)) return fail("it names a file outside or is malformed");
      journal->Files.push_back(move);
    } else {
      return fail("it holds an unknown item");
    }
  }
  return complete || fail("it was cut short");
}

bool WriteJournal(const std::string& appDir, const TUpdateJournal& journal) {
  const std::string content = JournalText(journal);
  const std::string next = NextJournalPath(appDir);
  if (static_cast<int64_t>(content.size()) > kMaxJournalSize) {
    // Too many files for one update: it is not begun (EFBIG, "file too large", on both systems).
    platform::RecordFileTooLarge(next);
    return false;
  }
  {
    platform::File file = platform::File::Open(next, platform::kOpenCreate);
    if (!file.IsOpen()) return false;
    if (file.Write(content.data(), static_cast<int32_t>(content.size())) !=
            static_cast<int32_t>(content.size()) ||
        !file.FlushToDisk()) {
      return false;
    }
  }
  if (!platform::ReplaceFileAtomically(next, JournalPath(appDir)) ||
      !platform::FlushDirectory(appDir)) {
    return false;
  }
  platform::StepBoundary();
  return true;
}

TJournalRead ReadJournal(const std::string& appDir, TUpdateJournal* journal, std::string* problem) {
  const auto unreadable = [&](const std::string& why) {
    if (problem != nullptr) *problem = why;
    return TJournalRead::kUnreadable;
  };
  const std::string path = JournalPath(appDir);
  const platform::PathKind kind = platform::LinkFreeKind(path);
  if (kind == platform::PathKind::kMissing) return TJournalRead::kAbsent;
  if (kind != platform::PathKind::kFile) {
    return unreadable(kind == platform::PathKind::kUnknown
                          ? platform::ErrorText(platform::LastError())
                          : std::string("it is ") + platform::PathKindText(kind));
  }
  platform::File file = platform::File::Open(path, platform::kOpenRead | platform::kShareDenyNone);
  const int64_t size = file.IsOpen() ? file.Size() : -1;
  if (size < 0) return unreadable(platform::ErrorText(platform::LastError(), path));
  if (size > kMaxJournalSize) return unreadable("it is larger than any journal written");
  std::string text(static_cast<size_t>(size), '\0');
  for (size_t done = 0; done < text.size();) {
    const int32_t got = file.Read(
        text.data() + done, static_cast<int32_t>(std::min<size_t>(text.size() - done, 1 << 30)));
    if (got < 0) return unreadable(platform::ErrorText(platform::LastError(), path));
    if (got == 0) return unreadable("it ended while it was read");
    done += static_cast<size_t>(got);
  }
  std::string why;
  if (!ParseJournalText(text, journal, &why)) return unreadable(why);
  return TJournalRead::kRead;
}

}  // namespace update_transaction
