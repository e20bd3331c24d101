// The virtual clock and delay built on it.
#include <gtest/gtest.h>

#include "platform/clock.h"

namespace quorrel::platform {
namespace {

TEST(VirtualClock, SleepsAdvanceTimeAndCallTheHook) {
  VirtualClock vc;
  std::uint64_t lastSeen = 0;
  vc.setAdvanceHook([](void* ctx, std::uint64_t now) { *static_cast<std::uint64_t*>(ctx) = now; },
                    &lastSeen);
  setClock(&vc);
  delay(3700);
  EXPECT_EQ(tickCount(), 3700u);
  EXPECT_EQ(lastSeen, 3700u * 1000);
  delay(0);
  EXPECT_EQ(tickCount(), 3700u);
  setClock(nullptr);
}

TEST(SteadyClock, DelayWaitsAtLeastItsLength) {
  const std::uint32_t start = tickCount();
  delay(5);
  EXPECT_GE(tickCount() - start, 5u);
}

}  // namespace
}  // namespace quorrel::platform
