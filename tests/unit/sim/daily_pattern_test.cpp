// The simulation's daily rate pattern: the rates the stations list over a virtual day (the
// knobs' refusals are rows of the scenario test's table).
#include <gtest/gtest.h>

#include "adapter-sim/core/network.h"

namespace quorrel::sim {
namespace {

constexpr char kBase[] =
    "[local]\nmac 00:B0:52:10:00:01\nchip 4\n[remote]\nmac 00:B0:52:20:00:02\nchip 4\n"
    "rate 200 180\n[behaviour]\n";

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
