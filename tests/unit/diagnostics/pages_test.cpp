// The Diagnostics page's Delete, Save and autoscan hold, and the About page's texts, without
// widgets.
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
  void setupColumns(const diagnostics::ReportColumn&,
                    const std::vector<diagnostics::ReportColumn>& remote) override {
    columns = remote.size();
  }
  void showLists(const diagnostics::DiagnosticsLists& l) override {
    lists = l;
    ++fills;
  }
  std::optional<std::string> selectedMac() const override { return selected; }
  std::optional<std::string> chooseReportFile() override { return reportFile; }
  std::size_t columns = 0;
  int fills = 0;
  diagnostics::DiagnosticsLists lists;
  std::optional<std::string> selected, reportFile;
};

struct PageHarness {
  diagnostics::testing::Scenario scenario;
  testing::FakeScan scan;
  RecordingPage view;
  std::unique_ptr<DiagnosticsPageController> page;
  PageHarness() {
    persistence::setDataDirectory(scenario.state.dir.path());
    page = std::make_unique<DiagnosticsPageController>(view, scan, diagnostics::systemPrinter());
    page->Initialise();
    page->PageEntered();
  }
  bool listed(const MacAddress& mac) const {
    for (const auto& row : view.lists.remoteRows)
      if (row[1] == formatMac(mac)) return true;
    return false;
  }
};

TEST(DiagnosticsPage, AutoscanIsHeldWhileShownAndRestoredAfter) {
  PageHarness h;
  EXPECT_EQ(h.view.columns, 8u);
  EXPECT_FALSE(h.scan.autoscanOn);
  EXPECT_EQ(h.view.fills, 1);
  h.page->PageEntered();  // entered twice: the first saved state still wins
  h.page->PageLeft();
  EXPECT_TRUE(h.scan.autoscanOn);
}

TEST(DiagnosticsPage, DeleteAsksOnlyForADeviceWithAPassword) {
  const struct {
    MacAddress mac;
    std::vector<NoticeAnswer> answers;
    std::size_t boxes;
    bool removed;
  } cases[] = {{at(0x00, 2), {}, 0, true},
               {at(0x02, 1), {NoticeAnswer::No}, 1, false},
               {at(0x02, 1), {NoticeAnswer::Yes}, 1, true}};
  for (const auto& c : cases) {
    PageHarness h;
    ASSERT_TRUE(h.listed(c.mac));
    h.scenario.state.notice.scriptAnswers(c.answers);
    h.view.selected = formatMac(c.mac);
    h.page->DeleteClicked();
    ASSERT_EQ(h.scenario.state.notice.shown.size(), c.boxes);
    if (c.boxes > 0) {
      EXPECT_EQ(h.scenario.state.notice.shown[0].text,
                "A Password for this device has been entered. \nAre you sure you want to delete "
                "it?");
      EXPECT_EQ(h.scenario.state.notice.shown[0].owner, platform::NoticeOwner::MainPage);
    }
    EXPECT_EQ(h.listed(c.mac), !c.removed);
    EXPECT_EQ(persistence::FindKnownByMac(c.mac) == 0, c.removed);
    EXPECT_EQ(api::FindRemote(c.mac) == nullptr, c.removed);
    // The data file holds what the table holds.
    persistence::ResetKnownDevices();
    persistence::LoadDeviceData();
    EXPECT_EQ(persistence::FindKnownByMac(c.mac) == 0, c.removed);
  }
}

TEST(DiagnosticsPage, DeleteWithoutSelectionSaysSoAndStillSaves) {
  PageHarness h;
  h.page->DeleteClicked();
  ASSERT_EQ(h.scenario.state.notice.shown.size(), 1u);
  EXPECT_EQ(h.scenario.state.notice.shown[0].text,
            "Please select a device first by clicking on it.");
  EXPECT_EQ(h.scenario.state.notice.shown[0].caption, "Attention!");
  EXPECT_TRUE(std::filesystem::exists(persistence::dataFilePath()));
}

TEST(DiagnosticsPage, SaveWritesTheReportOnlyWhenAFileWasChosen) {
  PageHarness h;
  h.page->SaveClicked();
  h.view.reportFile = h.scenario.state.dir.file("r.TXT");
  h.page->SaveClicked();
  const std::string text = diagnostics::testing::fileText(*h.view.reportFile);
  EXPECT_TRUE(text.starts_with("Diagnostics Report:\t\t\t\t\t"));
  EXPECT_NE(text.find("ABCD-EFGH-IJKL-MNOP"), std::string::npos);
}

TEST(AboutPage, ReadmeWebLinkAndAutoscan) {
  testing::DesktopState state;
  EXPECT_EQ(readmeText(state.dir.path()),
            "Readme.txt file is missing. The QRU may not have been properly installed. For "
            "further information on the packet capture library, see https://www.tcpdump.org/.");
  std::ofstream(state.dir.file("Readme.txt")) << "line one\nline two\n";
  EXPECT_EQ(readmeText(state.dir.path()), "line one\nline two\n");

  const struct {
    const char* address;
    bool opened;
  } links[] = {{"https://www.velmora.example/", true},
               {"HTTP://x.example", true},
               {"http://", false},
               {"file:///etc/passwd", false},
               {"calc.exe", false},
               {"https://a.example/ & rm -rf ~", false},
               {"javascript:alert(1)", false}};
  for (const auto& l : links)
    EXPECT_EQ(webLinkTarget(l.address).has_value(), l.opened) << l.address;

  testing::FakeScan scan;
  persistence::preferences().autoscanEnabled = 1;
  EXPECT_EQ(ToggleAutoscan(scan), " Autoscan Off ");
  EXPECT_FALSE(scan.autoscanOn);
  EXPECT_EQ(ToggleAutoscan(scan), " Autoscan On ");
  EXPECT_TRUE(scan.autoscanOn);
}

}  // namespace
}  // namespace quorrel::ui
