// DOS date/time repair, conversion and file stamping.
#include "unzip/records/dos_date_time.h"

#include "platform/files.h"

namespace {

struct DosFields {
  uint32_t year, month, day, hour, minute, second;
};

DosFields Decode(uint32_t value) {
  const uint32_t time = value & 0xFFFF;
  const uint32_t date = value >> 16;
  return DosFields{1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                   time >> 11,         (time >> 5) & 0x3F, (time & 0x1F) * 2};
}

bool IsLeapYear(uint32_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

uint32_t DaysInMonth(uint32_t year, uint32_t month) {
  static constexpr uint32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

uint32_t ClampDosDateTime(uint32_t value) {
  DosFields f = Decode(value);
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
  clampAbove(f.hour, 23);
  clampAbove(f.minute, 59);
  clampAbove(f.second, 59);
  clampAbove(f.year, 2099);
  clampAbove(f.month, 12);
  raiseZero(f.month);
  raiseZero(f.day);
  if (!clamped) return value;
  const uint32_t time = (f.second / 2) | (f.minute << 5) | (f.hour << 11);
  const uint32_t date = f.day | (f.month << 5) | ((f.year - 1980) << 9);
  return (date << 16) | time;
}

bool DosDateTimeToDateTime(uint32_t dosDateTime, double* dateTime) {
  const DosFields f = Decode(dosDateTime);
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > DaysInMonth(f.year, f.month) ||
      f.hour > 23 || f.minute > 59 || f.second > 59) {
    return false;
  }
  // Days from 1899-12-30 to the start of the year, then to the start of the month.
  int64_t days = 0;
  for (uint32_t y = 1900; y < f.year; ++y) days += IsLeapYear(y) ? 366 : 365;
  for (uint32_t m = 1; m < f.month; ++m) days += DaysInMonth(f.year, m);
  days += f.day - 1 + 2;  // 1899-12-30 is day 0, so 1900-01-01 is day 2
  const double seconds = f.hour * 3600.0 + f.minute * 60.0 + f.second;
  *dateTime = static_cast<double>(days) + seconds / 86400.0;
  return true;
}

void StampFileTime(const std::string& fileName, uint32_t dosDateTime) {
  platform::File file =
      platform::File::Open(fileName, platform::kOpenWrite | platform::kShareDenyNone);
  if (file.IsOpen()) file.SetLastWriteDosTime(ClampDosDateTime(dosDateTime));
}
