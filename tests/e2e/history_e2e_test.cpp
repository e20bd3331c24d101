// The rate history end to end: quorrel-cli scans adapter-sim over a veth pair with a fresh
// data home, and `quorrel-cli history --json` then shows what the local adapter saw.
#include <nlohmann/json.hpp>

#include "e2e/sim_pair_test.h"

namespace quorrel::e2e {
namespace {

const char* kNetwork =
    "[local]\nmac 00:B0:52:10:00:01\nchip 4\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 4\nrate 410 395\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 4\nrate 120\n";

class HistoryE2eTest : public SimPairTest {
 protected:
  std::string cli(const std::string& args, int& status) {
    return run(
        inHost("env XDG_DATA_HOME=" + dir + " HOME=" + dir + " " QUORREL_CLI_PATH " " + args),
        status);
  }
};

TEST_F(HistoryE2eTest, ScannedRatesComeBackAsJson) {
  startOnLinks(kNetwork);
  int status = 0;
  const std::string scanned = cli("scan --cycles 2 --interval 3", status);
  ASSERT_EQ(status, 0) << scanned;

  const std::string out = cli("history --json --since 1h", status);
  ASSERT_EQ(status, 0) << out;
  const auto json = nlohmann::json::parse(out, nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << out;
  std::map<std::string, int> perDevice;
  for (const auto& s : json["samples"]) {
    EXPECT_EQ(s["viewer"], "00:B0:52:10:00:01") << s;
    EXPECT_EQ(s["resolution"], "cycle") << s;
    const double expected = s["device"] == "00:B0:52:20:00:02" ? 543 : 159;  // raw x 200 / 151
    EXPECT_NEAR(s["mbps"].get<double>(), expected, 1.0) << s;
    ++perDevice[s["device"].get<std::string>()];
  }
  EXPECT_EQ(perDevice.size(), 2u) << out;

  const std::string one = cli("history 00:B0:52:20:00:03 --csv", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(one.find("00:B0:52:20:00:02"), std::string::npos) << one;
  EXPECT_NE(one.find("00:B0:52:20:00:03,00:B0:52:10:00:01,"), std::string::npos) << one;
}

}  // namespace
}  // namespace quorrel::e2e
