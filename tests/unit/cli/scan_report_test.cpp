// The printed forms of a scan: columns that line up whatever the names, JSON that stays JSON
// whatever the names hold, and the quality per class.
#include "scan_report.h"

#include <gtest/gtest.h>

#include <sstream>

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
  r.remotes = {{"00:B0:52:20:00:02", "Device 2", "HomePlug AV A1x0 Device", 158, "79%"},
               {"00:B0:52:20:00:03", "A much longer name", "HomePlug AV B200 Device", 7, "1%"}};
  return r;
}

TEST(ScanReportTest, TableColumnsLineUp) {
  const std::string text = formatTable({sample()});
  std::istringstream lines(text);
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(lines, line))
    if (line.find("Rate (Mbps)") != std::string::npos || line.rfind("  00:B0:52:20", 0) == 0)
      rows.push_back(line);
  ASSERT_EQ(rows.size(), 3u);
  // Every column starts at the same place in every row.
  for (const char* column : {"Name", "Type", "Rate (Mbps)", "Quality"}) {
    const std::size_t at = rows[0].find(column);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(rows[1][at - 2], ' ');
    EXPECT_EQ(rows[2][at - 2], ' ');
    EXPECT_NE(rows[2][at], ' ');
  }
  EXPECT_NE(text.find("  2 remote devices\n"), std::string::npos);
  EXPECT_NE(text.find("  Network       HomePlugAV\n"), std::string::npos);
}

TEST(ScanReportTest, JsonEscapesEveryName) {
  InterfaceReport r = sample();
  r.remotes[0].name = "quote\" back\\ tab\t nul\x01 high\xC3\xA9";
  InterfaceReport empty;
  empty.name = "eth1";
  empty.mac = "02:00:00:00:00:11";
  const std::string json = formatJson({r, empty});
  EXPECT_NE(json.find(R"("name": "quote\" back\\ tab\u0009 nul\u0001 high\u00c3\u00a9")"),
            std::string::npos)
      << json;
  EXPECT_NE(
      json.find(R"({"name": "eth1", "mac": "02:00:00:00:00:11", "local": null, "remotes": []})"),
      std::string::npos)
      << json;
  EXPECT_NE(json.find(R"("rate": 158, "quality": "79%")"), std::string::npos);
  // Braces and brackets balance outside strings.
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
      continue;
    }
    if (c == '"') inString = true;
    if (c == '{' || c == '[') ++depth;
    if (c == '}' || c == ']') --depth;
    ASSERT_GE(depth, 0);
  }
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(formatJson({}), "{\"interfaces\": []}\n");
}

TEST(ScanReportTest, QualityIsAShareOfTheClassFullRate) {
  EXPECT_EQ(qualityText(100, api::DeviceClass::AvFirstGeneration), "50%");
  EXPECT_EQ(qualityText(250, api::DeviceClass::AvSecondGeneration), "50%");
  EXPECT_EQ(qualityText(85, api::DeviceClass::Turbo), "100%");
  EXPECT_EQ(qualityText(7, api::DeviceClass::Usb), "50%");
  EXPECT_EQ(qualityText(0, api::DeviceClass::HomePlug1), "0%");
}

}  // namespace
}  // namespace quorrel::cli
