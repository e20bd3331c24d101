// Folding cycle samples into hourly averages and holding both tiers to their caps.
#include "history/compaction.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace quorrel::history {

namespace {
bool byTime(const Sample& a, const Sample& b) {
  return a.time < b.time;
}

std::int64_t hourOf(std::int64_t t) {
  const std::int64_t h = t / 3600 * 3600;
  return h > t ? h - 3600 : h;  // rounds down before the epoch too
}

using BucketKey = std::tuple<std::int64_t, MacAddress, MacAddress>;  // hour, device, viewer
struct Bucket {
  double weighted = 0;  // kbps x count
  std::uint32_t count = 0;
};

void add(std::map<BucketKey, Bucket>& buckets, const Sample& s, std::int64_t hour) {
  Bucket& b = buckets[{hour, s.device, s.viewer}];
  b.weighted += static_cast<double>(s.kbps) * s.count;
  b.count += s.count;
}
}  // namespace

Tiers splitTiers(const std::vector<Sample>& samples) {
  Tiers t;
  for (const Sample& s : samples)
    (s.resolution == Resolution::Hour ? t.hourly : t.cycles).push_back(s);
  std::stable_sort(t.hourly.begin(), t.hourly.end(), byTime);
  std::stable_sort(t.cycles.begin(), t.cycles.end(), byTime);
  return t;
}

bool needsCompaction(const Tiers& t, std::int64_t now, std::size_t adding) {
  return t.cycles.size() + adding > kMaxCycleSamples ||
         (!t.cycles.empty() && t.cycles.front().time < now - kCycleKeepSeconds - 3600) ||
         t.hourly.size() > kMaxHourlySamples ||
         (!t.hourly.empty() && t.hourly.front().time < now - kHourlyKeepSeconds - 24 * 3600);
}

void compact(Tiers& t, std::int64_t now, std::size_t cycleTarget) {
  // Cycles are by time, so what folds is a prefix: the old ones and the excess.
  const auto old = std::partition_point(t.cycles.begin(), t.cycles.end(), [&](const Sample& s) {
    return s.time < now - kCycleKeepSeconds;
  });
  std::size_t fold = static_cast<std::size_t>(old - t.cycles.begin());
  if (t.cycles.size() - fold > cycleTarget) fold = t.cycles.size() - cycleTarget;
  if (fold > 0) {
    std::map<BucketKey, Bucket> buckets;
    for (std::size_t i = 0; i < fold; ++i) add(buckets, t.cycles[i], hourOf(t.cycles[i].time));
    t.cycles.erase(t.cycles.begin(), t.cycles.begin() + static_cast<std::ptrdiff_t>(fold));
    // An hour already averaged (part of it folded before) takes the new samples in by count.
    // Only the last hours can match, so the scan from the end stops at the first older one.
    const std::int64_t firstHour = std::get<0>(buckets.begin()->first);
    for (auto it = t.hourly.rbegin(); it != t.hourly.rend() && it->time >= firstHour; ++it) {
      const auto b = buckets.find({it->time, it->device, it->viewer});
      if (b == buckets.end()) continue;
      add(buckets, *it, it->time);
      it->count = 0;  // replaced by the merged average below
    }
    std::erase_if(t.hourly, [](const Sample& s) { return s.count == 0; });
    const std::size_t keep = t.hourly.size();
    for (const auto& [key, b] : buckets) {
      Sample s;
      std::tie(s.time, s.device, s.viewer) = key;
      s.kbps = static_cast<std::uint32_t>(b.weighted / b.count + 0.5);
      s.count = static_cast<std::uint16_t>(std::min<std::uint32_t>(b.count, 0xFFFF));
      s.resolution = Resolution::Hour;
      t.hourly.push_back(s);
    }
    std::inplace_merge(t.hourly.begin(), t.hourly.begin() + static_cast<std::ptrdiff_t>(keep),
                       t.hourly.end(), byTime);
  }
  const auto kept = std::partition_point(t.hourly.begin(), t.hourly.end(), [&](const Sample& s) {
    return s.time < now - kHourlyKeepSeconds;
  });
  std::size_t drop = static_cast<std::size_t>(kept - t.hourly.begin());
  if (t.hourly.size() - drop > kMaxHourlySamples) drop = t.hourly.size() - kMaxHourlySamples;
  t.hourly.erase(t.hourly.begin(), t.hourly.begin() + static_cast<std::ptrdiff_t>(drop));
}

}  // namespace quorrel::history
