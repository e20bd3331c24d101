// The printed forms of a scan: columns that line up whatever the names, JSON that stays JSON
// whatever the names hold, and the quality per class.
#include "scan_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>
#include "cli_args.h"

namespace quorrel::cli {
namespace {

InterfaceReport sample() {
  InterfaceReport r;
  r.name = "eth0";
  r.mac = "02:00:00:00:00:10";
  r.hasLocal = true;
  r.family = "HomePlug AV";
  r.type = "HomePlug AV A1x0 Device";
  r.chip = "LQA-130";
  r.firmware = "LQA-130-FW";
  r.localMac = "00:B0:52:10:00:01";
  r.network = "HomePlugAV";
  r.remotes.assign(2, {"00:B0:52:20:00:02", "Device 2", "HomePlug AV A1x0 Device", 158, "79%", "",
                       "", std::nullopt, false});
  r.remotes[1].mac = "00:B0:52:20:00:03";
  r.remotes[1].name = "A much longer name";
  r.remotes[1].type = "HomePlug AV B200 Device";
  r.remotes[1].rateMbps = 7;
  r.remotes[1].quality = "1%";
  return r;
}

TEST(ScanReportTest, TableColumnsLineUpWithTheQualityPerClassAndJsonKeepsEveryName) {
  const std::string text = formatTable({sample()});
  std::istringstream lines(text);
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(lines, line))
    if (line.find("Rate (Mbps)") != std::string::npos || line.rfind("  00:B0:52:20", 0) == 0)
      rows.push_back(line);
  ASSERT_EQ(rows.size(), 3u);
  for (const char* column : {"Name", "Type", "Rate (Mbps)", "Quality"}) {
    const std::size_t at = rows[0].find(column);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(rows[1][at - 2], ' ');
    EXPECT_EQ(rows[2][at - 2], ' ');
    EXPECT_NE(rows[2][at], ' ');
  }
  EXPECT_NE(text.find("  2 remote devices\n"), std::string::npos);
  EXPECT_NE(text.find("  Network       HomePlugAV\n"), std::string::npos);
  EXPECT_EQ(qualityText(100, api::DeviceClass::AvFirstGeneration), "50%");
  EXPECT_EQ(qualityText(250, api::DeviceClass::AvSecondGeneration), "50%");
  EXPECT_EQ(qualityText(85, api::DeviceClass::Turbo), "100%");
  EXPECT_EQ(qualityText(7, api::DeviceClass::Usb), "50%");
  EXPECT_EQ(qualityText(0, api::DeviceClass::HomePlug1), "0%");

  // JSON keeps every name and never the password.
  InterfaceReport r = sample();
  r.remotes[0].name = "quote\" back\\ tab\t nul\x01 high\xC3\xA9 broken\xC3";
  r.remotes[0].lastSeen = 1287664200;
  r.remotes[0].passwordStored = true;
  InterfaceReport empty;
  empty.name = "eth1";
  empty.mac = "02:00:00:00:00:11";
  const std::string jsonText = formatJson({r, empty});
  const nlohmann::json json = nlohmann::json::parse(jsonText);
  const nlohmann::json& remote = json["interfaces"][0]["remotes"][0];
  EXPECT_EQ(remote["name"], "quote\" back\\ tab\t nul\x01 high\xC3\xA9 broken\xEF\xBF\xBD");
  EXPECT_EQ(remote["lastSeen"], "2010-10-21T12:30:00Z");
  EXPECT_EQ(remote["passwordStored"], true);
  EXPECT_EQ(remote["rate"], 158);
  EXPECT_TRUE(json["interfaces"][0]["remotes"][1]["lastSeen"].is_null());
  EXPECT_EQ(json["interfaces"][1],
            nlohmann::json::parse(
                R"({"name": "eth1", "mac": "02:00:00:00:00:11", "local": null, "remotes": []})"));
  EXPECT_EQ(json["interfaces"][0]["local"]["network"], "HomePlugAV");
  EXPECT_EQ(jsonText.find("password\""), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(formatJson({})), nlohmann::json::parse(R"({"interfaces": []})"));
}

TEST(ScanReportTest, OptionsHelpAndBadInput) {
  const struct {
    std::vector<const char*> words;
    std::optional<int> code;
  } cases[] = {{{"--help"}, 0}, {{"--out"}, 2}, {{"--bogus"}, 2}, {{"--out", "f.txt"}, {}}};
  for (const auto& c : cases) {
    CLI::App app{"test"};
    std::string out;
    app.add_option("--out", out);
    std::vector<char*> words;
    for (const char* w : c.words) words.push_back(const_cast<char*>(w));
    EXPECT_EQ(parseArguments(app, Arguments(words.data(), words.size())), c.code) << c.words[0];
  }
}

}  // namespace
}  // namespace quorrel::cli
