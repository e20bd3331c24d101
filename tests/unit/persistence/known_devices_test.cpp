// Lookups, removals and the bound of the known-device table.
#include "persistence/known_devices.h"

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

TEST_F(KnownDevicesTest, LookupsGiveOneBasedIndexOrZero) {
  fill(3);
  EXPECT_EQ(FindKnownByMac(macOf(2)), 2);
  EXPECT_EQ(FindKnownByMac(macOf(9)), 0);
  EXPECT_EQ(FindKnownByMacText("00:B0:52:10:20:03"), 3);
  EXPECT_EQ(FindKnownByMacText("00:b0:52:10:20:03"), 0);  // exact text only
  EXPECT_EQ(FindKnownByMacText("00-B0-52-10-20-03"), 0);
  EXPECT_EQ(FindKnownByName("Dev 1"), 1);
  EXPECT_EQ(FindKnownByName("dev 1"), 0);
  EXPECT_EQ(FindKnownByName("Dev"), 0);
  // Records past the count are not searched, even if something was left there.
  knownDevices().records[5].mac = macOf(6);
  EXPECT_EQ(FindKnownByMac(macOf(6)), 0);
  EXPECT_EQ(KnownAt(0), nullptr);
  EXPECT_EQ(KnownAt(4), nullptr);
}

TEST_F(KnownDevicesTest, KeyLookupPrefersAFullMatchAndCutsTheName) {
  fill(3);
  knownDevices().records[0].networkKey = {1, 2, 3, 4, 5, 6, 7, 8, 0xFF};
  knownDevices().records[0].networkName = "Eight bytes";
  knownDevices().records[2].networkKey = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  knownDevices().records[2].networkName = std::string(51, 'x');
  const std::array<std::uint8_t, 16> key{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  api::NetworkName found;
  EXPECT_EQ(FindKnownByKey(key, "AV", &found), 3);
  EXPECT_EQ(found.view(), std::string(39, 'x'));  // 52-byte field into a 40-byte one
  EXPECT_EQ(FindKnownByKey(key, "Turbo"), 3);
  EXPECT_EQ(FindKnownByKey(key, "av"), 0);
  EXPECT_EQ(FindKnownByKey(key, ""), 0);
  std::array<std::uint8_t, 16> other = key;
  other[15] = 0;
  EXPECT_EQ(FindKnownByKey(other, "AV", &found), 1);  // first 8 bytes
  EXPECT_EQ(found, "Eight bytes");
  const std::array<std::uint8_t, 8> hp1{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(FindKnownByKey(hp1, "Turbo"), 1);
  const std::array<std::uint8_t, 3> shortKey{9, 9, 9};
  EXPECT_EQ(FindKnownByKey(shortKey, "AV"), 0);
}

TEST_F(KnownDevicesTest, RemoveKnownDeviceDropsRecordEntryAndRow) {
  fill(4);
  api::UpsertRemote(macOf(2));
  api::UpsertRemote(macOf(3));
  std::vector<MacAddress> rowsRemoved;
  setRemoteRowRemover([&](const MacAddress& m) { rowsRemoved.push_back(m); });

  EXPECT_EQ(RemoveKnownDevice(2), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"Dev 1", "Dev 3", "Dev 4"}));
  EXPECT_TRUE(isZeroMac(knownDevices().records[3].mac));
  EXPECT_EQ(api::FindRemote(macOf(2)), nullptr);
  EXPECT_EQ(api::currentDevices().remotes[0].mac, macOf(3));  // moved up
  EXPECT_EQ(rowsRemoved, std::vector<MacAddress>{macOf(2)});

  // Indices that name no record change nothing.
  for (const int bad : {0, -1, 4, 100, 101}) EXPECT_EQ(RemoveKnownDevice(bad), 0) << bad;
  EXPECT_EQ(knownDevices().knownCount, 3);
}

TEST_F(KnownDevicesTest, RemoveKnownByMacLeavesTheListAlone) {
  fill(3);
  api::UpsertRemote(macOf(1));
  api::UpsertRemote(macOf(7));
  int rows = 0;
  setRemoteRowRemover([&](const MacAddress&) { ++rows; });
  EXPECT_EQ(RemoveKnownByMac(macOf(1)), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"Dev 2", "Dev 3"}));
  EXPECT_EQ(api::FindRemote(macOf(1)), nullptr);
  // No record, but the remote entry still goes.
  EXPECT_EQ(RemoveKnownByMac(macOf(7)), 0);
  EXPECT_EQ(api::FindRemote(macOf(7)), nullptr);
  EXPECT_EQ(rows, 0);
}

TEST_F(KnownDevicesTest, PurgeRemovesUnaddressedRecordsInOrder) {
  fill(5);
  knownDevices().records[0].mac = kNoMac;
  knownDevices().records[3].mac = kNoMac;
  EXPECT_EQ(PurgeUnaddressedKnown(), 2);
  EXPECT_EQ(names(), (std::vector<std::string>{"Dev 2", "Dev 3", "Dev 5"}));
  EXPECT_TRUE(knownDevices().records[3].name.empty());
  EXPECT_EQ(PurgeUnaddressedKnown(), 0);
}

TEST_F(KnownDevicesTest, FullTableGivesTheOldestSeenRecordsPlace) {
  fill(kKnownCapacity);
  knownDevices().records[41].lastSeen = 5;  // "Dev 42" was seen longest ago
  knownDevices().records[70].lastSeen = 5;
  const int k = AppendKnownDevice(macOf(0xEE, 0x02), "Newcomer");
  EXPECT_EQ(k, kKnownCapacity);
  EXPECT_EQ(knownDevices().knownCount, kKnownCapacity);
  EXPECT_EQ(FindKnownByName("Dev 42"), 0);
  EXPECT_EQ(FindKnownByName("Dev 71"), 70);
  EXPECT_EQ(FindKnownByName("Newcomer"), kKnownCapacity);
  EXPECT_GT(KnownAt(k)->lastSeen, 1000 + kKnownCapacity);  // stamped now
  for (int i = 0; i < 250; ++i) AppendKnownDevice(macOf(static_cast<std::uint8_t>(i), 0x06), "x");
  EXPECT_EQ(knownDevices().knownCount, kKnownCapacity);
  EXPECT_EQ(AppendKnownDevice(kNoMac, "none"), 0);
}

TEST_F(KnownDevicesTest, DefaultNameTakesTheFirstFreeNumber) {
  EXPECT_EQ(DefaultDeviceName(), "Device 1");
  AppendKnownDevice(macOf(1), "Device 2");
  EXPECT_EQ(DefaultDeviceName(), "Device 1");  // "Device 2" taken, so counting from 1
  AppendKnownDevice(macOf(2), "Device 1");
  EXPECT_EQ(DefaultDeviceName(), "Device 3");
  AppendKnownDevice(macOf(3), "Device 4");
  AppendKnownDevice(macOf(4), "Device 3");
  EXPECT_EQ(DefaultDeviceName(), "Device 5");
}

TEST_F(KnownDevicesTest, PasswordPrefixesComeOff) {
  KnownDevice r;
  const std::pair<const char*, const char*> cases[] = {
      {"Not ABCD", "ABCD"}, {"CHECK PL3D-9QVE", "PL3D-9QVE"},
      {"Not", "Not"},       {"CHECK", "CHECK"},
      {"plain", "plain"},   {"Not Not x", "Not x"}};
  for (const auto& [stored, shown] : cases) {
    r.password = stored;
    StripPasswordPrefix(r);
    EXPECT_EQ(r.password, shown) << stored;
  }
}

}  // namespace
}  // namespace quorrel::persistence::testing
