// The device and scan logs, printing from a private file, the report's expected texts, and the
// Diagnostics and About pages without widgets, over a device table with a local adapter of each
// family and remotes with and without passwords, a fixed computer and the UTC time zone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "brantleapi/turbo_state.h"
#include "diagnostics/host_info.h"
#include "diagnostics/logs.h"
#include "diagnostics/report.h"
#include "diagnostics/report_output.h"
#include "support/desktop_fixture.h"
#include "ui/presentation/about_page_text.h"
#include "ui/presentation/diagnostics_page_controller.h"

namespace quorrel::diagnostics::testing {

inline constexpr std::time_t kReportTime = 1796616655;  // Mon Dec  7 04:10:55 2026 UTC

inline MacAddress at(std::uint8_t first, std::uint8_t last) {
  return {first, 0x11, 0x22, 0x00, 0x00, last};
}
inline HostInfo benchHost() {
  return {"bench-pc", "tester", 8664, "Linux", 6, 1, 0};
}

struct Scenario {
  Scenario() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    brantleapi::resetTurboState();
    persistence::vendorTable() = persistence::decodeVendorList("021122\tAcme_Labs\n");
    transport::interfaceTable().interfaceCount = 5;
    const api::DeviceClass classes[] = {api::DeviceClass::AvSecondGeneration,
                                        api::DeviceClass::Turbo, api::DeviceClass::HomePlug1};
    for (std::uint8_t i = 0; i < 4; ++i) {
      api::InterfaceDevices& d = api::interfaceDevices(i);
      d.interfaceMac = at(0x0A, i);
      if (i == 3) continue;  // an interface without an adapter; the fifth has no address
      d.localPresent = true;
      d.localClass = classes[i];
      d.localMac = at(0x00, static_cast<std::uint8_t>(0x10 + i));
      d.localNetworkName = i == 0 ? "HomePlugAV" : "Private\tnet";
      d.rateStats = {2, 1, 100, 80, 150, false};
    }
    api::interfaceDevices(0).localFirmware = "AV-3.3.6-12";
    api::interfaceState(0).framesRead = 12;
    api::interfaceState(0).bytesRead = 5000;
    brantleapi::TurboState& t = brantleapi::turboState();
    t.localTurboVersion = "1.7.2";
    t.localTurboFirmware = "T1 2008";
    t.localTurboVendorText1 = "Acme";
    t.localTurboVendorText2 = "PowerLink";
    // Named with a password at 12:30; unnamed at 00:05; a tab in the name at 15:45; one never
    // named; the local device itself.
    remote(0, at(0x02, 1), api::DeviceClass::AvFirstGeneration, 5.9, "Kitchen",
           "ABCD-EFGH-IJKL-MNOP", 1287664200);
    remote(1, at(0x00, 2), api::DeviceClass::Turbo, 0, "Device 2", "", 1287705900);
    remote(2, at(0x00, 3), api::DeviceClass::HomePlug1, 14, "Bad\tName", "", 1283528709);
    remote(3, at(0x00, 4), api::DeviceClass::AvFirstGeneration, 50, nullptr, "", 0);
    remote(4, at(0x00, 0x10), api::DeviceClass::AvFirstGeneration, 50, "Local", "", 0);
    api::RemoteDevice& av = api::interfaceDevices(0).remotes[0];
    av.firmware = "AV-3.1";
    av.timesSeen = 7;
    av.rateStats.highestRate = 99;
    api::RemoteDevice& turbo = api::interfaceDevices(0).remotes[1];
    turbo.vendorText1 = "Acme";
    turbo.vendorText2 = "Turbo\nX";
    turbo.firmware = "1.7";
  }
  static void remote(int slot, const MacAddress& mac, api::DeviceClass c, double rate,
                     const char* name, const char* password, std::int64_t lastSeen) {
    api::RemoteDevice& e = api::interfaceDevices(0).remotes[static_cast<std::size_t>(slot)];
    e.inUse = true;
    e.mac = mac;
    e.deviceClass = c;
    e.rateStats.currentRate = rate;
    if (name == nullptr) return;
    persistence::KnownDevice* k = persistence::knownAt(persistence::appendKnownDevice(mac, name));
    k->password = password;
    k->networkName = "HomePlugAV";
    k->lastSeen = lastSeen;
  }
  ui::testing::DesktopState state;
};

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

inline std::string fileText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

}  // namespace quorrel::diagnostics::testing

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
  EXPECT_EQ((std::tuple{s.state.notice.shown[0].text, s.state.notice.shown[0].caption}),
            (std::tuple{std::string(kInstallPrinterText), "Attention!"}));
  printer.name = "office";
  EXPECT_EQ(printDiagnosticsReport("report\twith passwords", printer), PrintOutcome::Printed);
  EXPECT_EQ((std::tuple{printer.printedText, printer.printedMode,
                        printer.printedPath.starts_with(tmp + "/")}),
            (std::tuple{"report\twith passwords", 0600u, true}));
  EXPECT_TRUE(std::filesystem::is_empty(tmp));  // nothing left behind
  ::unsetenv("TMPDIR");
}

// Every family of local adapter, remotes with and without passwords, at each level.
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

namespace quorrel::ui {
namespace {

using diagnostics::testing::at;
using platform::NoticeAnswer;

class RecordingPage final : public DiagnosticsPageView {
 public:
  void setupDiagnosticsColumns(const diagnostics::ReportColumn&,
                               const std::vector<diagnostics::ReportColumn>&) override {}
  void showLists(const diagnostics::DiagnosticsLists& l) override { lists = l; }
  std::optional<std::string> selectedMac() const override { return selected; }
  std::optional<std::string> chooseReportFile() override { return reportFile; }
  bool listed(const MacAddress& mac) const {
    for (const auto& row : lists.remoteRows)
      if (row[1] == formatMac(mac)) return true;
    return false;
  }
  diagnostics::DiagnosticsLists lists;
  std::optional<std::string> selected, reportFile;
};

struct PageHarness {
  diagnostics::testing::Scenario scenario;
  testing::FakeScan scan;
  RecordingPage view;
  DiagnosticsPageController page{view, scan, diagnostics::systemPrinter()};
  PageHarness() {
    persistence::setDataDirectory(scenario.state.dir.path());
    page.initialise();
    page.pageEntered();
  }
};

TEST(DiagnosticsPage, DeleteAsksOnlyForADeviceWithAPassword) {
  const std::tuple<MacAddress, std::vector<NoticeAnswer>, std::size_t, bool> cases[] = {
      {at(0x00, 2), {}, 0, true},
      {at(0x02, 1), {NoticeAnswer::No}, 1, false},
      {at(0x02, 1), {NoticeAnswer::Yes}, 1, true}};
  for (const auto& [mac, answers, boxes, removed] : cases) {
    PageHarness h;
    EXPECT_FALSE(h.scan.autoscanOn);  // held while the page is shown
    ASSERT_TRUE(h.view.listed(mac));
    h.scenario.state.notice.scriptAnswers(answers);
    h.view.selected = formatMac(mac);
    h.page.deleteClicked();
    ASSERT_EQ(h.scenario.state.notice.shown.size(), boxes);
    if (boxes > 0) {
      EXPECT_EQ(h.scenario.state.notice.shown[0].text,
                "A Password for this device has been entered. \nAre you sure you want to "
                "delete it?");
    }
    EXPECT_EQ(h.view.listed(mac), !removed);
    EXPECT_EQ(api::FindRemote(mac) == nullptr, removed);
    // The data file holds what the table holds.
    persistence::resetKnownDevices();
    persistence::LoadDeviceData();
    EXPECT_EQ(persistence::FindKnownByMac(mac) == 0, removed);
    h.page.pageLeft();
    EXPECT_TRUE(h.scan.autoscanOn);
  }
  // The last device deleted leaves an empty file, not the one before it.
  PageHarness h;
  h.scenario.state.notice.scriptAnswers({NoticeAnswer::Yes});
  while (persistence::knownDevices().knownCount > 0) {
    h.view.selected = formatMac(persistence::knownAt(1)->mac);
    h.page.deleteClicked();
  }
  EXPECT_EQ(persistence::LoadDeviceData(), persistence::LoadOutcome::Loaded);
  EXPECT_EQ(persistence::knownDevices().knownCount, 0);
}

TEST(DiagnosticsPage, DeleteWithoutSelectionSaveAndTheAboutPageTexts) {
  PageHarness h;
  h.page.deleteClicked();
  ASSERT_EQ(h.scenario.state.notice.shown.size(), 1u);
  EXPECT_EQ(h.scenario.state.notice.shown[0].text,
            "Please select a device first by clicking on it.");
  EXPECT_TRUE(std::filesystem::exists(persistence::dataFilePath()));  // saved all the same
  h.page.saveClicked();                                               // cancelled: nothing
  h.view.reportFile = h.scenario.state.dir.file("r.TXT");
  h.page.saveClicked();
  const std::string text = diagnostics::testing::fileText(*h.view.reportFile);
  EXPECT_TRUE(text.starts_with("Diagnostics Report:\t\t\t\t\t"));
  EXPECT_NE(text.find("ABCD-EFGH-IJKL-MNOP"), std::string::npos);
  EXPECT_EQ(std::filesystem::status(*h.view.reportFile).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  const auto& dir = h.scenario.state.dir;
  EXPECT_EQ(readmeText(dir.path()),
            "Readme.txt file is missing. The QRU may not have been properly installed. For "
            "further information on the packet capture library, see https://www.tcpdump.org/.");
  std::ofstream(dir.file("Readme.txt")) << "line one\nline two\n";
  EXPECT_EQ(readmeText(dir.path()), "line one\nline two\n");
  for (const char* opened : {"https://www.velmora.example/", "HTTP://x.example"})
    EXPECT_TRUE(webLinkTarget(opened)) << opened;
  for (const char* refused : {"http://", "file:///etc/passwd", "calc.exe",
                              "https://a.example/ & rm -rf ~", "javascript:alert(1)"})
    EXPECT_FALSE(webLinkTarget(refused)) << refused;
}

}  // namespace
}  // namespace quorrel::ui
