// DOS date/time values (date in the high 16 bits, time in the low 16, two-second steps): repair,
// conversion to a date-time number, and stamping a file's last-write time.
#pragma once

#include <cstdint>
#include <string>

// Repairs out-of-range fields: hour > 23 -> 23, minute > 59 -> 59, second > 59 -> 59 (stored as
// 58), year > 2099 -> 2099, month 0 -> 1 and > 12 -> 12, day 0 -> 1. A value with nothing to
// repair comes back bit for bit.
uint32_t ClampDosDateTime(uint32_t value);

// Converts a DOS date/time to a date-time number (days since 1899-12-30, the time as the
// fraction of a day). False, with *dateTime untouched, when the fields do not form a valid date
// and time (such as 31 February or hour 24).
bool DosDateTimeToDateTime(uint32_t dosDateTime, double* dateTime);

// Sets an existing file's last-write time from ClampDosDateTime(dosDateTime), read as local time.
// Failures are ignored: the file keeps the time it had.
void StampFileTime(const std::string& fileName, uint32_t dosDateTime);
