// The scan over the real libpcap path: adapter-sim answers on the far ends of two veth pairs,
// quorrel-cli scans in the host namespace. One older-family network stands for both (Turbo and
// HomePlug 1.0 share their ethertype and capture path); their replies are decoded in unit tests.
// Then what the scans feed: `quorrel-cli map --json` against four adapters, one silent when
// asked (a Turbo network is refused), and the rate history with a fresh data home; and network
// names and adds, which those scans list.

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
  EXPECT_TRUE(has(first, "\"chip\": \"LQA-130\""));
  EXPECT_TRUE(has(first, "\"mac\": \"00:B0:52:10:00:01\""));
  // Named from the key in its parameter block: the default key is the public network.
  EXPECT_TRUE(has(first, "\"network\": \"HomePlugAV\""));
  // Raw AV rates x 200 / 151.
  EXPECT_TRUE(lists(first, "00:B0:52:20:00:02", "HomePlug AV A1x0 Device", 158)) << first;
  EXPECT_TRUE(lists(first, "00:B0:52:20:00:03", "HomePlug AV A1x0 Device", 99)) << first;
  EXPECT_TRUE(lists(first, "00:B0:52:20:00:04", "HomePlug AV A1x0 Device", 39)) << first;
  EXPECT_FALSE(has(first, "00:B0:52:40:00:42"));

  const std::string second = blockOf(json, pair.hostInterface(1));
  ASSERT_FALSE(second.empty()) << json;
  EXPECT_TRUE(has(second, "\"chip\": \"LQ-B200\""));
  EXPECT_TRUE(has(second, "\"network\": \"Unknown Networkname\""));
  EXPECT_TRUE(lists(second, "00:B0:52:40:00:42", "HomePlug AV B200 Device", 543)) << second;
  EXPECT_TRUE(lists(second, "00:B0:52:20:00:43", "HomePlug AV A1x0 Device", 158)) << second;
  EXPECT_FALSE(has(second, "00:B0:52:20:00:02"));

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
  EXPECT_TRUE(
      has(scan(3), "The HomePlug Adapter was not detected.\nPlease check your computer cables."));
  startOnLinks(kHomePlug1, 1);
  const std::string json = scan();
  const std::string block = blockOf(json, pair.hostInterface(0));
  EXPECT_TRUE(has(block, "\"family\": \"HomePlug 1.0\""));
  EXPECT_TRUE(has(block, "\"network\": \"Unknown Networkname\""));
  // Raw HomePlug 1.0 rates 300 and 1000; remotes of HomePlug 1.0 start as class 1.
  EXPECT_TRUE(lists(block, "00:04:87:30:00:02", "USB", 8)) << block;
  EXPECT_TRUE(lists(block, "00:04:87:30:00:03", "USB", 27)) << block;
  EXPECT_EQ(badJsonKeys(nlohmann::json::parse(json)), "");

  const auto probed = nlohmann::json::parse(cli("probe --json"), nullptr, false);
  ASSERT_FALSE(probed.is_discarded());
  EXPECT_EQ(probed["interfaces"][0]["local"]["family"], "HomePlug 1.0") << probed;
  EXPECT_EQ(badJsonKeys(probed), "");

  std::filesystem::remove(dir + "/Quorrel Utility.data");
  const std::string stopped =
      interrupted("scan --json --cycles 1000 --interval 3 --data-dir " + dir, 100);
  EXPECT_TRUE(has(stopped, "status 130"));
  EXPECT_TRUE(has(stopped, "\"mac\": \"00:04:87:30:00:02\""));
  EXPECT_TRUE(has(stopped, "quorrel-cli scan: interrupted: what the finished scan cycles saw"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/Quorrel Utility.data"));
}

// A Turbo network is refused; four adapters, one silent when asked, are mapped. Then the rate
// history the scans keep, in the default data folder of the fresh data home.
TEST_F(ScanE2eTest, MapRefusesTurboShowsFourAdaptersOneSilentAndTheHistoryComesBackAsJson) {
  const std::string refused =
      map("[local]\nmac 00:04:87:10:00:01\nfamily turbo\nnetwork_key 0123456789ABCDEF\n", 3);
  EXPECT_TRUE(has(refused, "HomePlug AV networks only"));
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
  EXPECT_FALSE(has(one, "00:B0:52:20:00:02"));
  EXPECT_TRUE(has(one, "00:B0:52:20:00:03,00:B0:52:10:00:01,"));

  // 00:03 has left: the data file still lists it as present, the next scan's lists do not.
  startOnLinks(
      "[local]\nmac 00:B0:52:10:00:01\nchip 4\n"
      "[remote]\nmac 00:B0:52:20:00:02\nchip 4\nrate 410 395\n");
  const std::string after = cli("scan --cycles 1 --interval 3");
  EXPECT_TRUE(has(after, "00:B0:52:20:00:02"));
  EXPECT_FALSE(has(after, "00:B0:52:20:00:03"));
}

// Over the default data home: a device from another network is added under the name given with
// it; then Set All Devices keeps only the devices whose passwords were entered.
TEST_F(ScanE2eTest, AddBringsInADeviceAndSetNetworkKeepsOnlyThoseWithPasswords) {
  startOnLinks(
      "[local]\nmac 00:B0:52:10:00:01\nchip 2\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n"
      "[remote]\nmac 00:B0:52:20:00:02\nchip 2\ndevice_password Alpha-Pass-1\n"
      "[remote]\nmac 00:B0:52:20:00:03\nchip 2\ndevice_password Beta-Pass-22\n"
      "[remote]\nmac 00:B0:52:20:00:04\nchip 2\ndevice_password Gamma-Pass-3\n"
      "[remote]\nmac 00:B0:52:20:00:09\nchip 2\ndevice_password Delta-Pass-4\n"
      "network_key 00112233445566778899AABBCCDDEEFF\n");
  // One cycle: a station the data file remembers is listed only when this scan's lists name it.
  const char* scanOnce = "scan --json --cycles 1 --interval 3";
  const std::string before = cli(scanOnce);
  EXPECT_TRUE(has(before, "00:B0:52:20:00:04"));
  EXPECT_FALSE(has(before, "00:B0:52:20:00:09"));
  cli("add Delta-Pass-4 --name 'Den 100%'");
  cli("add Gamma-Pass-3 --name 'Den 100%'", 2);  // the name of another device
  cli("add nobody-has-it", 1);
  cli("password 00:B0:52:20:00:02 Alpha-Pass-1");
  cli("password 00:b0:52:20:00:03 wrong-one", 1);
  EXPECT_TRUE(
      has(cli("password 00:B0:52:20:00:03 Beta-Pass-22 --json"), "\"result\":\"verified\""));
  // The password of 04 was never entered: it is not tried, and what was tried all joined.
  const std::string set = cli("set-network 'Blue House' --all --json");
  EXPECT_TRUE(has(set, "\"devices\":4,"));  // 02, 03, 09, the local one
  EXPECT_TRUE(has(set, "\"set\":4"));
  EXPECT_TRUE(has(set, "{\"joined\":true,\"local\":false,\"mac\":\"00:B0:52:20:00:03\""));
  EXPECT_FALSE(has(set, "00:B0:52:20:00:04"));
  // As the Privacy page leaves it: the stored list holds no station as present (rate "?").
  std::istringstream report(cli("report"));
  int rows = 0;
  for (std::string line; std::getline(report, line);) {
    if (line.find("\t00:B0:52:20:00:0") == std::string::npos) continue;
    ++rows;
    std::istringstream cells(line);
    std::string cell;
    for (int i = 0; i < 4; ++i) std::getline(cells, cell, '\t');
    EXPECT_EQ(cell, "?") << line;
  }
  EXPECT_EQ(rows, 4);
  const std::string listed = cli(scanOnce);
  EXPECT_TRUE(has(listed, "00:B0:52:20:00:02"));
  EXPECT_TRUE(has(listed, "00:B0:52:20:00:03"));
  EXPECT_FALSE(has(listed, "00:B0:52:20:00:04"));
  EXPECT_TRUE(has(listed, "\"network\": \"Blue House\""));
  // The added device came along, listed under the name given with it.
  const std::size_t at = listed.find("\"mac\": \"00:B0:52:20:00:09\"");
  ASSERT_NE(at, std::string::npos) << listed;
  EXPECT_EQ(listed.find("\"name\": \"Den 100%\"", at), listed.find("\"name\"", at)) << listed;
}

}  // namespace
}  // namespace quorrel::e2e
