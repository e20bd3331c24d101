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
  api::RemoteDevice& see(const MacAddress& m, double rate,
                         api::DeviceClass c = api::DeviceClass::AvFirstGeneration) {
    api::RemoteDevice* e = api::UpsertRemote(m);
    e->deviceClass = c;
    api::RecordRate(e->rateStats, rate, 0, 0);
    return *e;
  }
  std::vector<std::string> names(const RemoteRows& list) {
    std::vector<std::string> out;
    for (const RemoteRow& r : list.rows()) out.push_back(r.name);
    return out;
  }
  testing::DesktopState state;
  RemoteRows rows{ColumnSet::fromPreferences(true, true), 1};
};

TEST_F(RemoteRowsTest, RowsFollowEntriesAndRecords) {
  persistence::AppendKnownDevice(mac(2), "Kitchen");
  persistence::KnownAt(1)->password = "Not ABCD";
  see(mac(2), 100);
  see(mac(3), 0);
  rows.RefreshRemoteRows({1, false});
  ASSERT_EQ(rows.size(), 2);
  const RemoteRow& kitchen = rows.rows()[static_cast<std::size_t>(rows.FindRowByMac(mac(2)))];
  EXPECT_EQ(kitchen.name, "Kitchen");
  EXPECT_EQ(kitchen.macText, "00:B0:52:20:00:02");
  EXPECT_EQ(kitchen.rateText, "100.00");
  EXPECT_EQ(kitchen.qualityText, "Very Good");
  EXPECT_EQ(kitchen.password, "Not ABCD");
  EXPECT_EQ(kitchen.image, 2);
  // Seeing the row takes the record into the local network, now.
  EXPECT_EQ(persistence::KnownAt(1)->networkName, "HomePlugAV");
  EXPECT_GT(persistence::KnownAt(1)->lastSeen, 0);

  const RemoteRow& stranger = rows.rows()[static_cast<std::size_t>(rows.FindRowByMac(mac(3)))];
  EXPECT_EQ(stranger.name, "Velmora Device 2");
  EXPECT_EQ(stranger.password, kNoPasswordText);
  EXPECT_EQ(stranger.rateText, "?");
  EXPECT_EQ(rows.FindRowByMac(kNoMac), -1);

  // A rate is redrawn only when it moved; the class image when it changed.
  api::RemoteDevice* e = api::FindRemote(mac(2));
  api::RecordRate(e->rateStats, 150, 0, 0);
  e->deviceClass = api::DeviceClass::AvSecondGeneration;
  e->classChanged = true;
  rows.RefreshRemoteRows({1, false});
  const RemoteRow& again = rows.rows()[static_cast<std::size_t>(rows.FindRowByMac(mac(2)))];
  EXPECT_EQ(again.rateText, "150.00");
  EXPECT_EQ(again.image, 3);
  EXPECT_FALSE(e->classChanged);
  EXPECT_FALSE(e->rateStats.rateChanged);

  // The local adapter's own MAC never becomes a row, whatever the entries say.
  api::currentDevices().remotes[5].inUse = true;
  api::currentDevices().remotes[5].mac = api::currentDevices().localMac;
  rows.RefreshRemoteRows({1, false});
  EXPECT_EQ(rows.size(), 2);
}

TEST_F(RemoteRowsTest, RowsOfDroppedAndRemovedEntriesGo) {
  see(mac(2), 10);
  see(mac(3), 20);
  see(mac(4), 30);
  rows.RefreshRemoteRows({1, false});
  ASSERT_EQ(rows.size(), 3);
  api::FindRemote(mac(2))->inUse = false;  // dropped by ageing
  api::RemoveRemote(mac(3));               // removed: the entries behind move up
  rows.RefreshRemoteRows({1, false});
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows.rows()[0].macText, "00:B0:52:20:00:04");
  EXPECT_EQ(rows.rows()[0].remoteIndex, 1);

  // Another interface with other entries leaves none of the old rows behind.
  api::ClearRemotes();
  for (auto& e : api::currentDevices().remotes) e = api::RemoteDevice{};
  see(mac(9), 40);
  rows.RefreshRemoteRows({1, false});
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows.rows()[0].macText, "00:B0:52:20:00:09");
}

TEST_F(RemoteRowsTest, NeverMoreThanThirtyTwoRows) {
  for (int i = 0; i < 40; ++i) see(mac(static_cast<std::uint8_t>(i + 1), 0x02), 10.0 * i);
  for (int round = 0; round < 3; ++round) {
    rows.RefreshRemoteRows({0, false});
    EXPECT_EQ(rows.size(), kMaxRemoteRows);
  }
  // Without a local adapter the rows stay as they were.
  api::currentDevices().localPresent = false;
  rows.RefreshRemoteRows({0, false});
  EXPECT_EQ(rows.size(), kMaxRemoteRows);
}

TEST_F(RemoteRowsTest, SortIsAStrictWeakOrderAndRowsWithoutRecordsCompareEmpty) {
  persistence::AppendKnownDevice(mac(2), "beta");
  persistence::AppendKnownDevice(mac(3), "alpha");
  persistence::AppendKnownDevice(mac(4), "beta");  // two records named alike
  see(mac(2), 50);
  see(mac(3), 50);
  see(mac(4), 10);
  see(mac(5), 90);  // no record
  rows.RefreshRemoteRows({0, true});
  // Flag set: names rise; the one without a record sorts as an empty name; equal names keep
  // their order, whichever way round and however often the sort runs.
  for (int run = 0; run < 3; ++run) {
    rows.Sort({0, true});
    EXPECT_EQ(names(rows), (std::vector<std::string>{"Velmora Device 4", "alpha", "beta", "beta"}));
    EXPECT_EQ(rows.rows()[2].macText, "00:B0:52:20:00:02");
  }
  rows.Sort({0, false});
  EXPECT_EQ(names(rows), (std::vector<std::string>{"beta", "beta", "alpha", "Velmora Device 4"}));
  EXPECT_EQ(rows.rows()[0].macText, "00:B0:52:20:00:02");

  // Rates rise with the flag clear, fall with it set; equal rates keep their order.
  rows.Sort({2, false});
  EXPECT_EQ(rows.rows()[0].rateText, "10.00");
  EXPECT_EQ(rows.rows()[3].rateText, "90.00");
  rows.Sort({2, true});
  EXPECT_EQ(rows.rows()[0].rateText, "90.00");
  EXPECT_EQ(rows.rows()[1].macText, "00:B0:52:20:00:02");
  EXPECT_EQ(rows.rows()[2].macText, "00:B0:52:20:00:03");

  // The comparison itself never says both "before" and "after", nor "before" for equals.
  for (bool flag : {false, true}) {
    EXPECT_FALSE(rowGoesBefore(1, 1, "a", "a", ColumnKind::Name, flag));
    EXPECT_FALSE(rowGoesBefore(5, 5, "", "", ColumnKind::Rate, flag));
    EXPECT_NE(rowGoesBefore(0, 0, "a", "b", ColumnKind::Mac, flag),
              rowGoesBefore(0, 0, "b", "a", ColumnKind::Mac, flag));
  }
  // Bytes compare unsigned, as C strings do: a non-ASCII name ranks above ASCII.
  EXPECT_TRUE(rowGoesBefore(0, 0, "a", "\xC3\xA9", ColumnKind::Name, true));
}

TEST_F(RemoteRowsTest, HiddenColumnsKeepTheirMeaning) {
  RemoteRows narrow{ColumnSet::fromPreferences(false, false), 1};
  EXPECT_EQ(narrow.columns().count(), 3);
  EXPECT_EQ(narrow.columns().kindAt(2), ColumnKind::Password);
  EXPECT_EQ(narrow.columns().indexOf(ColumnKind::Rate), -1);
  persistence::AppendKnownDevice(mac(2), "one");
  persistence::KnownAt(1)->password = "zzzz";
  persistence::AppendKnownDevice(mac(3), "two");
  persistence::KnownAt(2)->password = "aaaa";
  see(mac(2), 50);
  see(mac(3), 60);
  narrow.RefreshRemoteRows({2, true});  // index 2 is the Password column here
  EXPECT_EQ(narrow.rows()[0].password, "aaaa");
  EXPECT_EQ(narrow.rows()[0].rateText, "");  // no Rate column: never formatted
  // Out-of-range sort columns fall back to the name.
  narrow.Sort({17, true});
  EXPECT_EQ(narrow.rows()[0].name, "one");
}

TEST(SortToggle, NewColumnTakesItsRememberedDirectionSameColumnFlips) {
  SortToggle toggle;
  SortState s{1, true};
  toggle.ToggleSort(s, 1);
  EXPECT_FALSE(s.directionFlag);
  toggle.ToggleSort(s, 1);
  EXPECT_TRUE(s.directionFlag);
  toggle.ToggleSort(s, 0);
  EXPECT_EQ(s.column, 0);
  EXPECT_FALSE(s.directionFlag);  // column 0 remembered 0, now remembers 1
  toggle.ToggleSort(s, 2);
  EXPECT_FALSE(s.directionFlag);
  toggle.ToggleSort(s, 0);
  EXPECT_TRUE(s.directionFlag);
  toggle.ToggleSort(s, 99);  // a hostile column changes nothing
  EXPECT_EQ(s.column, 0);
  EXPECT_TRUE(s.directionFlag);
}

}  // namespace
}  // namespace quorrel::ui
