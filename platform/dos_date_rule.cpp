// The fields of a DOS date/time value and their validity rule.
#include "platform/dos_date_rule.h"

namespace platform {

DosDateTimeFields SplitDosDateTime(uint32_t value) {
  const uint32_t time = value & 0xFFFF;
  const uint32_t date = value >> 16;
  DosDateTimeFields f;
  f.Year = 1980 + (date >> 9);
  f.Month = (date >> 5) & 0x0F;
  f.Day = date & 0x1F;
  f.Hour = time >> 11;
  f.Minute = (time >> 5) & 0x3F;
  f.Second = (time & 0x1F) * 2;
  return f;
}

bool IsLeapYear(uint32_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

uint32_t DaysInMonth(uint32_t year, uint32_t month) {
  static constexpr uint32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDosDateTime(uint32_t value) {
  const DosDateTimeFields f = SplitDosDateTime(value);
  return f.Month >= 1 && f.Month <= 12 && f.Day >= 1 && f.Day <= DaysInMonth(f.Year, f.Month) &&
         f.Hour <= 23 && f.Minute <= 59 && f.Second <= 59;
}

}  // namespace platform
