// Station rates that follow the hour of a virtual day, so that a rate history has a shape: a
// dip to a share of each station's rate between two hours, over days of any length.
#pragma once

#include <cstdint>

namespace quorrel::sim {

struct DailyPattern {
  std::uint32_t percent = 100;       // share of the rate kept during the dip, 0 to 100
  std::uint32_t fromHour = 0;        // the dip's first hour, 0 to 23
  std::uint32_t toHour = 0;          // the hour it ends (before it); may wrap past midnight
  std::uint32_t daySeconds = 86400;  // length of a virtual day on the network's clock
  std::uint32_t startHour = 0;       // the hour of the day at the clock's zero

  bool active() const { return percent != 100 && fromHour != toHour; }
};

// The hour of the virtual day, 0 to 23, at `nowUs` on the network's clock.
std::uint32_t virtualHour(const DailyPattern& p, std::uint64_t nowUs);
// `base` as the pattern has it at `nowUs`.
std::uint16_t patternRate(std::uint16_t base, const DailyPattern& p, std::uint64_t nowUs);

}  // namespace quorrel::sim
