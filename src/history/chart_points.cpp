// Grouping and thinning the samples for the chart.
#include "history/chart_points.h"

#include <algorithm>
#include <map>
#include <utility>

namespace quorrel::history {

std::vector<ChartLine> chartLines(const std::vector<Sample>& samples, std::int64_t from,
                                  std::int64_t to, std::size_t maxPoints) {
  struct Slot {
    double weighted = 0;
    std::uint32_t count = 0;
    std::int64_t timeSum = 0;
  };
  std::vector<ChartLine> lines;
  std::vector<std::map<std::int64_t, Slot>> slots;
  std::map<std::pair<MacAddress, MacAddress>, std::size_t> index;
  const std::int64_t span = std::max<std::int64_t>(1, to - from);
  const std::int64_t width = std::max<std::int64_t>(
      1, span / static_cast<std::int64_t>(std::max<std::size_t>(1, maxPoints)) + 1);
  for (const Sample& s : samples) {
    if (s.time < from || s.time > to) continue;
    const auto [it, added] = index.try_emplace({s.device, s.viewer}, lines.size());
    if (added) {
      lines.push_back({s.device, s.viewer, {}});
      slots.emplace_back();
    }
    Slot& slot = slots[it->second][(s.time - from) / width];
    slot.weighted += s.mbps() * s.count;
    slot.count += s.count;
    slot.timeSum += (s.time - from) * s.count;
  }
  for (std::size_t i = 0; i < lines.size(); ++i)
    for (const auto& [key, slot] : slots[i])
      lines[i].points.push_back({from + slot.timeSum / slot.count, slot.weighted / slot.count});
  return lines;
}

}  // namespace quorrel::history
