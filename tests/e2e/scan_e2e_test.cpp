// The scan over the real libpcap path: adapter-sim answers on the far ends of two veth pairs,
// quorrel-cli scans in the host namespace. One older-family network stands for both (Turbo and
// HomePlug 1.0 share their ethertype and capture path); their replies are decoded in unit tests.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "e2e/sim_pair_test.h"

namespace quorrel::e2e {
namespace {

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
    if (remote["mac"] == mac) return remote["type"] == type && remote["rate"] == rate;
  return false;
}

class ScanE2eTest : public SimPairTest {
 protected:
  // `capture`: how the program captures (QUORREL_CAPTURE), empty for its own choice.
  std::string scanWithCli(int& status, const std::string& capture = "") {
    const std::string env = capture.empty() ? "" : "env QUORREL_CAPTURE=" + capture + " ";
    return run(
        inHost(env + QUORREL_CLI_PATH " scan --json --cycles 1 --interval 3 --data-dir " + dir),
        status);
  }
};

// Both capture roads (libpcap in the process, the capture helper) see the same devices.
TEST_F(ScanE2eTest, TwoInterfacesWithBothAvGenerationsThroughBothCaptureRoads) {
  std::string error;
  ASSERT_EQ(pair.addLink(error), 1) << error;
  startOnLinks(kTwoGenerations, 2);
  int status = 0, helperStatus = 0;
  const std::string json = scanWithCli(status, "pcap");
  ASSERT_EQ(status, 0) << json;
  const std::string viaHelper = scanWithCli(helperStatus, "helper");
  ASSERT_EQ(helperStatus, 0) << viaHelper;

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
      if (line.find("\"lastSeen\"") == std::string::npos) out += line + "\n";
    return out;
  };
  EXPECT_EQ(withoutTimes(viaHelper), withoutTimes(json));
}

TEST_F(ScanE2eTest, HomePlug1Network) {
  startOnLinks(kHomePlug1, 1);
  int status = 0;
  const std::string json = scanWithCli(status);
  ASSERT_EQ(status, 0) << json;
  const std::string block = blockOf(json, pair.hostInterface(0));
  EXPECT_NE(block.find("\"family\": \"HomePlug 1.0\""), std::string::npos) << json;
  EXPECT_NE(block.find("\"network\": \"Unknown Networkname\""), std::string::npos) << block;
  // Raw HomePlug 1.0 rates 300 and 1000; remotes of HomePlug 1.0 start as class 1.
  EXPECT_TRUE(lists(block, "00:04:87:30:00:02", "USB", 8)) << block;
  EXPECT_TRUE(lists(block, "00:04:87:30:00:03", "USB", 27)) << block;
}

TEST_F(ScanE2eTest, NothingAnswersGivesTheNotDetectedMessage) {
  int status = 0;
  const std::string out = scanWithCli(status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("The HomePlug Adapter was not detected.\nPlease check your computer cables."),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace quorrel::e2e
