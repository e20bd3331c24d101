// The printed forms of a scan: columns that line up whatever the names, JSON that stays JSON
// whatever the names hold, and the quality per class.
#include "scan_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>

#include "cli_args.h"
#include "json_keys.h"

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
  r.remotes.assign(2,
                   {"00:B0:52:20:00:02",
                    "K\xC3\xBC"
                    "che S\xC3\xBC"
                    "d",
                    "HomePlug AV A1x0 Device", 158, 79, "Very Good", "", "", std::nullopt, false});
  r.remotes[1].mac = "00:B0:52:20:00:03";
  r.remotes[1].name = "A much longer name";
  r.remotes[1].type = "HomePlug AV B200 Device";
  r.remotes[1].rateMbps = 7;
  r.remotes[1].qualityPercent = 1;
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
  // Columns line up on the screen: "Küche Süd" is nine columns wide in eleven bytes.
  for (const char* column : {"Name", "Type", "Rate (Mbps)", "Quality"}) {
    const std::size_t at = rows[0].find(column);
    ASSERT_NE(at, std::string::npos);
    for (const std::string& row : {rows[1], rows[2]}) {
      std::size_t bytes = 0;
      while (bytes < row.size() && displayWidth(row.substr(0, bytes)) < at) ++bytes;
      EXPECT_EQ(row[bytes - 2], ' ') << row;
      EXPECT_NE(row[bytes], ' ') << row;
    }
  }
  const struct {
    const char* text;
    std::size_t width, characters;
  } widths[] = {{"Den", 3, 3},
                {"K\xC3\xBC"
                 "che S\xC3\xBC"
                 "d",
                 9, 9},
                {"\xE6\x97\xA5\xE6\x9C\xAC", 4, 2},  // two wide CJK characters
                {"e\xCC\x81", 1, 2},                 // e and a combining accent
                {"broken\xC3", 7, 7}};
  for (const auto& w : widths) {
    EXPECT_EQ(displayWidth(w.text), w.width) << w.text;
    EXPECT_EQ(characterCount(w.text), w.characters) << w.text;
  }
  EXPECT_NE(text.find("  2 remote devices\n"), std::string::npos);
  EXPECT_NE(text.find("  Network       HomePlugAV\n"), std::string::npos);
  EXPECT_EQ(qualityPercent(100, api::DeviceClass::AvFirstGeneration), 50);
  EXPECT_EQ(qualityPercent(250, api::DeviceClass::AvSecondGeneration), 50);
  EXPECT_EQ(qualityPercent(85, api::DeviceClass::Turbo), 100);
  EXPECT_EQ(qualityPercent(170, api::DeviceClass::Turbo), 100);  // above full scale: full
  EXPECT_EQ(qualityPercent(7, api::DeviceClass::Usb), 50);
  EXPECT_EQ(qualityPercent(0, api::DeviceClass::HomePlug1), 0);

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
  EXPECT_EQ(remote["last_seen"], "2010-10-21T12:30:00Z");
  EXPECT_EQ(remote["password_stored"], true);
  EXPECT_EQ(remote["rate_mbps"], 158);
  EXPECT_EQ(remote["quality_percent"], 79);
  EXPECT_EQ(remote["quality"], "Very Good");
  EXPECT_TRUE(json["interfaces"][0]["remotes"][1]["last_seen"].is_null());
  EXPECT_EQ(badJsonKeys(json), "");
  EXPECT_EQ(json["interfaces"][1],
            nlohmann::json::parse(
                R"({"name": "eth1", "mac": "02:00:00:00:00:11", "local": null, "remotes": []})"));
  EXPECT_EQ(json["interfaces"][0]["local"]["network"], "HomePlugAV");
  EXPECT_EQ(jsonText.find("password\""), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(formatJson({})), nlohmann::json::parse(R"({"interfaces": []})"));
}

}  // namespace
}  // namespace quorrel::cli
