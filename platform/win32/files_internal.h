// What the Windows files of the file layer share, beside the wide paths of native_path.h: the
// failure record with GetLastError's codes, the failures the tests plan, and DOS file times.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/injected_faults.h"
#include "platform/win32/native_path.h"

namespace platform::internal {

// Records a failure for LastError() of this thread, with GetLastError's code.
void Record(const char* operation, const std::string& path, DWORD code);

// A failure that a test planned (platform/injected_faults.h), recorded as the system's own.
bool InjectedFailure(internal::FaultKind kind, const char* operation, const std::string& path);

// GetLastError, or ERROR_INVALID_PARAMETER for a call that failed without setting it (the time
// conversions may), so that a recorded failure never carries code 0.
DWORD FailureCode();

// A local DOS date/time of a UTC file time, or -1 outside the years 1980 to 2107.
int32_t FileTimeToDos(const FILETIME& utc);

}  // namespace platform::internal

namespace platform {

// The files of the layer call these and the wide paths of native_path.h by their short names.
using internal::FailureCode;
using internal::FileTimeToDos;
using internal::InjectedFailure;
using internal::Record;
using internal::Wide;
using internal::WithoutFinalSeparators;

}  // namespace platform
