// The message pump seen from long work: only an installed pump runs, and its answer comes back.
#include "platform/message_pump.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(MessagePump, RunsTheInstalledPumpOnly) {
  EXPECT_FALSE(PumpMessages());
  int pumped = 0;
  SetMessagePump([&pumped] {
    ++pumped;
    return true;
  });
  EXPECT_TRUE(PumpMessages());
  SetMessagePump(nullptr);
  EXPECT_FALSE(PumpMessages());
  EXPECT_EQ(pumped, 1);
}

}  // namespace
}  // namespace platform
