// `quorrel-cli map --json` over the real capture path, adapter-sim on the far end of a veth
// pair answering as four adapters, one silent when asked; a Turbo network is refused.

#include <nlohmann/json.hpp>

#include "e2e/sim_pair_test.h"
#include "support/four_adapters.h"

namespace quorrel::e2e {
namespace {

class MapE2eTest : public SimPairTest {
 protected:
  std::string mapWithCli(const char* scenario, int& status) {
    startOnLinks(scenario);
    return run(inHost(QUORREL_CLI_PATH " map --json --interval 3 --data-dir " + dir), status);
  }
};

TEST_F(MapE2eTest, FourAdaptersOneSilent) {
  int status = 0;
  const std::string out = mapWithCli(testing::kFourAdapters, status);
  ASSERT_EQ(status, 0) << out;
  const auto json =
      nlohmann::json::parse(out.substr(std::min(out.find('{'), out.size())), nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << out;
  EXPECT_EQ(json["interface"], pair.hostInterface());
  EXPECT_EQ(json["adapters"].size(), 4u);
  EXPECT_EQ(json["adapters"][3]["answered"], false);
  EXPECT_EQ(json["links"], nlohmann::json::parse(R"([
    {"a": "00:B0:52:10:00:01", "b": "00:B0:52:20:00:02", "a_to_b_mbps": 238, "b_to_a_mbps": 225},
    {"a": "00:B0:52:10:00:01", "b": "00:B0:52:20:00:03", "a_to_b_mbps": 158, "b_to_a_mbps": 145},
    {"a": "00:B0:52:20:00:02", "b": "00:B0:52:20:00:03", "a_to_b_mbps": 198, "b_to_a_mbps": 185}
  ])"))
      << out;
}

TEST_F(MapE2eTest, TurboNetworkIsRefused) {
  int status = 0;
  const std::string out = mapWithCli(
      "[local]\nmac 00:04:87:10:00:01\nfamily turbo\nnetwork_key 0123456789ABCDEF\n", status);
  EXPECT_EQ(status, 2) << out;
  EXPECT_NE(out.find("HomePlug AV networks only"), std::string::npos) << out;
}

}  // namespace
}  // namespace quorrel::e2e
