// The Main page without widgets: start-up order, scans that find nothing, the refresh that
// names new devices, the labels, renaming and the data file behind them.
#include "ui/presentation/main_page_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/desktop_fixture.h"

namespace quorrel::ui {
namespace {

using platform::NoticeIcon;
using platform::NoticeOwner;
using testing::mac;

class MainPageTest : public ::testing::Test {
 protected:
  MainPageTest() {
    scan.remotes = {{mac(2), api::DeviceClass::AvFirstGeneration, 100},
                    {mac(3), api::DeviceClass::AvSecondGeneration, 300},
                    {mac(4), api::DeviceClass::Turbo, 0}};
  }
  std::size_t position(const std::string& step) {
    const auto it = std::find(log.begin(), log.end(), step);
    EXPECT_NE(it, log.end()) << step;
    return static_cast<std::size_t>(it - log.begin());
  }
  void startAndScanOnce() {
    page.Initialise();
    scan.ScanTick();
  }
  std::string dataFile() { return persistence::dataFilePath(); }

  testing::DesktopState state;
  std::vector<std::string> log;
  testing::FakeScan scan{&log};
  testing::RecordingView view{&log};
  ShellState shell;
  MainPageController page{view, scan, shell};
};

TEST_F(MainPageTest, StartUpRunsInItsOrder) {
  persistence::preferences().scanInterval = 7;
  page.Initialise();
  // Data folder and vendor list before the lists, the lists before the data file applies its
  // layout, then the first scan, the autoscan state, the local adapter and the phase-5 refresh.
  EXPECT_EQ(persistence::dataDirectory(), state.dir.path() + "/quorrel-utility");
  EXPECT_EQ(shell.workingDirectory, state.dir.path());
  EXPECT_LT(position("setupLists"), position("StartScan"));
  EXPECT_LT(position("StartScan"), position("SuspendAutoscan(on)"));
  EXPECT_LT(position("SuspendAutoscan(on)"), position("status: Autoscan On "));
  EXPECT_EQ(log.back(), "localRows:1");
  EXPECT_EQ(scan.lastInterval, 7u);
  EXPECT_EQ(scan.lastThreshold, 3);
  EXPECT_TRUE(view.timerRunning);
  EXPECT_EQ(view.timerPeriod, 42u);
  // Without a data file the columns take the order of insertion at position 1.
  EXPECT_EQ(view.layout.order, (persistence::ColumnArray{0, 4, 3, 2, 1}));
  EXPECT_EQ(view.connected, "Connected to HomePlug AV A1x0 Device");
  EXPECT_EQ(view.networkType, "Network Type: Public");
  EXPECT_EQ(view.count, "0 Powerline Devices detected:");
  ASSERT_EQ(view.localRows.size(), 1u);
  EXPECT_EQ(view.localRows[0].macText, "00:B0:52:10:00:01");
  EXPECT_TRUE(state.notice.shown.empty());
  EXPECT_TRUE(shell.firstActivation);  // only a user's scan clears it

  page.PageEntered();
  EXPECT_EQ(view.status, " Autoscan On ");
  EXPECT_EQ(scan.cycleRestarts, 1);
  EXPECT_TRUE(shell.localSeenAtActivation);
}

TEST_F(MainPageTest, RefreshNamesNewDevicesAndFillsTheRows) {
  page.Initialise();  // no data file: the known devices start empty
  persistence::AppendKnownDevice(mac(9), "Device 3");  // the next default name is taken
  scan.ScanTick();
  ASSERT_EQ(persistence::knownDevices().knownCount, 4);
  // "Device N" with N one more than the count, else the lowest free number.
  EXPECT_EQ(persistence::KnownAt(2)->name, "Device 2");
  EXPECT_EQ(persistence::KnownAt(3)->name, "Device 1");
  EXPECT_EQ(persistence::KnownAt(4)->name, "Device 4");
  ASSERT_EQ(view.remoteRows.size(), 3u);
  EXPECT_EQ(view.count, "3 Powerline Devices detected:");
  std::vector<std::string> names;
  for (const RemoteRow& r : view.remoteRows) names.push_back(r.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Device 1", "Device 2", "Device 4"}));
  EXPECT_EQ(page.rowMacs().size(), 3u);
  EXPECT_EQ(page.rowPasswords()[0], "");

  // A second pass adds nothing new.
  scan.ScanTick();
  EXPECT_EQ(persistence::knownDevices().knownCount, 4);
  scan.remotes.resize(1);
  api::FindRemote(mac(3))->inUse = false;
  api::FindRemote(mac(4))->inUse = false;
  api::currentDevices().remoteCount = 1;
  page.RefreshDeviceLists(4);
  EXPECT_EQ(view.remoteRows.size(), 1u);
  EXPECT_EQ(view.count, "1 Powerline Device detected:");
}

TEST_F(MainPageTest, UserScanThatFindsNothingSaysSo) {
  page.Initialise();
  scan.localPresent = false;
  page.ScanClicked();
  ASSERT_EQ(state.notice.shown.size(), 1u);
  const platform::NoticeRequest& box = state.notice.shown[0];
  EXPECT_EQ(box.text, "The HomePlug Adapter was not detected.\nPlease check your computer cables.");
  EXPECT_EQ(box.caption, "HomePlug Adapter NOT DETECTED");
  EXPECT_EQ(box.icon, NoticeIcon::Stop);
  EXPECT_EQ(box.owner, NoticeOwner::MainPage);
  EXPECT_EQ(view.connected, "HomePlug Adapter NOT DETECTED");
  EXPECT_TRUE(view.localRows.empty());
  EXPECT_EQ(scan.userScans, 1);
  EXPECT_FALSE(shell.firstActivation);

  // The next refresh sees the adapter gone and says it once more, in its own words.
  page.RefreshDeviceLists(1);
  ASSERT_EQ(state.notice.shown.size(), 2u);
  EXPECT_EQ(state.notice.shown[1].text, "HomePlug Adapter NOT DETECTED");
  EXPECT_EQ(state.notice.shown[1].caption, "Problem Occurred");
  page.RefreshDeviceLists(1);
  EXPECT_EQ(state.notice.shown.size(), 2u);  // nothing changed since

  // While the network name is being set, a failed scan stays quiet.
  page.suppressAdapterMessage = true;
  page.RequestScan();
  EXPECT_EQ(state.notice.shown.size(), 2u);
}

TEST_F(MainPageTest, NetworkTypeIsExactAndCaseSensitive) {
  scan.networkName = "homeplugav";
  page.Initialise();
  EXPECT_EQ(view.networkType, "Network Type: Private");
  scan.localClass = api::DeviceClass::Turbo;
  scan.networkName = "HomePlug";
  page.RequestScan();
  page.RefreshDeviceLists(2);
  EXPECT_EQ(view.networkType, "Network Type: Public");
  EXPECT_TRUE(api::deviceTable().turboLocal);
}

TEST_F(MainPageTest, RenameStoresTheNameAndTheDataFileKeepsIt) {
  startAndScanOnce();
  const int row = 0;
  const std::string macText = view.remoteRows[0].macText;
  page.RemoteSelectionChanged(row);
  page.RenameClicked();
  EXPECT_EQ(view.editing, row);
  page.LabelEditBegan(row);
  EXPECT_FALSE(scan.autoscanOn);  // suspended while the editor is open
  const std::string name = "Salle \xC3\xA0 manger " + std::string(40, 'x');
  EXPECT_TRUE(page.LabelEditEnded(row, false, name));
  EXPECT_TRUE(scan.autoscanOn);
  const int k = persistence::FindKnownByMacText(macText);
  const std::string stored = persistence::KnownAt(k)->name.str();
  EXPECT_EQ(stored, "Salle \xC3\xA0 manger " + std::string(16, 'x'));
  EXPECT_EQ(view.remoteRows[0].name, stored);

  // The data file the program wrote brings the name back whole.
  ASSERT_TRUE(std::filesystem::exists(dataFile()));
  persistence::ResetKnownDevices();
  EXPECT_EQ(persistence::LoadDeviceData(), persistence::LoadOutcome::Loaded);
  EXPECT_EQ(persistence::KnownAt(persistence::FindKnownByMacText(macText))->name.str(), stored);
}

TEST_F(MainPageTest, RenameFollowsItsDeviceWhenTheRowsMove) {
  startAndScanOnce();
  const MacAddress editedMac = view.remoteRows[0].mac;
  page.LabelEditBegan(0);
  page.HeaderClicked(2);  // the rows are re-sorted under the open editor
  page.HeaderClicked(2);
  ASSERT_NE(view.remoteRows[0].mac, editedMac);
  ASSERT_TRUE(page.LabelEditEnded(0, false, "Moved"));
  EXPECT_EQ(persistence::KnownAt(persistence::FindKnownByMac(editedMac))->name, "Moved");
  for (const RemoteRow& r : view.remoteRows) EXPECT_EQ(r.name == "Moved", r.mac == editedMac);
}

TEST_F(MainPageTest, RenameRefusals) {
  startAndScanOnce();
  for (const std::string& bad : {std::string(), std::string("Device 1"), std::string("a\nb")}) {
    state.notice.clear();
    page.LabelEditBegan(0);
    EXPECT_FALSE(page.LabelEditEnded(0, false, bad));
    ASSERT_EQ(state.notice.shown.size(), 1u);
    EXPECT_EQ(state.notice.shown[0].text, "Please enter another name.");
    EXPECT_EQ(state.notice.shown[0].caption, "Attention!");
    EXPECT_EQ(state.notice.shown[0].icon, NoticeIcon::Warning);
  }
  // A cancelled edit changes nothing and says nothing, but gives the autoscan back.
  state.notice.clear();
  page.LabelEditBegan(0);
  EXPECT_FALSE(page.LabelEditEnded(0, true, "Whatever"));
  EXPECT_TRUE(state.notice.shown.empty());
  EXPECT_TRUE(scan.autoscanOn);

  // A row whose record has gone is not renamed, and record 1 is left alone.
  const MacAddress rowMac = view.remoteRows[0].mac;
  persistence::RemoveKnownByMac(rowMac);
  std::vector<std::string> others;
  for (int k = 1; k <= persistence::knownDevices().knownCount; ++k)
    others.push_back(persistence::KnownAt(k)->name.str());
  page.LabelEditBegan(0);
  EXPECT_EQ(page.currentKnown(), 0);
  EXPECT_FALSE(page.LabelEditEnded(0, false, "Fresh name"));
  EXPECT_EQ(persistence::FindKnownByName("Fresh name"), 0);
  for (int k = 1; k <= persistence::knownDevices().knownCount; ++k)
    EXPECT_EQ(persistence::KnownAt(k)->name.str(), others[static_cast<std::size_t>(k - 1)]);
}

TEST_F(MainPageTest, ThirtyTwoDevicesWithLongNamesStayUsable) {
  scan.remotes.clear();
  for (int i = 0; i < 40; ++i)
    scan.remotes.push_back(
        {mac(static_cast<std::uint8_t>(i), 0x02), api::DeviceClass::AvFirstGeneration, 5.0 * i});
  startAndScanOnce();
  EXPECT_EQ(view.remoteRows.size(), 32u);
  for (int row = 0; row < 32; ++row) {
    page.LabelEditBegan(row);
    ASSERT_TRUE(page.LabelEditEnded(row, false, std::to_string(row) + std::string(200, 'n')));
  }
  page.HeaderClicked(0);
  page.HeaderClicked(2);
  page.HeaderClicked(-1);
  page.HeaderClicked(9);
  EXPECT_EQ(view.remoteRows.size(), 32u);
  EXPECT_EQ(persistence::listSettings().sortColumn, 2u);
  page.CloseRequested();
  const auto size = std::filesystem::file_size(dataFile());
  EXPECT_EQ(size, persistence::dataFileSize(
                      static_cast<std::size_t>(persistence::knownDevices().knownCount)));
}

TEST_F(MainPageTest, SortStateAndLayoutRoundTripThroughTheDataFile) {
  startAndScanOnce();
  page.HeaderClicked(3);
  page.HeaderClicked(3);
  view.layout.order = {0, 1, 4, 2, 3};
  view.layout.widths = {200, 130, 60, 90, 150};
  page.PageLeft();
  persistence::ResetListSettings();
  view.layout.order = {0, 4, 3, 2, 1};
  EXPECT_EQ(persistence::LoadDeviceData(), persistence::LoadOutcome::Loaded);
  EXPECT_EQ(view.layout.order, (persistence::ColumnArray{0, 1, 4, 2, 3}));
  EXPECT_EQ(view.layout.widths, (persistence::ColumnArray{200, 130, 60, 90, 150}));
  EXPECT_EQ(persistence::listSettings().sortColumn, 3u);
  EXPECT_EQ(persistence::listSettings().sortDirection, 1u);
}

}  // namespace
}  // namespace quorrel::ui
