// The clock of the desktop program: its sleeps on the user-interface thread let Qt repaint, so
// the window stays alive through the seconds-long waits of key setting and adds. User input is
// held back meanwhile, so nothing else starts while an operation runs.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace quorrel::qtui {

class PumpingClock final : public platform::Clock {
 public:
  std::uint32_t tickCount() override { return steady_.tickCount(); }
  std::uint64_t microseconds() override { return steady_.microseconds(); }
  void sleepMs(std::uint32_t ms) override;

  // The longest time, in microseconds, between two event pumps since the last reset.
  std::uint64_t longestGapUs() const { return longestGapUs_; }
  void resetGap();

 private:
  platform::SteadyClock steady_;
  std::uint64_t lastPumpUs_ = 0;
  std::uint64_t longestGapUs_ = 0;
};

}  // namespace quorrel::qtui
