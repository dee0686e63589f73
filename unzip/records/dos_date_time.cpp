// DOS date/time repair, conversion and file stamping.
#include "unzip/records/dos_date_time.h"

#include "platform/dos_date_rule.h"
#include "platform/files.h"

uint32_t ClampDosDateTime(uint32_t value) {
  platform::DosDateTimeFields f = platform::SplitDosDateTime(value);
  bool clamped = false;
  auto clampAbove = [&clamped](uint32_t& field, uint32_t limit) {
    if (field > limit) {
      field = limit;
      clamped = true;
    }
  };
  auto raiseZero = [&clamped](uint32_t& field) {
    if (field == 0) {
      field = 1;
      clamped = true;
    }
  };
  clampAbove(f.Hour, 23);
  clampAbove(f.Minute, 59);
  clampAbove(f.Second, 59);
  clampAbove(f.Year, 2099);
  clampAbove(f.Month, 12);
  raiseZero(f.Month);
  raiseZero(f.Day);
  return clamped ? platform::PackDosDateTime(f) : value;
}

bool DosDateTimeToDateTime(uint32_t dosDateTime, double* dateTime) {
  if (!platform::IsValidDosDateTime(dosDateTime)) return false;
  const platform::DosDateTimeFields f = platform::SplitDosDateTime(dosDateTime);
  // Days from 1899-12-30 to the start of the year, then to the start of the month.
  int64_t days = 0;
  for (uint32_t y = 1900; y < f.Year; ++y) days += platform::IsLeapYear(y) ? 366 : 365;
  for (uint32_t m = 1; m < f.Month; ++m) days += platform::DaysInMonth(f.Year, m);
  days += f.Day - 1 + 2;  // 1899-12-30 is day 0, so 1900-01-01 is day 2
  const double seconds = f.Hour * 3600.0 + f.Minute * 60.0 + f.Second;
  *dateTime = static_cast<double>(days) + seconds / 86400.0;
  return true;
}

void StampFileTime(const std::string& fileName, uint32_t dosDateTime) {
  platform::File file =
      platform::File::Open(fileName, platform::kOpenWrite | platform::kShareDenyNone);
  // A time the system refuses leaves the file with the time of its writing: the data stand.
  if (file.IsOpen()) (void)file.SetLastWriteDosTime(ClampDosDateTime(dosDateTime));
}
