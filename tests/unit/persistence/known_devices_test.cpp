// Lookups, removals and the bound of the known-device table.
#include "persistence_fixture.h"

namespace quorrel::persistence::testing {
namespace {

class KnownDevicesTest : public PersistenceTest {
 protected:
  // Records 1..n named "Dev k", MAC macOf(k), seen at time 1000 + k.
  void fill(int n) {
    for (int k = 1; k <= n; ++k) {
      ASSERT_EQ(AppendKnownDevice(macOf(static_cast<std::uint8_t>(k)), "Dev " + std::to_string(k)),
                k);
      knownDevices().records[k - 1].lastSeen = 1000 + k;
    }
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (int k = 1; k <= knownDevices().knownCount; ++k) out.push_back(KnownAt(k)->name.str());
    return out;
  }
};

TEST_F(KnownDevicesTest, LookupsSearchOnlyTheCountedRecordsAndRemovalsDropRecordAndEntry) {
  fill(3);
  knownDevices().records[5].mac = macOf(6);  // left behind past the count
  EXPECT_EQ(FindKnownByMac(macOf(6)), 0);
  EXPECT_EQ(KnownAt(4), nullptr);

  const std::array<std::uint8_t, 16> key{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  knownDevices().records[0].networkKey = {1, 2, 3, 4, 5, 6, 7, 8, 0xFF};
  knownDevices().records[0].networkName = "Eight bytes";
  knownDevices().records[2].networkKey = key;
  knownDevices().records[2].networkName = std::string(51, 'x');
  api::NetworkName found;
  EXPECT_EQ(FindKnownByKey(key, "AV", &found), 3);  // a full match first
  EXPECT_EQ(found.view(), std::string(39, 'x'));    // 52-byte field into a 40-byte one
  EXPECT_EQ(FindKnownByKey(std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}, "Turbo"), 1);
  EXPECT_EQ(FindKnownByKey(std::array<std::uint8_t, 3>{9, 9, 9}, "AV"), 0);

  // Removals drop the record and the remote entry.
  ResetKnownDevices();
  fill(5);
  api::UpsertRemote(macOf(2));
  api::UpsertRemote(macOf(3));
  api::UpsertRemote(macOf(7));
  EXPECT_EQ(RemoveKnownDevice(2), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"Dev 1", "Dev 3", "Dev 4", "Dev 5"}));
  EXPECT_TRUE(isZeroMac(knownDevices().records[4].mac));
  EXPECT_EQ(api::currentDevices().remotes[0].mac, macOf(3));  // moved up
  for (const int bad : {0, -1, 5, 101}) EXPECT_EQ(RemoveKnownDevice(bad), 0) << bad;

  // By address: with no record the remote entry still goes.
  EXPECT_EQ(RemoveKnownByMac(macOf(1)), 1);
  EXPECT_EQ(RemoveKnownByMac(macOf(7)), 0);
  EXPECT_EQ(api::FindRemote(macOf(7)), nullptr);

  knownDevices().records[1].mac = kNoMac;
  EXPECT_EQ(PurgeUnaddressedKnown(), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"Dev 3", "Dev 5"}));
  EXPECT_TRUE(knownDevices().records[2].name.empty());
}

TEST_F(KnownDevicesTest, FullTableGivesTheOldestSeenRecordWithoutPasswordPlace) {
  fill(kKnownCapacity);
  knownDevices().records[41].lastSeen = 5;  // "Dev 42" was seen longest ago but has a password
  knownDevices().records[41].password = "Not PL3D-9QVE";
  knownDevices().records[70].lastSeen = 6;
  EXPECT_EQ(AppendKnownDevice(macOf(0xEE, 0x02), "Newcomer"), kKnownCapacity);
  EXPECT_EQ(FindKnownByName("Dev 71"), 0);
  EXPECT_EQ(FindKnownByName("Dev 42"), 42);
  EXPECT_GT(KnownAt(kKnownCapacity)->lastSeen, 1000 + kKnownCapacity);  // stamped now
  for (int i = 0; i < 250; ++i) AppendKnownDevice(macOf(static_cast<std::uint8_t>(i), 0x06), "x");
  EXPECT_EQ(knownDevices().knownCount, kKnownCapacity);
  EXPECT_EQ(KnownAt(1)->name, "Dev 42");  // outlasts every newcomer
  EXPECT_EQ(AppendKnownDevice(kNoMac, "none"), 0);

  // Every record holds a password: the newcomer is not kept and nothing is lost.
  for (KnownDevice& r : knownDevices().records) r.password = "ABCD-EFGH";
  const KnownDeviceTable before = knownDevices();
  EXPECT_EQ(AppendKnownDevice(macOf(0xEF, 0x02), "Late"), 0);
  EXPECT_EQ(knownDevices().records, before.records);
}

}  // namespace
}  // namespace quorrel::persistence::testing
