// The Diagnostics page's Delete, Save and autoscan hold, and the About page's texts, without
// widgets. The About page's AutoScan box: the widget test clicks it.
#include <gtest/gtest.h>

#include "diagnostics_fixture.h"
#include "ui/presentation/about_page_text.h"
#include "ui/presentation/diagnostics_page_controller.h"

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

  // The About page's Readme and web link.
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
