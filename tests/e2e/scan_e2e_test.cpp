// The scan over the real libpcap path: adapter-sim answers on the far ends of two veth pairs,
// quorrel-cli scans in the host namespace. One older-family network stands for both (Turbo and
// HomePlug 1.0 share their ethertype and capture path); their replies are decoded in unit tests.
// Then what the scans feed: `quorrel-cli map --json` against four adapters, one silent when
// asked (a Turbo network is refused), and the rate history with a fresh data home.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "e2e/sim_pair_test.h"
#include "support/four_adapters.h"
#include "unit/cli/json_keys.h"

namespace quorrel::e2e {
namespace {

using cli::badJsonKeys;

const char* kTwoGenerations =
    "[network first]\n"
    "[local]\nmac 00:B0:52:10:00:01\nchip 2\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 120 110\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 3\nrate 75\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 5\nrate 30\n"
    "[network second]\n"
    "[local]\nmac 00:B0:52:40:00:01\nchip 4\n"
    "[remote]\nmac 00:B0:52:40:00:42\nchip 4\nrate 410 395\n"
    "[remote]\nmac 00:B0:52:20:00:43\nchip 1\nrate 120\n";

const char* kHomePlug1 =
    "[local]\nmac 00:04:87:30:00:01\nfamily hp1\nnetwork_key 0123456789ABCDEF\n"
    "[remote]\nmac 00:04:87:30:00:02\nfamily hp1\nrate 300\n"
    "[remote]\nmac 00:04:87:30:00:03\nfamily hp1\nrate 1000\n";

const char* kHistoryNetwork =
    "[local]\nmac 00:B0:52:10:00:01\nchip 4\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 4\nrate 410 395\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 4\nrate 120\n";

// One interface of the printed JSON, printed again alone, with the key order kept.
std::string blockOf(const std::string& output, const std::string& interfaceName) {
  const std::size_t start = output.find('{');
  const auto json = nlohmann::ordered_json::parse(
      output.substr(start == std::string::npos ? output.size() : start), nullptr, false);
  if (json.is_discarded() || !json.contains("interfaces")) return {};
  for (const auto& entry : json["interfaces"])
    if (entry.value("name", "") == interfaceName) return entry.dump(2);
  return {};
}

bool lists(const std::string& block, const std::string& mac, const std::string& type, int rate) {
  const auto json = nlohmann::json::parse(block, nullptr, false);
  if (json.is_discarded()) return false;
  for (const auto& remote : json["remotes"])
    if (remote["mac"] == mac) return remote["type"] == type && remote["rate_mbps"] == rate;
  return false;
}

class ScanE2eTest : public SimPairTest {
 protected:
  // `env`: how the program captures (QUORREL_CAPTURE), empty for its own choice.
  std::string scan(int want = 0, const std::string& env = "") {
    return cli("scan --json --cycles 1 --interval 3 --data-dir " + dir, want, env);
  }
  std::string map(const char* scenario, int want) {
    startOnLinks(scenario);
    return cli("map --json --interval 3 --data-dir " + dir, want);
  }
};

// Both capture roads (libpcap in the process, the capture helper) see the same devices.
TEST_F(ScanE2eTest, TwoInterfacesWithBothAvGenerationsThroughBothCaptureRoads) {
  std::string error;
  ASSERT_EQ(pair.addLink(error), 1) << error;
  startOnLinks(kTwoGenerations, 2);
  const std::string json = scan(0, "QUORREL_CAPTURE=pcap");
  const std::string viaHelper = scan(0, "QUORREL_CAPTURE=helper");

  const std::string first = blockOf(json, pair.hostInterface(0));
  ASSERT_FALSE(first.empty()) << json;
  EXPECT_NE(first.find("\"chip\": \"LQA-130\""), std::string::npos) << first;
  EXPECT_NE(first.find("\"mac\": \"00:B0:52:10:00:01\""), std::string::npos) << first;
  // Named from the key in its parameter block: the default key is the public network.
  EXPECT_NE(first.find("\"network\": \"HomePlugAV\""), std::string::npos) << first;
  // Raw AV rates x 200 / 151.
  EXPECT_TRUE(lists(first, "00:B0:52:20:00:02", "HomePlug AV A1x0 Device", 158)) << first;
  EXPECT_TRUE(lists(first, "00:B0:52:20:00:03", "HomePlug AV A1x0 Device", 99)) << first;
  EXPECT_TRUE(lists(first, "00:B0:52:20:00:04", "HomePlug AV A1x0 Device", 39)) << first;
  EXPECT_EQ(first.find("00:B0:52:40:00:42"), std::string::npos) << first;

  const std::string second = blockOf(json, pair.hostInterface(1));
  ASSERT_FALSE(second.empty()) << json;
  EXPECT_NE(second.find("\"chip\": \"LQ-B200\""), std::string::npos) << second;
  EXPECT_NE(second.find("\"network\": \"Unknown Networkname\""), std::string::npos) << second;
  EXPECT_TRUE(lists(second, "00:B0:52:40:00:42", "HomePlug AV B200 Device", 543)) << second;
  EXPECT_TRUE(lists(second, "00:B0:52:20:00:43", "HomePlug AV A1x0 Device", 158)) << second;
  EXPECT_EQ(second.find("00:B0:52:20:00:02"), std::string::npos) << second;

  // The data file keeps the two local devices and the five remotes (its bytes: unit tests).
  EXPECT_EQ(std::filesystem::file_size(dir + "/Quorrel Utility.data"), 131988u + 198u * 7u);
  // The same devices and fields; only when each was last seen may differ by the runs' times.
  const auto withoutTimes = [](const std::string& text) {
    std::string out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
      if (line.find("\"last_seen\"") == std::string::npos) out += line + "\n";
    return out;
  };
  EXPECT_EQ(withoutTimes(viaHelper), withoutTimes(json));
}

// Nothing answers at first: the not-detected message; then a HomePlug 1.0 network, which probe
// finds as the scan does, and a scan stopped by Ctrl-C that prints and keeps what it saw.
TEST_F(ScanE2eTest, NothingAnswersThenAHomePlug1Network) {
  EXPECT_NE(scan(3).find("The HomePlug Adapter was not detected.\nPlease check your computer "
                         "cables."),
            std::string::npos);
  startOnLinks(kHomePlug1, 1);
  const std::string json = scan();
  const std::string block = blockOf(json, pair.hostInterface(0));
  EXPECT_NE(block.find("\"family\": \"HomePlug 1.0\""), std::string::npos) << json;
  EXPECT_NE(block.find("\"network\": \"Unknown Networkname\""), std::string::npos) << block;
  // Raw HomePlug 1.0 rates 300 and 1000; remotes of HomePlug 1.0 start as class 1.
  EXPECT_TRUE(lists(block, "00:04:87:30:00:02", "USB", 8)) << block;
  EXPECT_TRUE(lists(block, "00:04:87:30:00:03", "USB", 27)) << block;
  EXPECT_EQ(badJsonKeys(nlohmann::json::parse(json)), "");

  const auto probed = nlohmann::json::parse(cli("probe --json"), nullptr, false);
  ASSERT_FALSE(probed.is_discarded());
  EXPECT_EQ(probed["interfaces"][0]["local"]["family"], "HomePlug 1.0") << probed;
  EXPECT_EQ(badJsonKeys(probed), "");

  std::filesystem::remove(dir + "/Quorrel Utility.data");
  int status = 0;
  const std::string out = dir + "/out.txt";
  const std::string stopped = runShell(
      "ip netns exec " + pair.hostNamespace() +
          " env --default-signal=INT " QUORREL_CLI_PATH
          " scan --json --cycles 1000 --interval 3 --data-dir " +
          dir + " >" + out + " 2>&1 & " +
          "pid=$!; for i in $(seq 600); do [ $(grep -cE '(^|: )rx ' " + logPath +
          ") -ge 100 ] && break; sleep 0.1; done; kill -INT $pid; wait $pid; echo status $?; cat " +
          out,
      status);
  EXPECT_EQ(stopped.rfind("status 130", 0), 0u) << stopped;
  EXPECT_NE(stopped.find("\"mac\": \"00:04:87:30:00:02\""), std::string::npos) << stopped;
  EXPECT_NE(stopped.find("quorrel-cli scan: interrupted: what the finished scan cycles saw"),
            std::string::npos)
      << stopped;
  EXPECT_TRUE(std::filesystem::exists(dir + "/Quorrel Utility.data"));
}

// A Turbo network is refused; four adapters, one silent when asked, are mapped. Then the rate
// history the scans keep, in the default data folder of the fresh data home.
TEST_F(ScanE2eTest, MapRefusesTurboShowsFourAdaptersOneSilentAndTheHistoryComesBackAsJson) {
  const std::string refused =
      map("[local]\nmac 00:04:87:10:00:01\nfamily turbo\nnetwork_key 0123456789ABCDEF\n", 3);
  EXPECT_NE(refused.find("HomePlug AV networks only"), std::string::npos) << refused;
  const std::string out = map(testing::kFourAdapters, 0);
  const auto json =
      nlohmann::json::parse(out.substr(std::min(out.find('{'), out.size())), nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << out;
  EXPECT_EQ(badJsonKeys(json), "");
  EXPECT_EQ(json["interface"], pair.hostInterface());
  EXPECT_EQ(json["adapters"].size(), 4u);
  EXPECT_EQ(json["adapters"][3]["answered"], false);
  EXPECT_EQ(json["links"], nlohmann::json::parse(R"([
    {"a": "00:B0:52:10:00:01", "b": "00:B0:52:20:00:02", "a_to_b_mbps": 238, "b_to_a_mbps": 225},
    {"a": "00:B0:52:10:00:01", "b": "00:B0:52:20:00:03", "a_to_b_mbps": 158, "b_to_a_mbps": 145},
    {"a": "00:B0:52:20:00:02", "b": "00:B0:52:20:00:03", "a_to_b_mbps": 198, "b_to_a_mbps": 185}
  ])"))
      << out;

  startOnLinks(kHistoryNetwork);
  cli("scan --cycles 2 --interval 3");
  const std::string history = cli("history --json --since 1h");
  const auto samples = nlohmann::json::parse(history, nullptr, false);
  ASSERT_FALSE(samples.is_discarded()) << history;
  EXPECT_EQ(badJsonKeys(samples), "");
  std::map<std::string, int> perDevice;
  for (const auto& s : samples["samples"]) {
    EXPECT_EQ(s["viewer"], "00:B0:52:10:00:01") << s;
    EXPECT_EQ(s["resolution"], "cycle") << s;
    const double expected = s["device"] == "00:B0:52:20:00:02" ? 543 : 159;  // raw x 200 / 151
    EXPECT_NEAR(s["rate_mbps"].get<double>(), expected, 1.0) << s;
    ++perDevice[s["device"].get<std::string>()];
  }
  EXPECT_EQ(perDevice.size(), 2u) << history;

  const std::string one = cli("history 00:B0:52:20:00:03 --csv");
  EXPECT_EQ(one.find("00:B0:52:20:00:02"), std::string::npos) << one;
  EXPECT_NE(one.find("00:B0:52:20:00:03,00:B0:52:10:00:01,"), std::string::npos) << one;

  // 00:03 has left: the data file still lists it as present, the next scan's lists do not.
  startOnLinks(
      "[local]\nmac 00:B0:52:10:00:01\nchip 4\n"
      "[remote]\nmac 00:B0:52:20:00:02\nchip 4\nrate 410 395\n");
  const std::string after = cli("scan --cycles 1 --interval 3");
  EXPECT_NE(after.find("00:B0:52:20:00:02"), std::string::npos) << after;
  EXPECT_EQ(after.find("00:B0:52:20:00:03"), std::string::npos) << after;
}

}  // namespace
}  // namespace quorrel::e2e
