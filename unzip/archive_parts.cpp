// TUnZipper: finding and opening the parts of an archive split over several files or disks.
#include "platform/ascii_case.h"
#include "platform/dialogs.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "unzip/base/format_text.h"
#include "unzip/base/messages.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/unzipper.h"

namespace {

std::string PaddedNumber(int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

// `value` with a "," between each group of three digits: 8,226.
std::string WithThousandsSeparators(int value) {
  std::string digits = std::to_string(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

}  // namespace

bool TUnZipper::PartLabelMatches(int part) const {
  if (SpanMode != smRemovableDisks) return true;
  const std::string label = platform::VolumeLabel(platform::UpperCaseAscii(FZipName.substr(0, 3)));
  const std::string expected = PaddedNumber(part, 3);
  return label.size() >= 3 && label.compare(label.size() - 3, 3, expected) == 0;
}

std::string TUnZipper::PartFileName(int part) {
  if (SpanMode == smSplitFiles) {
    std::string name = ZipBaseName;
    const TSplitPartType type = OperationMode == 1 && part == PartCount ? spLast
                                : part == 1                             ? spFirst
                                                                        : spMiddle;
    if (OnFileNameForSplitPart) {
      OnFileNameForSplitPart(this, name, part, type);
    } else if (BlockMode == bmStandard) {
      name += type == spLast ? ".zip" : ".z" + PaddedNumber(part, 2);
    } else {
      name += "." + PaddedNumber(part, 3);
    }
    return name;
  }
  // Parts on removable disks: ask until the right disk is in.
  std::string name = FZipName;
  for (;;) {
    if (OnGetNextDisk) {
      OnGetNextDisk(this, part, name);
    } else if (SpanMode == smRemovableDisks) {
      const int answer = HandleMessage(kMsgInsertDisk, FormatMessageText(kMsgInsertDisk, part), "",
                                       platform::kMbOkCancel);
      if (answer == platform::kIdCancel) name.clear();
    }
    if (name.empty()) throw EUserCanceled(kTextCanceledNewDisk);
    if ((!CheckPartLabels || PartLabelMatches(part)) && platform::FileExists(name)) return name;
    // Asking again only helps when someone can answer differently.
    if (!OnGetNextDisk && SpanMode != smRemovableDisks) throw EUserCanceled(kTextCanceledNewDisk);
  }
}

TStream* TUnZipper::SwapToPart(int part) {
  ArchiveFile.reset();
  const std::string name = PartFileName(part);
  // A part missing from a set of which neither the first part nor the one before the last is
  // there either: no such set was ever beside this file, and its end record's part number is
  // garbage (a damaged record, or no archive at all).
  if (SpanMode == smSplitFiles && PartCount > 1 && !platform::FileExists(name) &&
      !platform::FileExists(PartFileName(1)) && !platform::FileExists(PartFileName(PartCount - 1))) {
    throw EDamagedEndRecord(FormatText(kTextDamagedEndRecord, WithThousandsSeparators(PartCount)));
  }
  ArchiveFile =
      std::make_unique<TBufferedFileStream>(name, static_cast<int32_t>(BufferedStreamSize), false,
                                            platform::kOpenRead | platform::kShareDenyNone);
  CurrentPart = part - 1;
  DirectoryDate = FileDateTimeOf(*ArchiveFile);
  FZipName = name;
  return ArchiveFile.get();
}
