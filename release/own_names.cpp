// The updater's own names.
#include "release/own_names.h"

#include "platform/ascii_case.h"
#include "signing/update_signature.h"

namespace own_names {

bool IsOwnName(std::string_view relativePath) {
  const std::string_view top = relativePath.substr(0, relativePath.find_first_of("\\/"));
  for (const char* name : {kStaging, kBackup, kJournal, kJournalDraft, kLock, kLog, kLogDraft,
                           kResult, kResultDraft}) {
    if (platform::EqualsIgnoringAsciiCase(top, name)) return true;
  }
  return false;
}

bool IsNeverRemoved(std::string_view relativePath) {
  const std::string_view top = relativePath.substr(0, relativePath.find_first_of("\\/"));
  if (IsOwnName(top) || platform::EqualsIgnoringAsciiCase(top, kRelease)) return true;
  for (const char* name : {kProgram, kProgramLinux, signing::kUpdatePublicKeyName}) {
    if (platform::EqualsIgnoringAsciiCase(relativePath, name)) return true;
  }
  return false;
}

}  // namespace own_names
