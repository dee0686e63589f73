// The extraction's events, as the update run keeps them.
#include "app/run/staging_observer.h"

#include <utility>

#include "app/update_log.h"
#include "unzip/unzipper.h"

namespace {

std::string ReasonText(TSkipReason reason) {
  switch (reason) {
    case srBadPassword:
      return "it is encrypted";
    case srNoOverwrite:
      return "the existing file was kept";
    case srCreateError:
      return "it could not be written";
    case srUnsafePath:
      return "its name points outside the program directory";
    case srUnknownMethod:
      return "it is compressed with a method the updater does not read";
    case srStrongEncryption:
      return "it is encrypted with PKWARE strong encryption, which the updater does not read";
    default:
      return "it was skipped";
  }
}

}  // namespace

TStagingObserver::TStagingObserver(TUnZipper& component, std::string staging, TUpdateLog& log,
                                   TProgress onProgress, TExtracted onExtracted)
    : staging_(std::move(staging)), log_(log) {
  component.OnTotalPercentDone = [onProgress](TUnZipper* sender, int percent) {
    if (onProgress) onProgress(sender, percent);
  };
  component.OnUnZipComplete = [onExtracted](TUnZipper* sender, int count) {
    if (onExtracted) onExtracted(sender, count);
  };
  component.OnSkippingFile = [this](TUnZipper*, TSkipReason reason, const std::string& name, int,
                                    bool&) {
    const std::string problem = name + " was not updated: " + ReasonText(reason);
    log_.Write("refused entry " + problem);
    // What the archive holds never changes; a file that could not be written may next time.
    Problem(problem, reason != srCreateError && reason != srNoOverwrite);
  };
  component.OnBadCRC = [this](TUnZipper* sender, uint32_t, uint32_t, int index) {
    const std::string problem =
        sender->EntryFileName(index) + ": damaged data (its CRC-32 does not match)";
    log_.Write("failed entry " + problem);
    Problem(problem, true);
  };
  component.OnStartUnZip = [this](TUnZipper* sender, int index, const std::string&, bool&) {
    currentEntry_ = sender->EntryFileName(index);
  };
  // What is applied is what the extraction wrote and verified, nothing else that lies in the
  // staging directory.
  component.OnEndUnZip = [this](TUnZipper* sender, int index, const std::string& name) {
    currentEntry_.clear();
    if (name.compare(0, staging_.size(), staging_) != 0) return;
    extracted_.push_back(name.substr(staging_.size()));
    if (!sender->SortedEntries->Items(index)->HasUnixPermissions()) {
      keepPermissionsOf_.push_back(extracted_.back());
    }
  };
}

void TStagingObserver::Problem(const std::string& problem, bool permanent) {
  if (!firstProblem_.empty()) return;
  firstProblem_ = problem;
  problemPermanent_ = permanent;
}
