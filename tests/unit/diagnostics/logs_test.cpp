// The device log past 20 and past 50 lines, its name and permissions; the scan log's
// snapshots; printing from a private file; the report against its expected texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "diagnostics/logs.h"
#include "diagnostics/report.h"
#include "diagnostics/report_output.h"
#include "diagnostics_fixture.h"

namespace quorrel::diagnostics {
namespace {

using namespace testing;

unsigned modeOf(const std::string& path) {
  return static_cast<unsigned>(std::filesystem::status(path).permissions());
}

class FakePrinter final : public Printer {
 public:
  std::optional<std::string> name;
  std::string printedText, printedPath;
  unsigned printedMode = 0;
  std::optional<std::string> defaultPrinter() override { return name; }
  bool printFile(const std::string&, const std::string& path, const std::string&) override {
    printedPath = path;
    printedText = fileText(path);
    printedMode = modeOf(path);
    return true;
  }
};

TEST(DeviceLog, KeepsTheNewestWholeEntriesTheScanLogItsSnapshotsAndPrintsAPrivateFile) {
  Scenario s;
  persistence::setDataDirectory(s.state.dir.path());
  persistence::preferences().productName = "../.hidden/Utility";
  const DeviceLog log = programDeviceLog();
  EXPECT_EQ(log.path, s.state.dir.file("_._.hidden_Utility.log"));
  const std::vector<std::uint8_t> key(50, 0xAB);
  const std::string entry = deviceLogEntry(kDeviceLogSetNek, key, kReportTime);
  EXPECT_TRUE(entry.starts_with("Time Mon Dec  7 04:10:55 2026\n\n**SETNEK** ab ab "));
  EXPECT_EQ(entry.size(), 31u + 10u + 3 * 50u + 1u);

  // Old entries of three lines, one line too long; below 20 lines nothing goes.
  const std::pair<std::size_t, std::size_t> sizes[] = {{0, 3}, {19, 22}, {21, 21}, {55, 22}};
  for (const auto& [oldLines, newLines] : sizes) {
    std::string old;
    for (std::size_t i = 0; i < oldLines; ++i)
      old += (i % 3 == 0 ? "Time " + std::to_string(i) : std::string(250, 'x')) + "\n";
    std::ofstream(log.path) << old;
    ASSERT_TRUE(appendDeviceLog(log, kDeviceLogEeprom, {key.data(), 3}, kReportTime));
    const std::vector<std::string> got = lines(fileText(log.path));
    EXPECT_EQ(got.size(), newLines) << oldLines;
    EXPECT_EQ(got.back(), "**EEPROM** ab ab ab");
    EXPECT_EQ(got.front().substr(0, 5), "Time ") << oldLines;
    for (const std::string& line : got) EXPECT_LE(line.size(), kDeviceLogLineBytes);
    EXPECT_EQ(modeOf(log.path), 0600u);
  }
  EXPECT_FALSE(appendDeviceLog(log, 3, key, kReportTime));
  EXPECT_FALSE(appendDeviceLog(DeviceLog{}, 0, key, kReportTime));

  // The scan log: one snapshot per call, owner-only, never written through a link.
  std::ofstream(s.state.dir.file("elsewhere")) << "keep";
  ::symlink(s.state.dir.file("elsewhere").c_str(), scanLogPath().c_str());
  {
    ScanLog planted(scanLogPath());
    writeScanLog(planted, false, kReportTime);
  }
  EXPECT_EQ(fileText(s.state.dir.file("elsewhere")), "keep");
  ::unlink(scanLogPath().c_str());

  ScanLog scan(scanLogPath());
  writeScanLog(scan, true, kReportTime);
  api::interfaceDevices(0).remotes[0].scansLeft = 2;
  writeScanLog(scan, false, kReportTime);
  EXPECT_FALSE(scan.isOpen());
  std::string snapshot =
      "NIC #0:\t0A:11:22:00:00:00\tPresent=1\n"
      "\t02:11:22:00:00:01\t1\t0\n\t00:11:22:00:00:02\t1\t0\n\t00:11:22:00:00:03\t1\t0\n"
      "\t00:11:22:00:00:04\t1\t0\n\t00:11:22:00:00:10\t1\t0\n\n"
      "NIC #1:\t0A:11:22:00:00:01\tPresent=1\n\nNIC #2:\t0A:11:22:00:00:02\tPresent=1\n\n"
      "NIC #3:\t0A:11:22:00:00:03\tPresent=0\nNIC #4:\t00:00:00:00:00:00\tPresent=0\n";
  const std::string first = snapshot;
  snapshot.replace(snapshot.find("\t1\t0\n"), 5, "\t1\t2\n");
  EXPECT_EQ(
      fileText(scanLogPath()),
      "Mon Dec  7 04:10:55 2026\n\tdevice\t\t\tpresent\tmissesTillDrop\n\n" + first + snapshot);
  EXPECT_EQ(modeOf(scanLogPath()), 0600u);

  // Printing goes through a private file, written whole and removed.
  const std::string tmp = s.state.dir.file("tmp");
  std::filesystem::create_directory(tmp);
  ::setenv("TMPDIR", tmp.c_str(), 1);
  FakePrinter printer;
  EXPECT_EQ(printDiagnosticsReport("report\twith passwords", printer), PrintOutcome::NoPrinter);
  ASSERT_EQ(s.state.notice.shown.size(), 1u);
  EXPECT_EQ(s.state.notice.shown[0].text, kInstallPrinterText);
  EXPECT_EQ(s.state.notice.shown[0].caption, "Attention!");
  printer.name = "office";
  EXPECT_EQ(printDiagnosticsReport("report\twith passwords", printer), PrintOutcome::Printed);
  EXPECT_EQ(printer.printedText, "report\twith passwords");
  EXPECT_EQ(printer.printedMode, 0600u);
  EXPECT_TRUE(printer.printedPath.starts_with(tmp + "/"));
  EXPECT_TRUE(std::filesystem::is_empty(tmp));  // nothing left behind
  ::unsetenv("TMPDIR");
}

// The report for a scenario with every family of local adapter and remotes with and without
// passwords, at each diagnostics level, against files of the expected text.

TEST(DiagnosticsReport, MatchesTheExpectedTextAtEachLevelAndTextsStopAtTheirField) {
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
  // Texts without a terminator stop at their field.
  Scenario s;
  persistence::preferences() = persistence::decodePreferences(
      std::vector<std::uint8_t>(persistence::kPreferencesFileSize, 'P'));
  const std::string report = composeDiagnosticsReport(benchHost(), kReportTime);
  EXPECT_NE(report.find("\n" + std::string(63, 'P') + "    v6.0.1.00"), std::string::npos);
}

}  // namespace
}  // namespace quorrel::diagnostics
