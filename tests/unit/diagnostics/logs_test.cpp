// The device log past 20 and past 50 lines, its name and permissions; the scan log's
// snapshots; printing through a stand-in print system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "diagnostics/logs.h"
#include "diagnostics/report_output.h"
#include "diagnostics_fixture.h"

namespace quorrel::diagnostics {
namespace {

using namespace testing;

mode_t modeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST(DeviceLog, KeepsTheNewestWholeEntriesWithinTwentyLines) {
  Scenario s;
  persistence::setDataDirectory(s.state.dir.path());
  persistence::preferences().productName = "../.hidden/Utility";
  const DeviceLog log = programDeviceLog();
  EXPECT_EQ(log.path, s.state.dir.file("_._.hidden_Utility.log"));
  const std::vector<std::uint8_t> key(50, 0xAB);
  const std::string entry = deviceLogEntry(kDeviceLogSetNek, key, kReportTime);
  EXPECT_EQ(
      entry, "Time Mon Dec  7 04:10:55 2026\n\n**SETNEK**" + [&] {
        std::string hex;
        for (int i = 0; i < 50; ++i) hex += " ab";
        return hex;
      }() + "\n");

  for (const std::size_t oldLines : {0u, 19u, 21u, 55u}) {
    std::string old;
    for (std::size_t i = 0; i < oldLines; ++i)
      old += (i % 3 == 0 ? "Time old " + std::to_string(i) : std::string(250, 'x')) + "\n";
    ::unlink(log.path.c_str());
    if (oldLines > 0) std::ofstream(log.path) << old;
    ASSERT_TRUE(appendDeviceLog(log, kDeviceLogEeprom, {key.data(), 3}, kReportTime));
    const std::vector<std::string> got = lines(fileText(log.path));
    EXPECT_LE(got.size(), kDeviceLogMaxLines - 1 + 3) << oldLines;
    EXPECT_EQ(got.back(), "**EEPROM** ab ab ab");
    EXPECT_TRUE(got.front().starts_with("Time ")) << oldLines;
    for (const std::string& line : got) EXPECT_LE(line.size(), kDeviceLogLineBytes);
    // Below twenty lines nothing old goes.
    if (oldLines == 19) {
      EXPECT_EQ(got.front(), "Time old 0");
      EXPECT_EQ(got.size(), 22u);
    }
    EXPECT_EQ(modeOf(log.path), 0600u);
  }
  EXPECT_FALSE(appendDeviceLog(log, 3, key, kReportTime));
  EXPECT_FALSE(appendDeviceLog(DeviceLog{}, 0, key, kReportTime));
}

TEST(ScanLog, OneSnapshotPerCallOwnerOnlyNeverThroughALink) {
  Scenario s;
  persistence::setDataDirectory(s.state.dir.path());
  const std::string target = s.state.dir.file("elsewhere");
  std::ofstream(target) << "keep";
  ::symlink(target.c_str(), scanLogPath().c_str());
  {
    ScanLog planted(scanLogPath());
    writeScanLog(planted, false, kReportTime);
    EXPECT_EQ(fileText(target), "keep");
  }
  ::unlink(scanLogPath().c_str());
  ScanLog log(scanLogPath());
  writeScanLog(log, true, kReportTime);
  api::interfaceDevices(0).remotes[0].scansLeft = 2;
  writeScanLog(log, true, kReportTime);
  EXPECT_TRUE(log.isOpen());
  log.close();
  const std::string text = fileText(scanLogPath());
  const std::string snapshot1 =
      "NIC #0:\t0A:11:22:00:00:00\tPresent=1\n"
      "\t02:11:22:00:00:01\t1\t0\n\t00:11:22:00:00:02\t1\t0\n\t00:11:22:00:00:03\t1\t0\n"
      "\t00:11:22:00:00:04\t1\t0\n\t00:11:22:00:00:10\t1\t0\n\n"
      "NIC #1:\t0A:11:22:00:00:01\tPresent=1\n\n"
      "NIC #2:\t0A:11:22:00:00:02\tPresent=1\n\n"
      "NIC #3:\t0A:11:22:00:00:03\tPresent=0\n"
      "NIC #4:\t00:00:00:00:00:00\tPresent=0\n";
  std::string snapshot2 = snapshot1;
  snapshot2.replace(snapshot2.find("\t1\t0\n"), 5, "\t1\t2\n");
  EXPECT_EQ(text, "Mon Dec  7 04:10:55 2026\n\tdevice\t\t\tpresent\tmissesTillDrop\n\n" +
                      snapshot1 + snapshot2);
  EXPECT_EQ(modeOf(scanLogPath()), 0600u);
  EXPECT_FALSE(scanLogWanted(19));
  EXPECT_TRUE(scanLogWanted(20));
}

class FakePrinter final : public Printer {
 public:
  std::optional<std::string> name;
  std::string printedText, printedPath;
  mode_t printedMode = 0;
  std::optional<std::string> defaultPrinter() override { return name; }
  bool printFile(const std::string& printer, const std::string& path,
                 const std::string& title) override {
    EXPECT_EQ(printer, *name);
    EXPECT_EQ(title, kPrintJobTitle);
    printedPath = path;
    printedText = fileText(path);
    printedMode = modeOf(path);
    return true;
  }
};

TEST(PrintReport, WholeReportFromAPrivateFileThatIsRemovedAfterwards) {
  Scenario s;
  ::setenv("TMPDIR", s.state.dir.path().c_str(), 1);
  FakePrinter printer;
  EXPECT_EQ(printDiagnosticsReport("report\twith all passwords", printer), PrintOutcome::NoPrinter);
  ASSERT_EQ(s.state.notice.shown.size(), 1u);
  EXPECT_EQ(s.state.notice.shown[0].text, kInstallPrinterText);
  EXPECT_EQ(s.state.notice.shown[0].caption, "Attention!");
  EXPECT_EQ(s.state.notice.shown[0].icon, platform::NoticeIcon::Warning);

  printer.name = "office";
  EXPECT_EQ(printDiagnosticsReport("report\twith all passwords", printer), PrintOutcome::Printed);
  EXPECT_EQ(printer.printedText, "report\twith all passwords");
  EXPECT_EQ(printer.printedMode, 0600u);
  EXPECT_TRUE(printer.printedPath.starts_with(s.state.dir.path() + "/"));
  EXPECT_TRUE(std::filesystem::is_empty(s.state.dir.path()));  // nothing left behind
  ::unsetenv("TMPDIR");
}

TEST(SaveReport, OwnerOnlyAndWholeOrNotAtAll) {
  Scenario s;
  const std::string path = s.state.dir.file("report.TXT");
  EXPECT_TRUE(writeDiagnosticsReport(path, "Diagnostics Report: \xC3\xBC"));
  EXPECT_EQ(fileText(path), "Diagnostics Report: \xC3\xBC");
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_FALSE(writeDiagnosticsReport(s.state.dir.file("missing/report.TXT"), "x"));
}

}  // namespace
}  // namespace quorrel::diagnostics
