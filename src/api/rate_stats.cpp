// Rate conversions and the change rule of the rate history.
#include "api/rate_stats.h"

#include <cmath>

namespace quorrel::api {

namespace {
// HomePlug 1.0: a straight line through the adapter's raw scale of 42 per Mbps.
constexpr double kHp1Slope = 1.1434511434511434;
constexpr double kHp1RawPerMbps = 42.0;
constexpr double kHp1Offset = 0.12978912978912938;

constexpr double kTurboKnee1 = 6.0;
constexpr double kTurboKnee2 = 12.357142857142858;
constexpr double kTurboSpan2 = 6.357142857142858;
constexpr double kTurboSpan3 = 54.59523809523809;

constexpr int kAvRateNumerator = 200;
constexpr int kAvRateDenominator = 151;
}  // namespace

double turboRateToMbps(std::uint16_t raw) {
  const double v = raw * 8 / 336.0;
  if (v <= kTurboKnee1) return v;
  if (v <= kTurboKnee2) return (v - kTurboKnee1) / kTurboSpan2 * 8 + 6;
  return (v - kTurboKnee2) / kTurboSpan3 * 71 + 14;
}

double rateToMbps(std::uint16_t raw, RateMode mode) {
  switch (mode) {
    case RateMode::HomePlug1:
      return kHp1Slope * (raw / kHp1RawPerMbps) - kHp1Offset;
    case RateMode::Turbo:
      return turboRateToMbps(raw);
    case RateMode::HomePlugAv:
      return (raw * kAvRateNumerator) / kAvRateDenominator;
  }
  return 0;
}

void recordRate(RateStats& stats, double mbps, std::uint16_t fails, std::uint16_t drops) {
  if (!std::isfinite(mbps)) mbps = 0;
  if (std::fabs(stats.currentRate - mbps) > kRateChangeThreshold) stats.rateChanged = true;
  // A HomePlug 1.0 raw 0 converts to a little below zero; keep it from showing as "-0".
  stats.currentRate = std::trunc(mbps) + 0.0;
  if (stats.currentRate < stats.lowestRate || stats.lowestRate < 1.0) {
    stats.lowestRate = stats.currentRate;
  }
  if (stats.currentRate > stats.highestRate) stats.highestRate = stats.currentRate;
  stats.fails = fails;
  stats.drops = drops;
}

void updateRateStats(RateStats& stats, std::uint16_t raw, std::uint16_t fails, std::uint16_t drops,
                     RateMode mode) {
  recordRate(stats, rateToMbps(raw, mode), fails, drops);
}

}  // namespace quorrel::api
