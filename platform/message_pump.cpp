// Holds the application's message pump for the code that must pump while it works.
#include "platform/message_pump.h"

#include <utility>

namespace platform {
namespace {
MessagePump& InstalledPump() {
  static MessagePump pump;
  return pump;
}
}  // namespace

void SetMessagePump(MessagePump pump) {
  InstalledPump() = std::move(pump);
}

bool PumpMessages() {
  const MessagePump& pump = InstalledPump();
  return pump ? pump() : false;
}

}  // namespace platform
