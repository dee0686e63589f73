// Setting a refused archive aside.
#include "app/run/set_aside.h"

#include "app/app_paths.h"
#include "app/update_log.h"
#include "app/update_transaction.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "signing/update_signature.h"
#include "unzip/unzipper.h"

namespace {

// An archive that can never be applied as it is goes aside under this name.
constexpr char kRefusedSuffix[] = ".refused";

}  // namespace

std::string SetAsideOrKeep(const TRunContext& run, const TStepOutcome& outcome,
                           TUnZipper* component, TCheckedArchive* archive) {
  // Nothing of the archive is read any more: the component lets go of it (on Windows its handle
  // would keep it from being set aside).
  if (component != nullptr) component->ClearArchive();
  archive->Close();
  if (!outcome.Permanent) return "";
  const std::string aside = run.ZipFileName + kRefusedSuffix;
  if (!platform::ReplaceFileAtomically(run.ZipFileName, aside)) {
    run.Log.Write(std::string(kArchiveName) +
                  " could not be set aside: " + platform::ErrorText(platform::LastError()));
    return "";
  }
  // Its signature goes with it; an older one's, without a signature of its own, goes away.
  const std::string signature = run.ZipFileName + signing::kSignatureSuffix;
  if (platform::LinkFreeKind(signature) != platform::PathKind::kMissing) {
    (void)platform::ReplaceFileAtomically(signature, aside + signing::kSignatureSuffix);
  } else {
    (void)platform::RemoveFile(aside + signing::kSignatureSuffix);
  }
  run.Log.Write(std::string(kArchiveName) + " cannot be applied as it is: it was set aside as " +
                kArchiveName + kRefusedSuffix);
  // The program's name was remembered for this archive; it names nothing for the next one.
  update_transaction::ForgetStagedProgram(run.AppDir);
  return std::string(kArchiveName) + " was set aside as " + kArchiveName + kRefusedSuffix + ".";
}
