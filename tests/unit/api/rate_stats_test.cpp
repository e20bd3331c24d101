// Raw rate conversions and the rules by which a sample changes the rate history.
#include "api/rate_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorrel::api {
namespace {

TEST(Rates, ConversionsAtKnownPointsAndWithinTheBoundAndTheRulesOfTheHistory) {
  EXPECT_EQ(rateToMbps(151, RateMode::HomePlugAv), 200);
  EXPECT_EQ(rateToMbps(150, RateMode::HomePlugAv), 198);  // integer quotient of 198.67
  EXPECT_NEAR(rateToMbps(42, RateMode::HomePlug1), 1.01366, 1e-5);
  EXPECT_DOUBLE_EQ(turboRateToMbps(126), 3);
  EXPECT_DOUBLE_EQ(turboRateToMbps(252), 6);
  EXPECT_DOUBLE_EQ(turboRateToMbps(519), 14);
  EXPECT_DOUBLE_EQ(rateToMbps(2812, RateMode::Turbo), 85);
  EXPECT_EQ(rateToMbps(2812, static_cast<RateMode>(3)), 0);
  // No conversion goes beyond the bound the image decoder trusts.
  EXPECT_EQ(rateToMbps(65535, RateMode::HomePlugAv), kMaxRateMbps);
  EXPECT_LT(rateToMbps(65535, RateMode::HomePlug1), kMaxRateMbps);
  EXPECT_LT(rateToMbps(65535, RateMode::Turbo), kMaxRateMbps);

  // A sample: whole rates, the change rule, the extremes and hostile samples.
  RateStats s;
  UpdateRateStats(s, 42, 7, 9, RateMode::HomePlug1);
  EXPECT_EQ(s, (RateStats{7, 9, 1, 1, 1, true}));  // 1.0137 truncated; the first sets the lowest

  s = RateStats{};
  s.currentRate = 100;
  RecordRate(s, 100.02, 0, 0);  // not more than 0.02 away
  EXPECT_FALSE(s.rateChanged);
  RecordRate(s, 101, 0, 0);
  RecordRate(s, 101, 0, 0);
  EXPECT_TRUE(s.rateChanged);  // stays until the list clears it
  for (double v : {80.0, 30.0, 60.0}) RecordRate(s, v, 0, 0);
  EXPECT_EQ(s.lowestRate, 30);
  EXPECT_EQ(s.highestRate, 101);
  RecordRate(s, 0.5, 0, 0);  // 0 becomes the lowest, and the next sample replaces it
  RecordRate(s, 40, 0, 0);
  EXPECT_EQ(s.lowestRate, 40);

  s = RateStats{};
  UpdateRateStats(s, 0, 0, 0, RateMode::HomePlug1);  // converts to -0.13
  EXPECT_EQ(s.currentRate, 0);
  EXPECT_FALSE(std::signbit(s.currentRate));
  RecordRate(s, std::numeric_limits<double>::quiet_NaN(), 0, 0);
  RecordRate(s, std::numeric_limits<double>::infinity(), 0, 0);
  EXPECT_EQ(s.currentRate, 0);
  EXPECT_EQ(s.highestRate, 0);
}

}  // namespace
}  // namespace quorrel::api
