// What the two implementations of the file layer share: the per-thread error record, the system
// text trimming, and the parts of File that do not speak to the OS.
#pragma once

#include <string>

#include "platform/files.h"

namespace platform::internal {

// Records a failure for LastError() of this thread.
void RecordError(const char* operation, const std::string& path, int code);

// The system's message text without its trailing full stop, line break or blanks; "Unknown error
// N" when the system had none.
std::string TrimSystemText(std::string text, int code);

}  // namespace platform::internal
