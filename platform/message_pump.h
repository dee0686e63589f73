// The message pump that long work calls to keep a window alive. The application that owns a
// window installs one; a program without windows (tests, the command-line tool) installs none,
// and pumping then does nothing.
#pragma once

#include <functional>

namespace platform {

// Dispatches the window messages that are waiting; returns true when termination of the
// application was requested (the flag stays set for the application's own loop).
using MessagePump = std::function<bool()>;

// Installs `pump` (an empty function removes it). Not thread-safe: call from the UI thread.
void SetMessagePump(MessagePump pump);

// Runs the installed pump; false when none is installed.
bool PumpMessages();

}  // namespace platform
