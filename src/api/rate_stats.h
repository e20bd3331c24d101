// Raw adapter rates to Mbps, and the rate history each device and interface keeps.
#pragma once

#include <cstdint>

#include "api/device_table.h"

namespace quorrel::api {

// How a raw rate is converted; any other value converts to 0.
enum class RateMode : int {
  HomePlug1 = 0,
  Turbo = 1,
  HomePlugAv = 2,
};

// The highest rate any conversion gives (a HomePlug AV raw rate of 65535).
inline constexpr double kMaxRateMbps = 86801;
// A change of more than this much marks the rate for redrawing.
inline constexpr double kRateChangeThreshold = 0.02;

// Three linear pieces meeting at 6 and 14 Mbps.
double turboRateToMbps(std::uint16_t raw);
double rateToMbps(std::uint16_t raw, RateMode mode);

// Records one sample of `mbps` with the adapter's two counts.
void recordRate(RateStats& stats, double mbps, std::uint16_t fails, std::uint16_t drops);
// Converts `raw` by `mode` and records it.
void updateRateStats(RateStats& stats, std::uint16_t raw, std::uint16_t fails, std::uint16_t drops,
                     RateMode mode);

}  // namespace quorrel::api
