// What the chart draws, without the toolkit: one line per device and viewer, at most a fixed
// number of points each (averages over equal spans of the range), so a 90-day chart of 32
// devices draws as fast as a day's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "history/history_file.h"

namespace quorrel::history {

struct ChartPoint {
  std::int64_t time = 0;
  double mbps = 0;
};

struct ChartLine {
  MacAddress device{};
  MacAddress viewer{};
  std::vector<ChartPoint> points;  // by time
};

inline constexpr std::size_t kMaxPointsPerLine = 600;

// `samples` by time (as RateHistory::samples gives them, hourly first); lines in order of first
// appearance of each device and viewer.
std::vector<ChartLine> chartLines(const std::vector<Sample>& samples, std::int64_t from,
                                  std::int64_t to, std::size_t maxPoints = kMaxPointsPerLine);

}  // namespace quorrel::history
