// The update journal's text and its durable write and read.
#include "app/update_journal.h"

#include <iterator>
#include <sstream>

#include "platform/files.h"
#include "platform/injected_faults.h"

namespace update_transaction {
namespace {

constexpr char kJournalName[] = ".update-journal";
constexpr char kDraftSuffix[] = ".new";
constexpr char kJournalHeader[] = "update-journal 1";
// The journal's items: each line is one of these keys, a space and its value ("end" stands
// alone).
constexpr char kStateKey[] = "state ";
constexpr char kMainKey[] = "main ";
constexpr char kArchiveKey[] = "archive ";
constexpr char kStoredKey[] = "stored ";
constexpr char kDirKey[] = "dir ";
constexpr char kFileKey[] = "file ";
constexpr char kEndKey[] = "end";
// The states' names in the journal, in the order of TUpdateJournal::TState.
constexpr const char* kStateNames[] = {"staged", "committing", "committed", "rolling-back"};
static_assert(std::size(kStateNames) == TUpdateJournal::jsRollingBack + 1);
// The archive item's time field, kept in the text so that its fields stay where they were.
constexpr int kNoArchiveTime = -1;
// A journal is read whole; one larger than this is not one the updater wrote.
constexpr int64_t kMaxJournalSize = 64 << 20;

// The value of `line` when it holds the item `key`.
bool ItemValue(const std::string& line, const std::string& key, std::string* value) {
  if (line.compare(0, key.size(), key) != 0) return false;
  *value = line.substr(key.size());
  return true;
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
  return appDir + kJournalName;
}

std::string NextJournalPath(const std::string& appDir) {
  return JournalPath(appDir) + kDraftSuffix;
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
  for (const TUpdateJournal::TMove& move : journal.Files) {
    text << kFileKey << move.staged << "\t" << move.target << "\n";
  }
  text << kEndKey << "\n";  // a journal without it was cut short
  return text.str();
}

bool ParseJournalText(const std::string& text, TUpdateJournal* journal) {
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kJournalHeader) return false;
  *journal = TUpdateJournal();
  bool complete = false;
  std::string value;
  while (std::getline(lines, line)) {
    if (line == kEndKey) {
      complete = true;
    } else if (ItemValue(line, kStateKey, &value)) {
      if (!ParseState(value, &journal->State)) return false;
    } else if (ItemValue(line, kMainKey, &value)) {
      journal->MainExeName = value;
    } else if (ItemValue(line, kArchiveKey, &value)) {
      std::istringstream fields(value);
      TUpdateJournal::TArchive archive;
      int64_t time = 0;  // journals of earlier versions hold a DOS time here
      if (!(fields >> archive.Size >> time >> archive.Sha256)) return false;
      journal->Archive = archive;
    } else if (ItemValue(line, kDirKey, &value)) {
      journal->Directories.push_back(value);
    } else if (ItemValue(line, kStoredKey, &value)) {
      journal->Stored.push_back(value);
    } else if (ItemValue(line, kFileKey, &value)) {
      const size_t tab = value.find('\t');
      if (tab == std::string::npos) return false;
      journal->Files.push_back({value.substr(0, tab), value.substr(tab + 1)});
    } else {
      return false;
    }
  }
  return complete;
}

bool WriteJournal(const std::string& appDir, const TUpdateJournal& journal) {
  const std::string content = JournalText(journal);
  const std::string next = NextJournalPath(appDir);
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

bool ReadJournal(const std::string& appDir, TUpdateJournal* journal) {
  platform::File file = platform::File::Open(JournalPath(appDir), platform::kOpenRead);
  if (!file.IsOpen()) return false;
  const int64_t size = file.Size();
  if (size <= 0 || size > kMaxJournalSize) return false;
  std::string text(static_cast<size_t>(size), '\0');
  if (file.Read(text.data(), static_cast<int32_t>(size)) != size) return false;
  return ParseJournalText(text, journal);
}

}  // namespace update_transaction
