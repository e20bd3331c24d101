// The simulation's daily rate pattern: the scenario knob and the rates the stations then list.
#include <gtest/gtest.h>

#include "adapter-sim/core/network.h"

namespace quorrel::sim {
namespace {

constexpr char kBase[] =
    "[local]\nmac 00:B0:52:10:00:01\nchip 4\n[remote]\nmac 00:B0:52:20:00:02\nchip 4\n"
    "rate 200 180\n[behaviour]\n";

TEST(DailyPatternTest, ScenarioKnobsAreCheckedAndTaken) {
  const struct {
    const char* lines;
    const char* error;  // empty: accepted
  } cases[] = {{"daily_dip 40 18 23\nday_seconds 600\nday_start_hour 6\n", ""},
               {"daily_dip 40 18 18\n", "line 9: daily_dip must be a percentage and two"},
               {"daily_dip 101 1 2\n", "line 9: daily_dip must be"},
               {"daily_dip 40 1 24\n", "line 9: daily_dip must be"},
               {"daily_dip 40 1\n", "line 9: daily_dip must be"},
               {"day_seconds 0\n", "line 9: day_seconds must be at least 1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    Scenario s;
    std::string error;
    const bool ok = parseScenario(std::string(kBase) + c.lines, s, error);
    EXPECT_EQ(ok, *c.error == 0);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    if (ok) {
      EXPECT_EQ(s.behaviour.daily.percent, 40u);
      EXPECT_EQ(s.behaviour.daily.daySeconds, 600u);
      EXPECT_EQ(s.behaviour.daily.startHour, 6u);
    }
  }
}

// A ten-minute day starting at 06:00: 25 virtual seconds an hour.
TEST(DailyPatternTest, StationRatesDipBetweenTheHours) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(parseScenario(std::string(kBase) + "daily_dip 50 22 2\nday_seconds 600\n"
                                                 "day_start_hour 6\n",
                            s, error))
      << error;
  Network net(s);
  const struct {
    std::uint64_t seconds;
    std::uint16_t tx;
  } cases[] = {{0, 200},       {16 * 25 - 1, 200}, {16 * 25, 100},
               {19 * 25, 100}, {20 * 25, 200},     {600 + 16 * 25 + 1, 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    net.receive(std::vector<std::uint8_t>(60, 0), c.seconds * 1000000);
    EXPECT_EQ(net.scenario().remotes[0].txRate, c.tx);
    EXPECT_EQ(net.scenario().remotes[0].rxRate, c.tx * 180 / 200);
  }
}

}  // namespace
}  // namespace quorrel::sim
