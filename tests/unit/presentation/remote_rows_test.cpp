// The remote rows against the device table: refresh, the rows of vanished entries, the row
// cap, and a sort that is a strict weak order with or without known records.
#include "ui/presentation/remote_rows.h"

#include <gtest/gtest.h>

#include "support/desktop_fixture.h"

namespace quorrel::ui {
namespace {

using testing::mac;

class RemoteRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    api::InterfaceDevices& d = api::currentDevices();
    d.localPresent = true;
    d.localMac = {0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
    d.localNetworkName = "HomePlugAV";
  }
  api::RemoteDevice& see(const MacAddress& m, double rate) {
    api::RemoteDevice* e = api::UpsertRemote(m);
    e->deviceClass = api::DeviceClass::AvFirstGeneration;
    api::recordRate(e->rateStats, rate, 0, 0);
    return *e;
  }
  const RemoteRow& row(const MacAddress& m) {
    return rows.rows()[static_cast<std::size_t>(rows.FindRowByMac(m))];
  }
  std::vector<std::string> column(std::string RemoteRow::*field) {
    std::vector<std::string> out;
    for (const RemoteRow& r : rows.rows()) out.push_back(r.*field);
    return out;
  }
  testing::DesktopState state;
  RemoteRows rows{ColumnSet::fromPreferences(true, true), 1};
};

TEST_F(RemoteRowsTest, RowsFollowEntriesAndRecordsAndGoWithThem) {
  persistence::appendKnownDevice(mac(2), "Kitchen");
  persistence::knownAt(1)->password = "Not ABCD";
  see(mac(2), 100);
  see(mac(3), 0);
  rows.RefreshRemoteRows({1, false});
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(row(mac(2)).name, "Kitchen");
  EXPECT_EQ(row(mac(2)).password, "Not ABCD");
  // Seeing the row takes the record into the local network, now.
  EXPECT_EQ(persistence::knownAt(1)->networkName, "HomePlugAV");
  EXPECT_EQ(row(mac(3)).name, "Velmora Device 2");
  EXPECT_EQ(row(mac(3)).password, kNoPasswordText);
  EXPECT_EQ(rows.FindRowByMac(kNoMac), -1);

  // A moved rate and a changed class are redrawn, and their flags cleared.
  api::RemoteDevice* e = api::FindRemote(mac(2));
  api::recordRate(e->rateStats, 150, 0, 0);
  e->deviceClass = api::DeviceClass::AvSecondGeneration;
  e->classChanged = true;
  rows.RefreshRemoteRows({1, false});
  EXPECT_EQ(row(mac(2)).rateText, "150.00");
  EXPECT_EQ(row(mac(2)).image, 3);
  EXPECT_FALSE(e->classChanged);
  EXPECT_FALSE(e->rateStats.rateChanged);

  // The local adapter's own MAC never becomes a row, whatever the entries say.
  api::currentDevices().remotes[5].inUse = true;
  api::currentDevices().remotes[5].mac = api::currentDevices().localMac;
  rows.RefreshRemoteRows({1, false});
  EXPECT_EQ(rows.size(), 2);

  see(mac(4), 30);
  rows.RefreshRemoteRows({1, false});
  api::FindRemote(mac(2))->inUse = false;  // dropped by ageing
  api::RemoveRemote(mac(3));               // removed: the entries behind move up
  rows.RefreshRemoteRows({1, false});
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows.rows()[0].macText, "00:B0:52:20:00:04");
  EXPECT_EQ(rows.rows()[0].remoteIndex, 1);
}

TEST_F(RemoteRowsTest, NeverMoreThanThirtyTwoRows) {
  for (int i = 0; i < kMaxRemoteRows; ++i) see(mac(static_cast<std::uint8_t>(i), 0x02), i);
  rows.RefreshRemoteRows({0, false});
  ASSERT_EQ(rows.size(), kMaxRemoteRows);
  // A full table of other devices: the old rows make way, never more than the cap at once.
  api::ClearRemotes();
  for (auto& e : api::currentDevices().remotes) e = api::RemoteDevice{};
  for (int i = 0; i < kMaxRemoteRows; ++i) see(mac(static_cast<std::uint8_t>(i), 0x04), i);
  for (int round = 0; round < 2; ++round) {
    rows.RefreshRemoteRows({0, false});
    EXPECT_LE(rows.size(), kMaxRemoteRows);
  }
  ASSERT_EQ(rows.size(), kMaxRemoteRows);
  for (const RemoteRow& r : rows.rows()) EXPECT_EQ(r.mac[0], 0x04) << r.macText;
}

TEST_F(RemoteRowsTest, SortIsAStrictWeakOrderRowsWithoutRecordsCompareEmptyAndClicksToggle) {
  persistence::appendKnownDevice(mac(2), "beta");
  persistence::appendKnownDevice(mac(3), "alpha");
  persistence::appendKnownDevice(mac(4), "beta");  // two records named alike
  see(mac(2), 50);
  see(mac(3), 50);
  see(mac(4), 10);
  see(mac(5), 90);  // no record
  rows.RefreshRemoteRows({0, true});
  // Names rise with the flag set; no record sorts as an empty name; equals keep their order.
  for (int run = 0; run < 3; ++run) {
    rows.sortBy({0, true});
    EXPECT_EQ(column(&RemoteRow::name),
              (std::vector<std::string>{"Velmora Device 4", "alpha", "beta", "beta"}));
    EXPECT_EQ(rows.rows()[2].macText, "00:B0:52:20:00:02");
  }
  rows.sortBy({0, false});
  EXPECT_EQ(column(&RemoteRow::name),
            (std::vector<std::string>{"beta", "beta", "alpha", "Velmora Device 4"}));
  EXPECT_EQ(rows.rows()[0].macText, "00:B0:52:20:00:02");
  rows.sortBy({2, false});
  EXPECT_EQ(column(&RemoteRow::rateText),
            (std::vector<std::string>{"10.00", "50.00", "50.00", "90.00"}));
  rows.sortBy({2, true});
  EXPECT_EQ(column(&RemoteRow::macText),
            (std::vector<std::string>{"00:B0:52:20:00:05", "00:B0:52:20:00:02", "00:B0:52:20:00:03",
                                      "00:B0:52:20:00:04"}));
  for (bool flag : {false, true}) {
    EXPECT_FALSE(rowGoesBefore(1, 1, "a", "a", ColumnKind::Name, flag));
    EXPECT_FALSE(rowGoesBefore(5, 5, "", "", ColumnKind::Rate, flag));
    EXPECT_NE(rowGoesBefore(0, 0, "a", "b", ColumnKind::Mac, flag),
              rowGoesBefore(0, 0, "b", "a", ColumnKind::Mac, flag));
  }
  // Bytes compare unsigned, as C strings do: a non-ASCII name ranks above ASCII.
  EXPECT_TRUE(rowGoesBefore(0, 0, "a", "\xC3\xA9", ColumnKind::Name, true));

  // A header click: a new column takes its remembered direction, the same column flips.
  SortToggle toggle;
  SortState s{1, true};
  // {column clicked, direction after}; column 0 remembered 0, then remembers 1.
  for (auto [column, flag] :
       {std::pair{1, false}, {1, true}, {0, false}, {2, false}, {0, true}, {99, true}}) {
    toggle.ToggleSort(s, column);
    EXPECT_EQ(s.column, column == 99 ? 0 : column);  // a hostile column changes nothing
    EXPECT_EQ(s.directionFlag, flag) << column;
  }
}

TEST_F(RemoteRowsTest, HiddenColumnsKeepTheirMeaning) {
  rows = RemoteRows{ColumnSet::fromPreferences(false, false), 1};
  EXPECT_EQ(rows.columns().kindAt(2), ColumnKind::Password);
  EXPECT_EQ(rows.columns().indexOf(ColumnKind::Rate), -1);
  persistence::appendKnownDevice(mac(2), "one");
  persistence::knownAt(1)->password = "zzzz";
  persistence::appendKnownDevice(mac(3), "two");
  persistence::knownAt(2)->password = "aaaa";
  see(mac(2), 50);
  see(mac(3), 60);
  rows.RefreshRemoteRows({2, true});  // index 2 is the Password column here
  EXPECT_EQ(rows.rows()[0].password, "aaaa");
  EXPECT_EQ(rows.rows()[0].rateText, "");
  rows.sortBy({17, true});  // out of range: by name
  EXPECT_EQ(rows.rows()[0].name, "one");
}

}  // namespace
}  // namespace quorrel::ui
