// The program tree check: each directory on the way to a target, and the target itself, looked
// at without following links.
#include "app/link_check.h"

#include <set>

#include "platform/files.h"
#include "platform/path_text.h"

namespace {

constexpr char kRefused[] = "The update was not applied: ";

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// The refusal for `relative`, found to be `kind`, or empty when it does not stand in the way:
// `isTarget` for a file the update replaces, else a directory on the way.
std::string RefusalFor(const std::string& programDir, const std::string& relative,
                       platform::PathKind kind, bool isTarget) {
  const std::string shown = platform::DisplayPath(relative);
  switch (kind) {
    case platform::PathKind::kLink:
      return kRefused + shown + " is a link; the updater does not write through links.";
    case platform::PathKind::kSpecial:
      if (!isTarget) return "";
      return kRefused + shown + " is " + platform::LinkFreeKindText(programDir + relative) +
             "; the updater replaces only regular files.";
    case platform::PathKind::kUnknown:
      return std::string(kRefused) + "what " + shown + " is could not be told (" +
             platform::SystemErrorText(platform::LastError().code) + ").";
    default:
      return "";
  }
}

}  // namespace

std::string ProgramTreeLinkRefusal(const std::string& programDir,
                                   const std::vector<std::string>& targets) {
  const std::string base = platform::AddPathDelimiter(programDir);
  // Directories looked at already, with those found missing (nothing below them exists).
  std::set<std::string> passed;
  std::set<std::string> missing;
  for (const std::string& target : targets) {
    size_t start = 0;
    std::string dir;  // the directories so far, each followed by "\"
    for (;;) {
      size_t end = start;
      while (end < target.size() && !IsSeparator(target[end])) ++end;
      const std::string component = target.substr(start, end - start);
      const bool last = end == target.size();
      if (component == "..") {
        return kRefused + platform::DisplayPath(target) + " leads out of the program directory.";
      }
      if (last) {
        // A file target (a directory target ends in a separator: its last part is empty).
        if (!component.empty() && missing.count(dir) == 0) {
          const std::string name = dir + component;
          const std::string refusal =
              RefusalFor(base, name, platform::LinkFreeKind(base + name), true);
          if (!refusal.empty()) return refusal;
        }
        break;
      }
      if (!component.empty() && component != ".") {
        const std::string parent = dir;
        dir += component + "\\";
        if (missing.count(parent) != 0) {
          missing.insert(dir);
        } else if (passed.count(dir) == 0) {
          const std::string name = dir.substr(0, dir.size() - 1);
          const platform::PathKind kind = platform::LinkFreeKind(base + name);
          const std::string refusal = RefusalFor(base, name, kind, false);
          if (!refusal.empty()) return refusal;
          if (kind == platform::PathKind::kDirectory) {
            passed.insert(dir);
          } else {
            missing.insert(dir);  // nothing to write through: the update makes it, or fails
          }
        }
      }
      start = end + 1;
    }
  }
  return "";
}
