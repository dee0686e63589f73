// The walk of a release tree. It reads through std::filesystem and asks every entry's own status
// (symlink_status), so that a link is seen and refused, never followed. It only reads: nothing here
// deletes or writes.
#include "tools/update_pack_tree.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "platform/ascii_case.h"
#include "platform/files.h"
#include "release/own_names.h"
#include "release/release_record.h"

namespace {

namespace fs = std::filesystem;

// A tree deeper than this is taken for a loop (a junction that the Windows library follows)
// rather than a release.
constexpr int kMaxDepth = 256;

class TTreeWalk {
 public:
  TTreeWalk(const std::string& root, bool skipOwnNames, std::vector<TReleaseItem>* items)
      : root_(root), skipOwnNames_(skipOwnNames), items_(items) {}

  bool Walk(const std::string& relative, int depth, bool* empty);
  const std::string& Reason() const { return reason_; }

 private:
  bool Fail(const std::string& relative, const std::string& why) {
    reason_ = platform::DisplayPath(SystemPath(relative)) + " " + why;
    return false;
  }
  // The system's form of `relative` below the root.
  std::string SystemPath(const std::string& relative) const {
    std::string path = root_;
    if (!relative.empty()) path += '\\';
    for (const char c : relative) path += c == '/' ? '\\' : c;
    if (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
  }
  static fs::path HostPath(const std::string& systemPath) {
    const std::string shown = platform::DisplayPath(systemPath);
    return fs::path(std::u8string(shown.begin(), shown.end()));
  }
  // The time (of a file only), permissions and attributes of the item at `relative`.
  bool Describe(const std::string& relative, TReleaseItem* item);
  // One entry found in the directory at `relative`.
  bool Visit(const fs::directory_entry& entry, const std::string& relative, int depth);

  std::string root_;
  bool skipOwnNames_;
  std::vector<TReleaseItem>* items_;
  std::string reason_;
};

bool TTreeWalk::Describe(const std::string& relative, TReleaseItem* item) {
  item->Path = relative;
  item->SourcePath = SystemPath(relative);
  if (!item->IsDirectory) {
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(HostPath(item->SourcePath), error);
    if (error) return Fail(relative, "has no time that can be read: " + error.message());
    const auto seconds =
        std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(time));
    item->ModifiedTime = seconds.time_since_epoch().count();
  }
  item->Permissions = platform::ReadPermissions(item->SourcePath);
  const uint32_t attributes = platform::ReadAttributes(item->SourcePath);
  if (attributes == platform::kInvalidAttributes) {
    return Fail(relative,
                "cannot be looked at: " + platform::SystemErrorText(platform::LastError().code));
  }
  // The archive bit says whether a backup saw the file; it is no part of a release.
  const uint32_t kept = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;
  item->Attributes =
      (attributes & kept) | (item->IsDirectory ? platform::kAttrDirectory : platform::kAttrArchive);
  return true;
}

bool TTreeWalk::Visit(const fs::directory_entry& entry, const std::string& relative, int depth) {
  std::string name;
  try {
    const std::u8string text = entry.path().filename().u8string();
    name.assign(text.begin(), text.end());
  } catch (const std::exception&) {
    return Fail(relative, "holds a name that is not valid Unicode");
  }
  const std::string path = relative + name;
  if (name.find('\\') != std::string::npos) {
    return Fail(path, "has \"\\\" in its name, which the updater takes for a separator");
  }
  if (skipOwnNames_ && relative.empty() &&
      (own_names::IsOwnName(name) || platform::EqualsIgnoringAsciiCase(name, own_names::kRelease)))
    return true;
  std::string why;
  if (!CheckReleasePath(path, &why)) return Fail(path, "cannot be in a release: its path " + why);
  std::error_code error;
  const fs::file_status status = entry.symlink_status(error);
  if (error) return Fail(path, "cannot be looked at: " + error.message());
  TReleaseItem item;
  switch (status.type()) {
    case fs::file_type::regular: {
      item.Size = entry.file_size(error);
      if (error) return Fail(path, "has no size that can be read: " + error.message());
      if (!Describe(path, &item)) return false;
      items_->push_back(std::move(item));
      return true;
    }
    case fs::file_type::directory: {
      item.IsDirectory = true;
      if (!Describe(path + "/", &item)) return false;
      const size_t at = items_->size();
      items_->push_back(std::move(item));
      bool empty = true;
      if (!Walk(path + "/", depth + 1, &empty)) return false;
      (*items_)[at].IsEmpty = empty;
      return true;
    }
    case fs::file_type::symlink:
      return Fail(path,
                  "is a link: a release holds files and directories only, and links are "
                  "not followed");
    default:
      return Fail(path, "is neither a file nor a directory");
  }
}

bool TTreeWalk::Walk(const std::string& relative, int depth, bool* empty) {
  if (depth > kMaxDepth) {
    return Fail(relative, "lies more than " + std::to_string(kMaxDepth) +
                              " directories deep (a loop of links?)");
  }
  std::error_code error;
  fs::directory_iterator it(HostPath(SystemPath(relative)), error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    *empty = false;
    if (!Visit(*it, relative, depth)) return false;
  }
  if (error) return Fail(relative, "cannot be listed: " + error.message());
  return true;
}

}  // namespace

bool ListReleaseTree(const std::string& root, bool skipOwnNames, std::vector<TReleaseItem>* items,
                     std::string* reason) {
  items->clear();
  TTreeWalk walk(root, skipOwnNames, items);
  bool empty = true;
  if (!walk.Walk("", 0, &empty)) {
    *reason = walk.Reason();
    items->clear();
    return false;
  }
  std::sort(items->begin(), items->end(),
            [](const TReleaseItem& a, const TReleaseItem& b) { return a.Path < b.Path; });
  return true;
}
