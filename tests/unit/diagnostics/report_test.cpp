// The report's text for a scenario with every family of local adapter and remote devices with
// and without passwords, at each diagnostics level, against files of the expected text.
#include <gtest/gtest.h>

#include "diagnostics/report.h"
#include "diagnostics/version_text.h"
#include "diagnostics_fixture.h"

namespace quorrel::diagnostics {
namespace {

using namespace testing;

TEST(DiagnosticsReport, MatchesTheExpectedTextAtEachLevel) {
  const struct {
    int level;
    const char* file;
  } cases[] = {{0, "report-level-1.txt"}, {1, "report-level-1.txt"}, {2, "report-level-2.txt"}};
  for (const auto& c : cases) {
    Scenario s;
    persistence::preferences().diagnosticsLevel = static_cast<std::int16_t>(c.level);
    persistence::preferences().noticeText = "Notice\twith a tab";
    const std::vector<std::string> got = lines(composeDiagnosticsReport(benchHost(), kReportTime));
    const std::vector<std::string> want =
        lines(fileText(QUORREL_EXPECTED_DIR "/" + std::string(c.file)));
    ASSERT_EQ(got.size(), want.size()) << "level " << c.level;
    for (std::size_t i = 0; i < want.size(); ++i)
      EXPECT_EQ(got[i], want[i]) << "level " << c.level << ", line " << i + 1;

    // The lists carry the same rows, eight cells a device, fourteen above level 1.
    const DiagnosticsLists lists = fillDiagnosticsLists(benchHost());
    ASSERT_EQ(lists.remoteRows.size(), 3u);
    for (const auto& row : lists.remoteRows) EXPECT_EQ(row.size(), c.level > 1 ? 14u : 8u);
    EXPECT_EQ(remoteColumns(c.level).size(), c.level > 1 ? 14u : 8u);
    EXPECT_EQ(lists.hostRows.front(), "On NIC #1 MAC = 0A:11:22:00:00:00");
  }
}

TEST(DiagnosticsReport, TextsWithoutTerminatorStopAtTheirField) {
  Scenario s;
  std::vector<std::uint8_t> prefs(persistence::kPreferencesFileSize, 'P');
  persistence::preferences() = persistence::decodePreferences(prefs);
  const std::string report = composeDiagnosticsReport(benchHost(), kReportTime);
  EXPECT_NE(report.find("\n" + std::string(63, 'P') + "    v6.0.1.00"), std::string::npos);
}

TEST(DiagnosticsReport, CellTexts) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  const struct {
    double rate;
    const char* text;
  } rates[] = {{0, "?"}, {5.9, "05"}, {100, "100"}, {-0.0, "?"}};
  for (const auto& r : rates) EXPECT_EQ(rateCellText(r.rate), r.text) << r.rate;
  const struct {
    std::int64_t at;
    bool twelve;
    const char* text;
  } times[] = {{1287664200, true, "Oct 21 12:30PM"},
               {1287705900, true, "Oct 22 12:05AM"},
               {1283528709, true, "Sep  3 03:45PM"},
               {1283528709, false, "Sep  3 15:45"},
               {INT64_MAX, true, "??? ?? ??:????"}};
  for (const auto& t : times) EXPECT_EQ(lastSeenText(t.at, t.twelve), t.text) << t.at;
  EXPECT_EQ(standardTimeText(kReportTime), "Mon Dec  7 04:10:55 2026\n");
  EXPECT_EQ(programVersionText(), "v6.0.1.00, Build 0003");
  EXPECT_EQ(releaseText(), "Released: October 20, 2010");
  EXPECT_EQ(oneLine("a\tb\r\nc"), "a b  c");
}

TEST(DiagnosticsReport, HostPieces) {
  int major = -1, minor = -1, build = -1;
  parseKernelRelease("6.1.0-27-amd64", major, minor, build);
  EXPECT_EQ((std::array{major, minor, build}), (std::array{6, 1, 0}));
  parseKernelRelease("5.15", major, minor, build);
  EXPECT_EQ((std::array{major, minor, build}), (std::array{5, 15, 0}));
  EXPECT_EQ(processorTypeNumber("x86_64"), 8664);
  EXPECT_EQ(processorTypeNumber("i686"), 586);
  EXPECT_EQ(processorTypeNumber("riscv64"), 0);
  EXPECT_EQ(platformLine(benchHost()), "OS Platform: Linux   V6.1, Build 0");
  EXPECT_FALSE(readHostInfo().systemName.empty());
}

}  // namespace
}  // namespace quorrel::diagnostics
