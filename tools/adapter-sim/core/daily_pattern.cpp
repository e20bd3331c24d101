// The daily rate pattern.
#include "adapter-sim/core/daily_pattern.h"

namespace quorrel::sim {

std::uint32_t virtualHour(const DailyPattern& p, std::uint64_t nowUs) {
  const std::uint64_t dayUs = std::uint64_t{p.daySeconds == 0 ? 86400 : p.daySeconds} * 1000000;
  const std::uint64_t hour = (nowUs % dayUs) * 24 / dayUs;
  return static_cast<std::uint32_t>((hour + p.startHour) % 24);
}

std::uint16_t patternRate(std::uint16_t base, const DailyPattern& p, std::uint64_t nowUs) {
  if (!p.active()) return base;
  const std::uint32_t h = virtualHour(p, nowUs);
  const bool inDip =
      p.fromHour < p.toHour ? h >= p.fromHour && h < p.toHour : h >= p.fromHour || h < p.toHour;
  return inDip ? static_cast<std::uint16_t>(std::uint32_t{base} * p.percent / 100) : base;
}

}  // namespace quorrel::sim
