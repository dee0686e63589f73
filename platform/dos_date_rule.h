// The fields of a DOS date/time value (date in the high 16 bits, time in the low 16, two-second
// steps) and the one rule saying when they form a real date and time.
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

bool IsLeapYear(uint32_t year);
// The days of `month` (1 to 12) in `year`.
uint32_t DaysInMonth(uint32_t year, uint32_t month);

// True when the fields name a real date and time: month 1 to 12, a day that exists in that
// month (no 31 February, 29 February only in a leap year), hour below 24, minute and second
// below 60.
bool IsValidDosDateTime(uint32_t value);

}  // namespace platform
