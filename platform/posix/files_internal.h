// What the POSIX files of the file layer share, beside the path forms of native_path.h: the
// failure record with errno, the failures the tests plan, and the DOS date/time of a time stamp.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/injected_faults.h"
#include "platform/posix/native_path.h"

namespace platform::internal {

// Records a failure for LastError() of this thread, with errno's code.
void Record(const char* operation, const std::string& path, int code);

// A failure that a test planned (platform/injected_faults.h), recorded as the system's own.
bool InjectedFailure(internal::FaultKind kind, const char* operation, const std::string& path);

// The local DOS date/time of a time stamp, or -1 outside the years 1980 to 2107.
int32_t TimeToDosDateTime(time_t value);

}  // namespace platform::internal

namespace platform {

// The files of the layer call these and the path forms of native_path.h by their short names.
using internal::InjectedFailure;
using internal::Native;
using internal::Record;
using internal::SystemForm;
using internal::TimeToDosDateTime;
using internal::WithoutFinalSlashes;

}  // namespace platform
