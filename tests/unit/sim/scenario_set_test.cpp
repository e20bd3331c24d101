// Several networks in one scenario file, and stations that join, leave and change rate.
#include <gtest/gtest.h>

#include "adapter-sim/core/network.h"
#include "adapter-sim/core/scenario_set.h"

namespace quorrel::sim {
namespace {

const char* kTwo =
    "# two interfaces\n"
    "[network first]\n"
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 40\n"
    "join_at_ms 100\nleave_at_ms 300\nrate_after_ms 200 60 55\n"
    "[network]\n"
    "[local]\nmac 00:B0:52:40:00:01\nchip 4\n"
    "[remote]\nmac 00:B0:52:40:00:02\nchip 4\nrate 400\n"
    "[behaviour]\ndelay_ms 5\n";

TEST(ScenarioSetTest, EachHeaderStartsANetworkWithItsOwnSections) {
  ScenarioSet set;
  std::string error;
  ASSERT_TRUE(parseScenarioSet(kTwo, set, error)) << error;
  ASSERT_EQ(set.networks.size(), 2u);
  EXPECT_EQ(set.networks[0].name, "first");
  EXPECT_EQ(set.networks[0].scenario.local.chipId, 1);
  EXPECT_EQ(set.networks[0].scenario.behaviour.delayMs, 0u);
  EXPECT_EQ(set.networks[1].scenario.local.chipId, 4);
  EXPECT_EQ(set.networks[1].scenario.behaviour.delayMs, 5u);
  const StationTimeline& t = set.networks[0].timelines.at(0);
  EXPECT_EQ(t.joinAtMs, 100u);
  EXPECT_EQ(t.leaveAtMs, 300u);
  ASSERT_EQ(t.rates.size(), 1u);
  EXPECT_EQ(t.rates[0].atMs, 200u);
  EXPECT_EQ(t.rates[0].txRate, 60);
  EXPECT_EQ(t.rates[0].rxRate, 55);
  EXPECT_TRUE(set.networks[1].timelines.at(0).empty());
}

TEST(ScenarioSetTest, PlainFileIsOneNetwork) {
  ScenarioSet set;
  std::string error;
  ASSERT_TRUE(parseScenarioSet("[local]\nmac 00:B0:52:10:00:01\nchip 1\n", set, error)) << error;
  ASSERT_EQ(set.networks.size(), 1u);
  EXPECT_TRUE(set.networks[0].timelines.empty());
}

TEST(ScenarioSetTest, ErrorsNameTheLineOfTheWholeFile) {
  struct Case {
    std::string text;
    std::string error;
  };
  const std::string local = "[local]\nmac 00:B0:52:10:00:01\nchip 1\n";
  const Case cases[] = {
      // The second network's bad chip is on line 7 of the file.
      {"[network]\n" + local + "[network]\n[local]\nmac 00:B0:52:10:00:09\nchip 9\n",
       "line 8: chip id must be 1 to 5"},
      {local + "join_at_ms 5\n", "line 4: join_at_ms belongs in a [remote] section"},
      {local + "[remote]\nmac 00:B0:52:20:00:02\nchip 1\njoin_at_ms 50\nleave_at_ms 50\n",
       "line 8: leave_at_ms must come after join_at_ms"},
      {local + "[remote]\nmac 00:B0:52:20:00:02\nchip 1\nleave_at_ms soon\n",
       "line 7: leave_at_ms takes one time in ms, at most a day"},
      {local + "[remote]\nmac 00:B0:52:20:00:02\nchip 1\nrate_after_ms 10\n",
       "line 7: rate_after_ms takes a time in ms and one or two rates (0 to 65535)"},
      {local + "[remote]\nmac 00:B0:52:20:00:02\nchip 1\njoin_at_ms 1\njoin_at_ms 2\n",
       "line 8: \"join_at_ms\" given twice in one section"},
      {local + "[network]\n" + local, "line 4: sections before the first [network]"},
  };
  for (const Case& c : cases) {
    ScenarioSet set;
    std::string error;
    EXPECT_FALSE(parseScenarioSet(c.text, set, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  std::string many;
  for (int i = 0; i < 9; ++i) many += "[network]\n" + local;
  ScenarioSet set;
  std::string error;
  EXPECT_FALSE(parseScenarioSet(many, set, error));
  EXPECT_EQ(error, "line 33: more than 8 networks");
}

// Whether the station answers a version request at `ms`, and the rate it is listed with.
TEST(ScenarioSetTest, TimelineMovesStationsInAndOutAndChangesTheirRate) {
  ScenarioSet set;
  std::string error;
  ASSERT_TRUE(parseScenarioSet(kTwo, set, error)) << error;
  Network net(set.networks[0].scenario);
  net.setTimelines(set.networks[0].timelines);
  net.startTimeline(1'000'000);
  Adapter& station = net.scenario().remotes[0];
  auto at = [&](std::uint64_t ms) {
    net.takeDue(1'000'000 + ms * 1000);
    return station.present;
  };
  EXPECT_FALSE(at(0));
  EXPECT_FALSE(at(99));
  EXPECT_TRUE(at(100));
  EXPECT_EQ(station.txRate, 40);
  EXPECT_TRUE(at(250));
  EXPECT_EQ(station.txRate, 60);
  EXPECT_EQ(station.rxRate, 55);
  EXPECT_FALSE(at(300));
  EXPECT_EQ(net.adapterAt(station.mac), nullptr);
}

}  // namespace
}  // namespace quorrel::sim

namespace quorrel::sim {
namespace {

TEST(ScenarioSetTest, ShippedTwoInterfaceScenarioLoads) {
  ScenarioSet set;
  std::string error;
  ASSERT_TRUE(
      loadScenarioSetFile(std::string(QUORREL_SIM_SCENARIOS) + "/two-interfaces.conf", set, error))
      << error;
  ASSERT_EQ(set.networks.size(), 2u);
  EXPECT_EQ(set.networks[0].name, "first generation");
  EXPECT_EQ(set.networks[0].timelines.at(2).joinAtMs, 2000u);
  EXPECT_EQ(set.networks[0].timelines.at(3).leaveAtMs, 5000u);
  EXPECT_EQ(set.networks[1].timelines.at(0).rates.at(0).txRate, 600);
  // Errors from a file name it.
  EXPECT_FALSE(loadScenarioSetFile("/nonexistent/x.conf", set, error));
  EXPECT_EQ(error, "/nonexistent/x.conf: cannot be read");
}

}  // namespace
}  // namespace quorrel::sim
