// unzipper t and x: sets the component up from the command line, answers its questions on the
// terminal, draws the progress bar and names every entry that was skipped or rejected.
#include "tools/extraction_session.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/temporary_tree.h"
#include "platform/terminal.h"
#include "tools/archive_warnings.h"
#include "tools/user_messages.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/entry_destination.h"
#include "unzip/wildcard.h"

namespace {

std::string ReasonText(TSkipReason reason, const TZipHeaderInfo& entry) {
  switch (reason) {
    case srUnknownMethod:
      return "compressed with " + MethodInWords(entry.EffectiveMethod()) +
             ", which this program does not read";
    case srStrongEncryption:
      return "encrypted with PKWARE strong encryption, which this program does not read";
    case srBadPassword:
      return "wrong or missing password";
    case srNoOverwrite:
      return "exists already, not replaced";
    case srCreateError:
      return "cannot be created";
    case srUnsafePath:
      return "unsafe: it would leave the destination or name a device, or its data overlaps "
             "another entry";
    default:
      return "skipped";
  }
}

// A pattern that matches `name` alone (letter case aside): each wildcard character is written as
// a set holding just that character.
std::string LiteralPattern(const std::string& name) {
  std::string pattern;
  for (char c : name) {
    if (c == '?' || c == '*' || c == '<') {
      pattern += '<';
      pattern += c;
      pattern += '>';
    } else {
      pattern += c;
    }
  }
  return pattern;
}

class TExtractionSession {
 public:
  explicit TExtractionSession(const TCommandLineOptions& options)
      : options_(options), testing_(options.command == 't') {}

  int Run();

 private:
  void SetUp();
  // Runs the component until every chosen entry had its turn: a run that ends at a damaged
  // entry names it and is followed by a run for the entries after it. Returns the entries
  // extracted (or verified).
  int ExtractAll();
  // The entry that a run was working on when `e` ended it, or -1 when `e` is not about one
  // entry's data.
  int FailedEntry(const Exception& e) const;
  // Chooses, by their exact names, the chosen entries after `failed` and every chosen directory
  // (each run makes the directories again).
  void ChooseByName(int failed);
  // A path of the component as the user wrote it: below the destination, the destination as
  // typed (nothing when none was typed) and the rest in the host's form.
  std::string Shown(const std::string& path) const;
  void Problem(const std::string& name, const std::string& reason);
  // Names every pattern that chose no entry; true when there was one.
  bool ReportUnmatchedPatterns();
  void ShowProgress(int percent);
  void EndProgress();
  std::string EntryName(int index) const {
    return DisplayName(*zipper_.SortedEntries->Items(index));
  }

  const TCommandLineOptions& options_;
  const bool testing_;
  TUnZipper zipper_;
  std::vector<std::string> patterns_;  // in the component's form
  std::string destination_;
  int problems_ = 0;
  // Entries up to this index had their turn in an earlier run: later runs pass over them.
  int doneUpTo_ = -1;
  int started_ = -1;       // the file entry being extracted, from its start to its verdict
  int lastNamed_ = -1;     // the highest index an event of this run named
  int filesVerified_ = 0;  // in every run
  int lastPercent_ = -1;
  bool progress_ = false;
  bool entriesStarted_ = false;  // this run has chosen its entries and begun with them
};

void TExtractionSession::SetUp() {
  zipper_.DoProcessMessages = false;
  zipper_.RecreateDirs = true;
  zipper_.RetainAttributes = true;
  zipper_.DoAll = options_.patterns.empty();
  // Stored paths use "\" inside the component; users write patterns with "/".
  patterns_ = options_.patterns;
  for (std::string& pattern : patterns_) platform::SlashesToBackslashes(pattern);
  if (options_.password) zipper_.Password = *options_.password;
  const bool terminal = platform::StdinIsTerminal();
  zipper_.OverwriteMode =
      testing_ ? Always : options_.overwrite.value_or(terminal ? Prompt : Never);
  zipper_.ReplaceReadOnly = zipper_.OverwriteMode == Always;
  progress_ = platform::StderrIsTerminal();

  zipper_.OnHandleMessage = [this](TUnZipper*, int, const std::string& msg1,
                                   const std::string& msg2, uint32_t flags, int& result) {
    EndProgress();
    std::fprintf(stderr, "unzipper: %s%s%s\n", msg2.empty() ? "" : (msg2 + ": ").c_str(),
                 msg1.c_str(), "");
    result = platform::SafeAnswer(flags);
  };
  zipper_.OnStartUnZipInfo = [this](TUnZipper*, int, int64_t, bool&) { entriesStarted_ = true; };
  zipper_.OnStartUnZip = [this](TUnZipper*, int index, std::string&, bool& skip) {
    lastNamed_ = std::max(lastNamed_, index);
    skip = index <= doneUpTo_;
    started_ = skip ? -1 : index;
  };
  zipper_.OnSkippingFile = [this](TUnZipper*, TSkipReason reason, const std::string& name,
                                  int index, bool&) {
    const platform::OsError failure = platform::LastError();
    lastNamed_ = std::max(lastNamed_, index);
    started_ = -1;
    if (index <= doneUpTo_) return;  // named in an earlier run
    const TZipHeaderInfo& entry = *zipper_.SortedEntries->Items(index);
    std::string text = ReasonText(reason, entry);
    const auto shown = [this](const std::string& p) { return Shown(p); };
    if (reason == srCreateError) {
      const std::string why = entry.StandsForDirectory() && platform::FileExists(name)
                                  ? "a file of that name is in the way"
                                  : CreateFailureReason(name, failure, shown);
      if (!why.empty()) text += ": " + why;
    } else if (reason == srUnsafePath) {
      const std::string why = LinkOnTheWayReason(zipper_.DestDir(), name, shown);
      if (!why.empty()) text = "unsafe: " + why;
    }
    Problem(EntryName(index), text);
  };
  zipper_.OnBadCRC = [this](TUnZipper*, uint32_t computed, uint32_t stored, int index) {
    started_ = -1;
    char text[96];
    std::snprintf(text, sizeof text,
                  "data do not check (CRC-32 %08" PRIx32 ", stored %08" PRIx32
                  ", or the size differs)",
                  computed, stored);
    Problem(EntryName(index), text);
  };
  if (!options_.password && terminal) {
    zipper_.OnBadPassword = [this](TUnZipper*, int index, std::string& password) {
      EndProgress();
      std::string typed;
      // An empty answer leaves the password as it was, which gives the entry up.
      if (platform::ReadTerminalLine("password for " + EntryName(index) + ": ", false, &typed) &&
          !typed.empty()) {
        password = typed;
      }
    };
  }
  zipper_.OnPromptForOverwrite = [this](TUnZipper* sender, bool& overwrite, int,
                                        std::string& name) {
    EndProgress();
    std::string answer;
    const bool asked = platform::ReadTerminalLine(
        "replace " + Shown(name) + "? [y]es, [n]o, [A]ll, [N]one: ", true, &answer);
    overwrite = asked && (answer == "y" || answer == "A");
    if (asked && answer == "A") sender->OverwriteMode = Always;
    if (asked && answer == "N") sender->OverwriteMode = Never;
  };
  zipper_.OnEndUnZip = [this](TUnZipper*, int, const std::string& name) {
    started_ = -1;
    ++filesVerified_;
    // Each verified file goes at once: a test needs no room for the whole archive.
    if (testing_) (void)platform::RemoveFile(name);
  };
  if (progress_) {
    zipper_.OnTotalPercentDone = [this](TUnZipper*, int percent) { ShowProgress(percent); };
  }
}

bool TExtractionSession::ReportUnmatchedPatterns() {
  bool unmatched = false;
  for (const std::string& pattern : options_.patterns) {
    std::string inside = pattern;
    platform::SlashesToBackslashes(inside);
    bool found = false;
    for (int i = 0; i < zipper_.EntryCount() && !found; ++i) {
      const TZipHeaderInfo& entry = *zipper_.SortedEntries->Items(i);
      found = IsMatch(inside, entry.Directory + entry.FileName);
    }
    if (!found) {
      std::fprintf(stderr, "unzipper: no entry matches %s\n", pattern.c_str());
      unmatched = true;
    }
  }
  return unmatched;
}

std::string TExtractionSession::Shown(const std::string& path) const {
  const std::string inside = zipper_.DestDir().empty() ? "" : WithSeparator(zipper_.DestDir());
  if (!inside.empty() && path.size() > inside.size() &&
      path.compare(0, inside.size(), inside) == 0) {
    const std::string rest = platform::DisplayPath(path.substr(inside.size()));
    if (testing_ || options_.destination.empty()) return rest;
    std::string typed = options_.destination;
    if (typed.back() == '/' || typed.back() == '\\') typed.pop_back();
    return typed + platform::DisplayPath("\\") + rest;
  }
  return platform::DisplayPath(path);
}

int TExtractionSession::FailedEntry(const Exception& e) const {
  // Damaged data of one entry: the rest of the archive may still be sound. A failure before the
  // entries had their turn belongs to the whole run.
  if (!entriesStarted_ ||
      (!dynamic_cast<const EZLibError*>(&e) && !dynamic_cast<const EFatalUnzipError*>(&e))) {
    return -1;
  }
  if (started_ >= 0) return started_;
  // Its local header could not be read: the first chosen file entry no event has named yet.
  for (int i = lastNamed_ + 1; i < zipper_.EntryCount(); ++i) {
    const TZipHeaderInfo& entry = *zipper_.SortedEntries->Items(i);
    if (entry.Matched && !entry.StandsForDirectory()) return i;
  }
  return -1;
}

void TExtractionSession::ChooseByName(int failed) {
  std::vector<std::string> patterns;
  for (int i = 0; i < zipper_.EntryCount(); ++i) {
    const TZipHeaderInfo& entry = *zipper_.SortedEntries->Items(i);
    if (entry.Matched && (i > failed || entry.StandsForDirectory())) {
      patterns.push_back(LiteralPattern(entry.Directory + entry.FileName));
    }
  }
  patterns_ = patterns;
  zipper_.DoAll = false;
}

int TExtractionSession::ExtractAll() {
  for (;;) {
    zipper_.SetFilesList(patterns_);
    started_ = -1;
    lastNamed_ = -1;
    entriesStarted_ = false;
    const int verifiedBefore = filesVerified_;
    try {
      // Directories are made again by every run and counted by the last one only.
      return zipper_.UnZip() + verifiedBefore;
    } catch (const Exception& e) {
      const int failed = FailedEntry(e);
      if (failed <= doneUpTo_) throw;
      Problem(EntryName(failed), "damaged data: " + e.Message());
      doneUpTo_ = failed;
      // The skip at the start of an entry comes after its local header is read: an entry whose
      // header cannot be read is left out of the choice itself.
      if (started_ < 0) ChooseByName(failed);
      // A run over a split archive may leave the component on another part: start from the
      // archive the user named.
      zipper_.SetZipName(options_.archive);
    }
  }
}

void TExtractionSession::Problem(const std::string& name, const std::string& reason) {
  EndProgress();
  std::fprintf(stderr, "%s: %s\n", name.c_str(), reason.c_str());
  ++problems_;
}

void TExtractionSession::ShowProgress(int percent) {
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  constexpr int kWidth = 40;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), percent);
  std::fflush(stderr);
}

void TExtractionSession::EndProgress() {
  if (lastPercent_ < 0) return;
  std::fprintf(stderr, "\n");
  lastPercent_ = -1;
}

int TExtractionSession::Run() {
  SetUp();
  if (testing_) {
    destination_ = platform::MakeTemporaryDirectory("unzipper-test-");
    if (destination_.empty()) {
      std::fprintf(stderr, "unzipper: cannot make a temporary directory\n");
      return 2;
    }
  } else {
    destination_ =
        options_.destination.empty() ? platform::CurrentDirectory() : options_.destination;
  }
  int status = 0;
  int count = 0;
  try {
    zipper_.SetZipName(options_.archive);
    zipper_.SetDestDir(destination_);
    count = ExtractAll();
    EndProgress();
    const bool warned = ReportArchiveWarnings(zipper_, options_.archive, true);
    const bool unmatched = ReportUnmatchedPatterns();
    status = problems_ > 0 || warned || unmatched ? 1 : 0;
  } catch (const Exception& e) {
    const platform::OsError failure = platform::LastError();
    EndProgress();
    if (started_ >= 0 && dynamic_cast<const ECantWriteUCF*>(&e)) {
      // Writing an entry failed (a full disk): what follows would fail as well.
      const std::string why = HandleFailureReason(failure);
      std::fprintf(stderr, "unzipper: %s: cannot be written%s (%s)\n", EntryName(started_).c_str(),
                   why.empty() ? "" : (": " + why).c_str(), e.Message().c_str());
    } else {
      std::fprintf(stderr, "unzipper: %s\n",
                   ArchiveFailureText(options_.archive, e, failure).c_str());
    }
    status = 2;
  }
  if (testing_) {
    platform::RemoveDirectoryTree(destination_);
    if (status != 2) {
      std::printf("%s: %d entries verified, %d with problems\n", options_.archive.c_str(), count,
                  problems_);
    }
  }
  return status;
}

}  // namespace

int RunExtraction(const TCommandLineOptions& options) {
  TExtractionSession session(options);
  return session.Run();
}
