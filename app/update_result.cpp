// The result file of the last run.
#include "app/update_result.h"

#include <algorithm>

#include "platform/error_text.h"
#include "platform/files.h"
#include "release/own_names.h"

namespace {

constexpr char kLockedKey[] = "locked ";
// update.result is a few lines: a larger file is not the updater's.
constexpr int32_t kMaxResultSize = 64 * 1024;

const char* OutcomeName(TUpdateOutcome outcome) {
  switch (outcome) {
    case TUpdateOutcome::kApplied:
      return "applied";
    case TUpdateOutcome::kNotApplied:
      return "not-applied";
    case TUpdateOutcome::kNothing:
      break;
  }
  return "nothing";
}

// One line: line ends inside a reason would begin an item of their own.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

const char* ResultCodeWord(TResultCode code) {
  switch (code) {
    case TResultCode::kApplied:
      return "applied";
    case TResultCode::kNothing:
      return "nothing";
    case TResultCode::kRefused:
      return "refused";
    case TResultCode::kPassing:
      return "passing";
    case TResultCode::kNeedsFull:
      return "needs-full";
    case TResultCode::kBusy:
      return "busy";
    case TResultCode::kNotStarted:
      break;
  }
  return "not-started";
}

std::string UpdateResultText(const TUpdateResult& result) {
  std::string text = std::string("result ") + OutcomeName(result.Outcome) + "\n";
  text += std::string("code ") + ResultCodeWord(result.Code) + "\n";
  if (!result.Reason.empty()) text += "reason " + OneLine(result.Reason) + "\n";
  if (!result.Version.empty()) text += "version " + OneLine(result.Version) + "\n";
  if (!result.Locked.empty()) text += std::string(kLockedKey) + OneLine(result.Locked) + "\n";
  return text;
}

std::string ReadLockedItem(const std::string& appDir) {
  const std::string path = appDir + own_names::kResult;
  if (platform::LinkFreeKind(path) != platform::PathKind::kFile) return "";
  platform::File file = platform::File::Open(path, platform::kOpenRead | platform::kShareDenyNone);
  std::string text(kMaxResultSize, '\0');
  const int32_t got = file.IsOpen() ? file.Read(text.data(), kMaxResultSize) : -1;
  if (got <= 0) return "";
  text.resize(static_cast<size_t>(got));
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    if (text.compare(start, sizeof kLockedKey - 1, kLockedKey) == 0) {
      return text.substr(start + sizeof kLockedKey - 1, end - start - (sizeof kLockedKey - 1));
    }
    start = end + 1;
  }
  return "";
}

bool WriteUpdateResult(const std::string& appDir, const TUpdateResult& result) {
  const std::string text = UpdateResultText(result);
  const std::string draft = appDir + own_names::kResultDraft;
  {
    platform::File file = platform::File::CreateNew(draft, false);
    if (!file.IsOpen()) {
      // A draft left by a run that was killed: it is only ever a draft.
      if (platform::LinkFreeKind(draft) != platform::PathKind::kFile ||
          !platform::RemoveFile(draft)) {
        return false;
      }
      file = platform::File::CreateNew(draft, false);
    }
    if (!file.IsOpen()) return false;
    if (file.Write(text.data(), static_cast<int32_t>(text.size())) !=
        static_cast<int32_t>(text.size())) {
      file.Close();
      const platform::KeepFirstError writeFailure;
      (void)platform::RemoveFile(draft);  // a draft that is not whole is of no use
      return false;
    }
  }
  if (platform::ReplaceFileAtomically(draft, appDir + own_names::kResult)) return true;
  const platform::KeepFirstError replaceFailure;
  (void)platform::RemoveFile(draft);
  return false;
}
