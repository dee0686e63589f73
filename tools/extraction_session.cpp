// unzipper t and x: sets the component up from the command line, answers its questions on the
// terminal, draws the progress bar and names every entry that was skipped or rejected.
#include "tools/extraction_session.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/temporary_tree.h"
#include "platform/terminal.h"
#include "tools/archive_warnings.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/path_text.h"
#include "unzip/wildcard.h"

namespace {

std::string ReasonText(TSkipReason reason) {
  switch (reason) {
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

class TExtractionSession {
 public:
  explicit TExtractionSession(const TCommandLineOptions& options)
      : options_(options), testing_(options.command == 't') {}

  int Run();

 private:
  void SetUp();
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
  std::string destination_;
  int problems_ = 0;
  int lastPercent_ = -1;
  bool progress_ = false;
};

void TExtractionSession::SetUp() {
  zipper_.DoProcessMessages = false;
  zipper_.RecreateDirs = true;
  zipper_.RetainAttributes = true;
  zipper_.DoAll = options_.patterns.empty();
  // Stored paths use "\" inside the component; users write patterns with "/".
  std::vector<std::string> patterns = options_.patterns;
  for (std::string& pattern : patterns) SlashesToBackslashes(pattern);
  zipper_.SetFilesList(patterns);
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
  zipper_.OnSkippingFile = [this](TUnZipper*, TSkipReason reason, const std::string&, int index,
                                  bool&) { Problem(EntryName(index), ReasonText(reason)); };
  zipper_.OnBadCRC = [this](TUnZipper*, uint32_t computed, uint32_t stored, int index) {
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
        "replace " + name + "? [y]es, [n]o, [A]ll, [N]one: ", true, &answer);
    overwrite = asked && (answer == "y" || answer == "A");
    if (asked && answer == "A") sender->OverwriteMode = Always;
    if (asked && answer == "N") sender->OverwriteMode = Never;
  };
  if (testing_) {
    // Each verified file goes at once: a test needs no room for the whole archive.
    zipper_.OnEndUnZip = [](TUnZipper*, int, const std::string& name) { FileDelete(name); };
  }
  if (progress_) {
    zipper_.OnTotalPercentDone = [this](TUnZipper*, int percent) { ShowProgress(percent); };
  }
}

bool TExtractionSession::ReportUnmatchedPatterns() {
  bool unmatched = false;
  for (const std::string& pattern : options_.patterns) {
    std::string inside = pattern;
    SlashesToBackslashes(inside);
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
    count = zipper_.UnZip();
    EndProgress();
    const bool warned = ReportArchiveWarnings(zipper_, true);
    const bool unmatched = ReportUnmatchedPatterns();
    status = problems_ > 0 || warned || unmatched ? 1 : 0;
  } catch (const Exception& e) {
    EndProgress();
    std::fprintf(stderr, "unzipper: %s: %s\n", options_.archive.c_str(), e.Message().c_str());
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
