// `quorrel-cli map --json` over the real capture path: adapter-sim answers on the far end of a
// veth pair, every station with its own view, one station silent when asked.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "e2e/sim_pair_test.h"

namespace quorrel::e2e {
namespace {

const char* kFourAdapters =
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 180 170\nlink 00:B0:52:20:00:03 150 140\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 3\nrate 120 110\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 2\nrate 90 80\nnetwork_info no\n";

const char* kTurbo =
    "[local]\nmac 00:04:87:10:00:01\nfamily turbo\nnetwork_key 0123456789ABCDEF\n"
    "[remote]\nmac 00:04:87:20:00:02\nfamily turbo\nrate 2812\n";

class MapE2eTest : public SimPairTest {
 protected:
  std::string mapWithCli(const char* scenario, int& status) {
    const std::string path = dir + "/scenario.conf";
    std::ofstream(path) << scenario;
    std::string error;
    EXPECT_TRUE(sim.start(pair, path, logPath, error)) << error;
    return run(inHost(QUORREL_CLI_PATH " map --json --interval 3 --data-dir " + dir), status);
  }
};

TEST_F(MapE2eTest, FourAdaptersOneSilent) {
  int status = 0;
  const std::string out = mapWithCli(kFourAdapters, status);
  ASSERT_EQ(status, 0) << out;
  const auto json =
      nlohmann::json::parse(out.substr(std::min(out.find('{'), out.size())), nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << out;
  EXPECT_EQ(json["interface"], pair.hostInterface());
  std::map<std::string, bool> answered;
  for (const auto& a : json["adapters"]) answered[a["mac"]] = a["answered"];
  const std::map<std::string, bool> expectedNodes{{"00:B0:52:10:00:01", true},
                                                  {"00:B0:52:20:00:02", true},
                                                  {"00:B0:52:20:00:03", true},
                                                  {"00:B0:52:20:00:04", false}};
  EXPECT_EQ(answered, expectedNodes) << out;
  // Each end's raw rate as Mbps: 180 238, 170 225, 120 158, 110 145, 150 198, 140 185.
  std::map<std::pair<std::string, std::string>, std::pair<int, int>> links;
  for (const auto& l : json["links"])
    links[{l["a"], l["b"]}] = {l["a_to_b_mbps"], l["b_to_a_mbps"]};
  const decltype(links) expectedLinks{{{"00:B0:52:10:00:01", "00:B0:52:20:00:02"}, {238, 225}},
                                      {{"00:B0:52:10:00:01", "00:B0:52:20:00:03"}, {158, 145}},
                                      {{"00:B0:52:20:00:02", "00:B0:52:20:00:03"}, {198, 185}}};
  EXPECT_EQ(links, expectedLinks) << out;
}

TEST_F(MapE2eTest, TurboNetworkIsRefused) {
  int status = 0;
  const std::string out = mapWithCli(kTurbo, status);
  EXPECT_EQ(status, 2) << out;
  EXPECT_NE(out.find("HomePlug AV networks only"), std::string::npos) << out;
}

}  // namespace
}  // namespace quorrel::e2e
