// The fields of a DOS date/time value (date in the high 16 bits, time in the low 16, two-second
// steps), their packing into a value and back, and the one rule saying when they form a real
// date and time.
#pragma once

#include <cstdint>

namespace platform {

struct DosDateTimeFields {
  uint32_t Year = 1980;  // 1980 to 2107
  uint32_t Month = 0;    // as stored: 0 to 15
  uint32_t Day = 0;      // as stored: 0 to 31
  uint32_t Hour = 0;     // as stored: 0 to 31
  uint32_t Minute = 0;   // as stored: 0 to 63
  uint32_t Second = 0;   // twice the stored value: 0 to 62
};

DosDateTimeFields SplitDosDateTime(uint32_t value);

// The value of fields that each lie within the range noted above (an odd Second is rounded down
// to the two-second step). SplitDosDateTime(PackDosDateTime(f)) gives f back for such fields.
constexpr uint32_t PackDosDateTime(const DosDateTimeFields& f) {
  const uint32_t date = ((f.Year - 1980) << 9) | (f.Month << 5) | f.Day;
  const uint32_t time = (f.Hour << 11) | (f.Minute << 5) | (f.Second / 2);
  return (date << 16) | time;
}

bool IsLeapYear(uint32_t year);
// The days of `month` (1 to 12) in `year`.
uint32_t DaysInMonth(uint32_t year, uint32_t month);

// True when the fields name a real date and time: month 1 to 12, a day that exists in that
// month (no 31 February, 29 February only in a leap year), hour below 24, minute and second
// below 60.
bool IsValidDosDateTime(uint32_t value);

}  // namespace platform
