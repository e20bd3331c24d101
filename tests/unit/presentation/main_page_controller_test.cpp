// The Main page without widgets: start-up order, scans that find nothing, the refresh that
// names new devices, the labels, renaming and the data file behind them.
#include "ui/presentation/main_page_controller.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/desktop_fixture.h"
#include "ui/presentation/rename_rules.h"

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

  testing::DesktopState state;
  std::vector<std::string> log;
  testing::FakeScan scan{&log};
  testing::RecordingView view{&log};
  ShellState shell;
  MainPageController page{view, scan, shell};
};

// The data file's interface 0 has no adapter; interface 1 has one and is taken. A user scan
// that then finds nothing says so.
TEST_F(MainPageTest, StartUpRunsInItsOrderAndAScanThatFindsNothingSaysSo) {
  persistence::preferences().scanInterval = 7;
  scan.localInterface = 1;
  page.initialise();
  // The lists before the first scan, then the autoscan state, the local adapter last.
  EXPECT_EQ(persistence::dataDirectory(), state.dir.path() + "/quorrel-utility");
  EXPECT_LT(position("setupLists"), position("StartScan"));
  EXPECT_LT(position("StartScan"), position("SuspendAutoscan(on)"));
  EXPECT_LT(position("SuspendAutoscan(on)"), position("status: Autoscan On "));
  EXPECT_EQ(log.back(), "localRows:1");
  EXPECT_EQ(scan.lastInterval, 7u);
  // Without a data file the columns take the order of insertion at position 1.
  EXPECT_EQ(view.layout.order, (persistence::ColumnArray{0, 4, 3, 2, 1}));
  EXPECT_EQ(view.count, "0 Powerline Devices detected:");
  EXPECT_TRUE(state.notice.shown.empty());
  EXPECT_EQ(transport::currentInterface(), 1u);
  EXPECT_EQ(view.connected.rfind("Connected to ", 0), 0u) << view.connected;
  EXPECT_TRUE(shell.firstActivation);  // only a user's scan clears it
  EXPECT_EQ(view.networkType, "Network Type: Public");
  // Entered again with autoscan on and an adapter seen, the page scans: nothing holds it back
  // until the Privacy page sets every device.
  page.pageEntered();
  EXPECT_EQ(scan.userScans, 0);
  page.pageEntered();
  EXPECT_EQ(scan.userScans, 1);
  scan.networkName = "homeplugav";
  page.RequestScan();
  page.RefreshDeviceLists(2);
  EXPECT_EQ(view.networkType, "Network Type: Private");

  scan.localPresent = false;
  page.scanClicked();
  ASSERT_EQ(state.notice.shown.size(), 1u);
  const platform::NoticeRequest& box = state.notice.shown[0];
  EXPECT_EQ(box.text, "The HomePlug Adapter was not detected.\nPlease check your computer cables.");
  EXPECT_EQ(box.caption, "HomePlug Adapter NOT DETECTED");
  EXPECT_EQ(box.icon, NoticeIcon::Stop);
  EXPECT_EQ(box.owner, NoticeOwner::MainPage);
  EXPECT_EQ(view.connected, "HomePlug Adapter NOT DETECTED");
  EXPECT_TRUE(view.localRows.empty());

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

// The refresh names new devices, then renaming, its refusals and the data file behind it.
TEST_F(MainPageTest, RefreshNamesNewDevicesRenameStoresTheNameAndTheDataFileKeepsIt) {
  page.initialise();  // no data file: the known devices start empty
  persistence::appendKnownDevice(mac(9), "Device 3");  // the next default name is taken
  scan.ScanTick();
  ASSERT_EQ(persistence::knownDevices().knownCount, 4);
  // "Device N" with N one more than the count, else the lowest free number.
  EXPECT_EQ(persistence::knownAt(2)->name, "Device 2");
  EXPECT_EQ(persistence::knownAt(3)->name, "Device 1");
  EXPECT_EQ(persistence::knownAt(4)->name, "Device 4");
  EXPECT_EQ(view.count, "3 Powerline Devices detected:");

  persistence::knownAt(2)->lastSeen = 1;  // listed for hours: seen again at every pass
  scan.ScanTick();                        // a second pass adds nothing new
  EXPECT_EQ(persistence::knownDevices().knownCount, 4);
  EXPECT_GT(persistence::knownAt(2)->lastSeen, 1);

  // Every refusal of the rules (their own test) takes this one path.
  page.labelEditBegan(0);
  EXPECT_FALSE(page.labelEditEnded(0, false, "Device 1"));
  ASSERT_EQ(state.notice.shown.size(), 1u);
  EXPECT_EQ(state.notice.shown[0].text, "Please enter another name.");
  EXPECT_EQ(state.notice.shown[0].caption, "Attention!");
  EXPECT_EQ(state.notice.shown[0].icon, NoticeIcon::Warning);
  // A cancelled edit changes nothing and says nothing, but gives the autoscan back.
  state.notice.clear();
  page.labelEditBegan(0);
  EXPECT_FALSE(page.labelEditEnded(0, true, "Whatever"));
  EXPECT_TRUE(state.notice.shown.empty());
  EXPECT_TRUE(scan.autoscanOn);

  const std::string macText = view.remoteRows[0].macText;
  page.labelEditBegan(0);
  EXPECT_FALSE(scan.autoscanOn);  // suspended while the editor is open
  const std::string name = "Salle \xC3\xA0 manger " + std::string(40, 'x');
  EXPECT_TRUE(page.labelEditEnded(0, false, name));
  EXPECT_TRUE(scan.autoscanOn);
  const int k = persistence::FindKnownByMacText(macText);
  const std::string stored = persistence::knownAt(k)->name.str();
  EXPECT_EQ(stored, "Salle \xC3\xA0 manger " + std::string(16, 'x'));

  // The data file the program wrote brings the name back whole.
  persistence::resetKnownDevices();
  EXPECT_EQ(persistence::LoadDeviceData(), persistence::LoadOutcome::Loaded);
  EXPECT_EQ(persistence::knownAt(persistence::FindKnownByMacText(macText))->name.str(), stored);

  // The edit follows its device when the rows are re-sorted under the open editor.
  const MacAddress editedMac = view.remoteRows[0].mac;
  page.labelEditBegan(0);
  page.headerClicked(2);
  page.headerClicked(2);
  ASSERT_NE(view.remoteRows[0].mac, editedMac);
  ASSERT_TRUE(page.labelEditEnded(0, false, "Moved"));
  EXPECT_EQ(persistence::knownAt(persistence::FindKnownByMac(editedMac))->name, "Moved");

  // Rows that went away leave the list.
  scan.remotes.resize(1);
  api::FindRemote(mac(3))->inUse = false;
  api::FindRemote(mac(4))->inUse = false;
  api::currentDevices().remoteCount = 1;
  page.RefreshDeviceLists(4);
  EXPECT_EQ(view.remoteRows.size(), 1u);
  EXPECT_EQ(view.count, "1 Powerline Device detected:");

  // A row whose record has gone is not renamed, and record 1 is left alone.
  persistence::RemoveKnownByMac(view.remoteRows[0].mac);
  const std::string first = persistence::knownAt(1)->name.str();
  page.labelEditBegan(0);
  EXPECT_FALSE(page.labelEditEnded(0, false, "Fresh name"));
  EXPECT_EQ(persistence::FindKnownByName("Fresh name"), 0);
  EXPECT_EQ(persistence::knownAt(1)->name.str(), first);
}

// A pending add: the device that appears (one listed already, found by the MAC the add
// reported, then a new one) takes the name and password given, the add dialog closes, and the
// status line says so until the refresh after.
TEST_F(MainPageTest, PendingAddNamesTheNewRecordClosesTheDialogAndShowsOnTheStatusLine) {
  page.initialise();
  scan.ScanTick();
  for (const MacAddress& added : {mac(3), mac(7)}) {
    scan.remotes.push_back({added});
    page.addingDevice = page.addDialogOpen = true;
    page.addName = "Den " + formatMac(added);
    page.addPassword = "Pass-" + formatMac(added);
    page.addedMac = added == mac(3) ? added : kNoMac;
    scan.ScanTick();
    EXPECT_EQ(view.status, "Adding device. Please Wait...");
    const persistence::KnownDevice* r = persistence::knownAt(persistence::FindKnownByMac(added));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->name.str() + r->password.str(), page.addName + page.addPassword);
    EXPECT_FALSE(page.addingDevice || page.addDialogOpen || !isZeroMac(page.addedMac));
    scan.ScanTick();
    EXPECT_EQ(view.status, " Autoscan On ");
  }
  EXPECT_EQ(persistence::knownAt(persistence::FindKnownByMac(mac(2)))->name, "Device 1");
}

// Typed names: the refusals, the stored length in characters and bytes, hostile bytes.
TEST(RenameRules, RefusalsAndWhatIsStoredWholeCharacters) {
  testing::DesktopState state;
  persistence::appendKnownDevice(testing::mac(2), "Kitchen");
  persistence::appendKnownDevice(testing::mac(3), std::string(31, 'y'));
  // Duplicates (exact, case-sensitive, also after the cut to 31), controls and broken UTF-8.
  for (const std::string& bad :
       {std::string(), std::string("Kitchen"), std::string(50, 'y'), std::string("Tab\there"),
        std::string("Line\nbreak"), std::string("nul\0inside", 10), std::string("del\x7F"),
        std::string("broken \xC3"), std::string("overlong \xC0\xAF"),
        std::string("surrogate \xED\xA0\x80")})
    EXPECT_FALSE(checkRename(bad).accepted) << bad;
  EXPECT_TRUE(checkRename("kitchen").accepted);
  EXPECT_EQ(checkRename(std::string(40, 'x')).storedName, std::string(31, 'x'));

  // Non-ASCII: whole characters only, and never more bytes than the field holds.
  std::string euros;
  for (int i = 0; i < 40; ++i) euros += "\xE2\x82\xAC";
  const RenameCheck e = checkRename(euros);
  ASSERT_TRUE(e.accepted);
  EXPECT_LE(e.storedName.size(), kMaxStoredNameBytes);
  EXPECT_EQ(e.storedName.size() % 3, 0u);
  persistence::KnownDevice record;
  record.name = e.storedName;
  EXPECT_EQ(record.name.view(), e.storedName);  // fits the field whole
  EXPECT_EQ(checkRename("Wohnzimmer \xC3\xBC" + std::string(30, 'z')).storedName,
            "Wohnzimmer \xC3\xBC" + std::string(19, 'z'));  // 31 characters
  EXPECT_EQ(utf8Prefix("abc", 2, 10), "ab");
  EXPECT_EQ(utf8Prefix("a\xC3\xA9z", 10, 2), "a");  // é would not fit in 2 bytes
  EXPECT_EQ(utf8Prefix("a\xF0\x9F\x98\x80", 10, 10), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(utf8Prefix("a\xF0\x9F\x98", 10, 10), "a");
  EXPECT_EQ(utf8Prefix("\xFF\xFE", 10, 10), "");
}

}  // namespace
}  // namespace quorrel::ui
