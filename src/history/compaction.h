// The two tiers of the rate history and how the older one is made from the newer: cycle
// samples for a day, hourly averages for 90 days, each tier with a hard cap on its records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "history/history_file.h"

namespace quorrel::history {

inline constexpr std::int64_t kCycleKeepSeconds = 24 * 3600;
inline constexpr std::int64_t kHourlyKeepSeconds = 90 * 24 * 3600;
// 32 devices for a day at one cycle every 21 s; with more devices or faster cycles the oldest
// samples become hourly averages early instead of being lost.
inline constexpr std::size_t kMaxCycleSamples = 131072;
// 32 devices for 96 days of hours; past it the oldest hours go first.
inline constexpr std::size_t kMaxHourlySamples = 73728;
// The file never grows past header + both caps: 16 + 204800 x 32 = 6553616 bytes (6.25 MiB).
inline constexpr std::size_t kMaxFileBytes =
    header::kSize + (kMaxCycleSamples + kMaxHourlySamples) * record::kSize;

struct Tiers {
  std::vector<Sample> hourly;  // by time, oldest first
  std::vector<Sample> cycles;  // by time, oldest first
  std::size_t size() const { return hourly.size() + cycles.size(); }
};

// Sorts samples read from a file into the two tiers, each by time (stable: equal stamps keep
// their file order).
Tiers splitTiers(const std::vector<Sample>& samples);

// Whether adding `adding` cycle samples at `now` calls for a compaction first: the cycle tier
// would pass its cap, or holds samples more than an hour past their day, or the hourly tier is
// over its cap or holds an hour more than a day past its 90 days.
bool needsCompaction(const Tiers& t, std::int64_t now, std::size_t adding);

// Cycle samples older than a day before `now`, and the oldest while the tier holds more than
// `cycleTarget`, become hourly averages per device and viewer (merged, by their counts, with an
// average already kept for that hour); hourly averages older than 90 days, and the oldest
// beyond the cap, are dropped.
void compact(Tiers& t, std::int64_t now, std::size_t cycleTarget = kMaxCycleSamples * 3 / 4);

}  // namespace quorrel::history
