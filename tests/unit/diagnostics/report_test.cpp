// The report's text for a scenario with every family of local adapter and remote devices with
// and without passwords, at each diagnostics level, against files of the expected text.
#include <gtest/gtest.h>

#include "diagnostics/report.h"
#include "diagnostics_fixture.h"

namespace quorrel::diagnostics {
namespace {

using namespace testing;

TEST(DiagnosticsReport, MatchesTheExpectedTextAtEachLevel) {
  for (const int level : {0, 1, 2}) {
    Scenario s;
    persistence::preferences().diagnosticsLevel = static_cast<std::int16_t>(level);
    persistence::preferences().noticeText = "Notice\twith a tab";
    const auto got = lines(composeDiagnosticsReport(benchHost(), kReportTime));
    const auto want = lines(fileText(QUORREL_EXPECTED_DIR "/report-level-" +
                                     std::to_string(level > 1 ? 2 : 1) + ".txt"));
    ASSERT_EQ(got.size(), want.size()) << "level " << level;
    for (std::size_t i = 0; i < want.size(); ++i)
      EXPECT_EQ(got[i], want[i]) << "level " << level << ", line " << i + 1;
    // The lists get the same rows: eight cells a device, fourteen above level 1.
    const DiagnosticsLists lists = fillDiagnosticsLists(benchHost());
    ASSERT_EQ(lists.remoteRows.size(), 3u);
    for (const auto& row : lists.remoteRows) EXPECT_EQ(row.size(), level > 1 ? 14u : 8u);
    EXPECT_EQ(remoteColumns(level).size(), level > 1 ? 14u : 8u);
    EXPECT_EQ(lists.hostRows.front(), "On NIC #1 MAC = 0A:11:22:00:00:00");
  }
  // What no expected report holds.
  EXPECT_EQ(rateCellText(100), "100");
  EXPECT_EQ(lastSeenText(1283528709, false), "Sep  3 15:45");
  EXPECT_EQ(lastSeenText(INT64_MAX, true), "??? ?? ??:????");
  EXPECT_FALSE(readHostInfo().systemName.empty());
}

TEST(DiagnosticsReport, TextsWithoutTerminatorStopAtTheirField) {
  Scenario s;
  persistence::preferences() = persistence::decodePreferences(
      std::vector<std::uint8_t>(persistence::kPreferencesFileSize, 'P'));
  const std::string report = composeDiagnosticsReport(benchHost(), kReportTime);
  EXPECT_NE(report.find("\n" + std::string(63, 'P') + "    v6.0.1.00"), std::string::npos);
}

}  // namespace
}  // namespace quorrel::diagnostics
