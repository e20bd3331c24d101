// Raw rate conversions and the rules by which a sample changes the rate history.
#include "api/rate_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorrel::api {
namespace {

TEST(RateConversion, EachModeAtItsKnownPoints) {
  EXPECT_EQ(rateToMbps(151, RateMode::HomePlugAv), 200);
  EXPECT_EQ(rateToMbps(150, RateMode::HomePlugAv), 198);  // 198.67 by integer quotient
  EXPECT_EQ(rateToMbps(65535, RateMode::HomePlugAv), kMaxRateMbps);
  EXPECT_NEAR(rateToMbps(42, RateMode::HomePlug1), 1.01366, 1e-5);
  EXPECT_LT(rateToMbps(0, RateMode::HomePlug1), 0);
  EXPECT_DOUBLE_EQ(turboRateToMbps(252), 6);
  EXPECT_DOUBLE_EQ(turboRateToMbps(519), 14);
  EXPECT_DOUBLE_EQ(turboRateToMbps(2812), 85);
  EXPECT_DOUBLE_EQ(turboRateToMbps(126), 3);  // first piece is linear
  EXPECT_EQ(rateToMbps(2812, RateMode::Turbo), turboRateToMbps(2812));
  EXPECT_EQ(rateToMbps(2812, static_cast<RateMode>(3)), 0);
  EXPECT_EQ(rateToMbps(2812, static_cast<RateMode>(-1)), 0);
  // No conversion goes beyond the bound the data file decoder trusts.
  for (int mode = 0; mode < 3; ++mode) {
    EXPECT_LE(rateToMbps(65535, static_cast<RateMode>(mode)), kMaxRateMbps) << mode;
  }
}

TEST(RateStatsUpdate, WholeRatesAndTheChangeRule) {
  RateStats s;
  UpdateRateStats(s, 42, 7, 9, RateMode::HomePlug1);
  EXPECT_EQ(s.currentRate, 1);  // 1.0137 truncated
  EXPECT_TRUE(s.rateChanged);
  EXPECT_EQ(s.fails, 7u);
  EXPECT_EQ(s.drops, 9u);

  s = RateStats{};
  s.currentRate = 100;
  RecordRate(s, 100.02, 0, 0);  // exactly the threshold: no change
  EXPECT_FALSE(s.rateChanged);
  RecordRate(s, 100.01, 0, 0);
  EXPECT_FALSE(s.rateChanged);
  EXPECT_EQ(s.currentRate, 100);
  RecordRate(s, 101, 0, 0);
  EXPECT_TRUE(s.rateChanged);
  EXPECT_EQ(s.currentRate, 101);
  // The flag stays until the list clears it.
  RecordRate(s, 101, 0, 0);
  EXPECT_TRUE(s.rateChanged);
}

TEST(RateStatsUpdate, LowestAndHighest) {
  RateStats s;
  RecordRate(s, 50.9, 0, 0);  // 0 < 1.0, so the first sample sets the lowest
  EXPECT_EQ(s.lowestRate, 50);
  EXPECT_EQ(s.highestRate, 50);
  RecordRate(s, 80, 0, 0);
  RecordRate(s, 30, 0, 0);
  RecordRate(s, 60, 0, 0);
  EXPECT_EQ(s.lowestRate, 30);
  EXPECT_EQ(s.highestRate, 80);
  // A rate of 0 counts as lowest, and the next real sample replaces it (0 < 1.0).
  RecordRate(s, 0.5, 0, 0);
  EXPECT_EQ(s.lowestRate, 0);
  RecordRate(s, 40, 0, 0);
  EXPECT_EQ(s.lowestRate, 40);
}

TEST(RateStatsUpdate, HostileSamplesStayWholeAndFinite) {
  RateStats s;
  UpdateRateStats(s, 0, 0, 0, RateMode::HomePlug1);  // converts to -0.13
  EXPECT_EQ(s.currentRate, 0);
  EXPECT_FALSE(std::signbit(s.currentRate));
  RecordRate(s, std::numeric_limits<double>::quiet_NaN(), 0, 0);
  EXPECT_EQ(s.currentRate, 0);
  RecordRate(s, std::numeric_limits<double>::infinity(), 0, 0);
  EXPECT_EQ(s.currentRate, 0);
  EXPECT_TRUE(std::isfinite(s.highestRate));
}

}  // namespace
}  // namespace quorrel::api
