// Remote-entry bookkeeping: sightings, ageing, the 32-entry limit, removal, interface choice;
// raw rate conversions and the rules by which a sample changes an entry's rate history.
#include "api/device_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "api/rate_stats.h"
#include "transport/interface_table.h"

namespace quorrel::api {
namespace {

MacAddress mac(std::uint8_t last, std::uint8_t first = 0x00) {
  return {first, 0x11, 0x22, 0x33, 0x44, last};
}

class DeviceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    transport::resetInterfaceTable();
    resetDeviceTable();
  }
  void TearDown() override { SetUp(); }
  std::array<RemoteDevice, kMaxRemotes>& remotes() { return currentDevices().remotes; }
};

TEST_F(DeviceTableTest, MissedDeviceDropsAtThresholdAndComesBackToItsOldEntry) {
  UpsertRemote(mac(1));
  UpsertRemote(mac(2))->firmware = "LQA-130-FW-2-4-0517";
  // Device 1 keeps being listed; device 2 is missed: 3 -> 2 -> 1 -> 0.
  for (int step = 1; step <= 3; ++step) {
    UpsertRemote(mac(1));
    AgeRemotes();
    EXPECT_EQ(remotes()[1].scansLeft, 3 - step) << step;
    EXPECT_EQ(currentDevices().remoteCount, step < 3 ? 2 : 1) << step;
  }
  AgeRemotes();  // a dropped entry is not dropped again
  RemoteDevice& dropped = remotes()[1];
  EXPECT_FALSE(dropped.inUse);
  EXPECT_EQ(dropped.scansMissed, 3u);

  EXPECT_EQ(UpsertRemote(mac(2)), &dropped);
  EXPECT_TRUE(dropped.inUse);
  EXPECT_EQ(dropped.scansLeft, 3);
  EXPECT_EQ(dropped.timesSeen, 2u);
  EXPECT_EQ(dropped.firmware, "LQA-130-FW-2-4-0517");
}

TEST_F(DeviceTableTest, ThresholdsCountersClassesAndIndexesAreHeldToTheirRanges) {
  setDropThreshold(0);
  EXPECT_EQ(deviceTable().dropThreshold, 1);
  setDropThreshold(25);
  EXPECT_EQ(deviceTable().dropThreshold, 10);
  UpsertRemote(mac(1));
  remotes()[0].scansLeft = -5;  // as a damaged file may hold
  currentDevices().remoteCount = 17;
  AgeRemotes();
  EXPECT_FALSE(remotes()[0].inUse);
  EXPECT_EQ(remotes()[0].scansLeft, 0);
  EXPECT_EQ(currentDevices().remoteCount, 0);
  interfaceState(1).localClass = DeviceClass::AvSecondGeneration;
  EXPECT_EQ(DeviceClassLabel(1), kDeviceClassLabels[5]);
  interfaceState(1).localClass = static_cast<DeviceClass>(0x45);  // a HomePlug 1.0 class byte
  EXPECT_EQ(DeviceClassLabel(1), "Adapter");
  EXPECT_EQ(DeviceClassLabel(8), "Adapter");
  EXPECT_EQ(DeviceClassLabel(-1), "Adapter");
  EXPECT_EQ(ReadFrameCounters(8), FrameCounters{});
  EXPECT_EQ(&interfaceDevices(99), &interfaceDevices(7));
  EXPECT_EQ(&interfaceState(-4), &interfaceState(0));
}

TEST_F(DeviceTableTest, ThirtyThirdDeviceTakesOverTheLastEntryAndRemovalMovesTheRestUp) {
  for (std::uint8_t i = 0; i < kMaxRemotes; ++i) ASSERT_NE(UpsertRemote(mac(i)), nullptr);
  RemoteDevice& last = remotes()[kMaxRemotes - 1];
  last.firmware = "old firmware";
  last.rateStats.highestRate = 85;
  last.scansMissed = 6;
  EXPECT_EQ(UpsertRemote(mac(0xAA)), &last);
  EXPECT_EQ(last.mac, mac(0xAA));
  EXPECT_EQ(last.timesSeen, 1u);
  EXPECT_EQ(last.scansMissed, 0u);
  EXPECT_TRUE(last.firmware.empty());
  EXPECT_EQ(last.rateStats, RateStats{});
  EXPECT_EQ(FindRemote(mac(kMaxRemotes - 1)), nullptr);

  // Removal moves the rest up; clearing keeps the addresses.
  for (RemoteDevice& e : remotes()) e.rateStats.currentRate = 9;
  EXPECT_EQ(RemoveRemote(mac(0x77)), 0);
  EXPECT_EQ(RemoveRemote(kNoMac), 0);
  EXPECT_EQ(RemoveRemote(mac(5)), 1);
  for (int i = 0; i + 2 < kMaxRemotes; ++i) EXPECT_EQ(remotes()[i].mac, mac(i < 5 ? i : i + 1));
  EXPECT_EQ(remotes()[kMaxRemotes - 2].mac, mac(0xAA));
  EXPECT_EQ(remotes()[kMaxRemotes - 1], RemoteDevice{});

  currentDevices().remoteCount = 32;
  ClearRemotes();
  EXPECT_EQ(currentDevices().remoteCount, 0);
  for (const RemoteDevice& e : remotes()) {
    EXPECT_FALSE(e.inUse);
    EXPECT_EQ(e.rateStats.currentRate, 0);
  }
  EXPECT_EQ(FindRemote(mac(3)), &remotes()[3]);
}

TEST_F(DeviceTableTest, UnaddressableAndLocalMacsMakeNoEntry) {
  currentState().localMac = mac(0x50);
  currentDevices().localMac = mac(0x51);
  for (const MacAddress& m : {kNoMac, kBroadcastMac, mac(7, 0x01), mac(0x50), mac(0x51)}) {
    EXPECT_EQ(UpsertRemote(m), nullptr) << formatMac(m);
  }
  for (const RemoteDevice& e : remotes()) EXPECT_EQ(e, RemoteDevice{});
  remotes()[0].inUse = true;  // a zero-MAC entry left by a damaged file is still not found
  EXPECT_EQ(FindRemote(kNoMac), nullptr);
}

TEST_F(DeviceTableTest, SightingRecordsTheFamilysNetworkAndClassOnTheInterfaceSelected) {
  DeviceTable& t = deviceTable();
  t.localAvNetworkKey.fill(0xA5);
  t.localAvNetworkName = "HomePlugAV";
  t.localHp1NetworkKey = {1, 2, 3, 4, 5, 6, 7, 8};
  t.localHp1NetworkName = "HomePlug";
  t.avLocal = true;
  RemoteDevice* av = UpsertRemote(mac(1));
  EXPECT_EQ(av->deviceClass, DeviceClass::AvFirstGeneration);
  EXPECT_EQ(av->networkKey, t.localAvNetworkKey);
  EXPECT_EQ(av->networkName, "HomePlugAV");
  // Seen again under a HomePlug 1.0 local device: class kept, the 8-byte key, zero after it.
  t.avLocal = false;
  UpsertRemote(mac(1));
  EXPECT_EQ(av->networkKey, (NetworkKey{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(av->networkName, "HomePlug");
  EXPECT_EQ(av->deviceClass, DeviceClass::AvFirstGeneration);
  EXPECT_EQ(UpsertRemote(mac(2))->deviceClass, DeviceClass::Usb);

  // Selecting an interface by its MAC address needs a local device there.
  const MacAddress own = mac(0xE0, 0x02), other = mac(0xE1, 0x02);
  interfaceDevices(2).interfaceMac = own;  // no local device there
  interfaceDevices(5).interfaceMac = own;
  interfaceDevices(5).localPresent = true;
  interfaceDevices(5).localClass = DeviceClass::Turbo;
  transport::setCurrentInterface(1);
  EXPECT_FALSE(SelectInterfaceByMac(&other));
  EXPECT_TRUE(SelectInterfaceByMac(nullptr));
  EXPECT_TRUE(SelectInterfaceByMac(&kNoMac));
  EXPECT_EQ(transport::currentInterface(), 1u);
  EXPECT_TRUE(SelectInterfaceByMac(&own));
  EXPECT_EQ(transport::currentInterface(), 5u);
  EXPECT_TRUE(deviceTable().turboLocal);
  UpsertRemote(mac(1));  // remote operations follow the current interface
  EXPECT_EQ(interfaceDevices(5).remotes[0].mac, mac(1));
}

TEST(Rates, ConversionsAtKnownPointsAndWithinTheBoundAndTheRulesOfTheHistory) {
  EXPECT_EQ(rateToMbps(151, RateMode::HomePlugAv), 200);
  EXPECT_EQ(rateToMbps(150, RateMode::HomePlugAv), 198);  // integer quotient of 198.67
  EXPECT_NEAR(rateToMbps(42, RateMode::HomePlug1), 1.01366, 1e-5);
  EXPECT_DOUBLE_EQ(turboRateToMbps(126), 3);
  EXPECT_DOUBLE_EQ(turboRateToMbps(252), 6);
  EXPECT_DOUBLE_EQ(turboRateToMbps(519), 14);
  EXPECT_DOUBLE_EQ(rateToMbps(2812, RateMode::Turbo), 85);
  EXPECT_EQ(rateToMbps(2812, static_cast<RateMode>(3)), 0);
  // No conversion goes beyond the bound the image decoder trusts.
  EXPECT_EQ(rateToMbps(65535, RateMode::HomePlugAv), kMaxRateMbps);
  EXPECT_LT(rateToMbps(65535, RateMode::HomePlug1), kMaxRateMbps);
  EXPECT_LT(rateToMbps(65535, RateMode::Turbo), kMaxRateMbps);

  // A sample: whole rates, the change rule, the extremes and hostile samples.
  RateStats s;
  updateRateStats(s, 42, 7, 9, RateMode::HomePlug1);
  EXPECT_EQ(s, (RateStats{7, 9, 1, 1, 1, true}));  // 1.0137 truncated; the first sets the lowest

  s = RateStats{};
  s.currentRate = 100;
  recordRate(s, 100.02, 0, 0);  // not more than 0.02 away
  EXPECT_FALSE(s.rateChanged);
  recordRate(s, 101, 0, 0);
  recordRate(s, 101, 0, 0);
  EXPECT_TRUE(s.rateChanged);  // stays until the list clears it
  for (double v : {80.0, 30.0, 60.0}) recordRate(s, v, 0, 0);
  EXPECT_EQ(s.lowestRate, 30);
  EXPECT_EQ(s.highestRate, 101);
  recordRate(s, 0.5, 0, 0);  // 0 becomes the lowest, and the next sample replaces it
  recordRate(s, 40, 0, 0);
  EXPECT_EQ(s.lowestRate, 40);

  s = RateStats{};
  updateRateStats(s, 0, 0, 0, RateMode::HomePlug1);  // converts to -0.13
  EXPECT_EQ(s.currentRate, 0);
  EXPECT_FALSE(std::signbit(s.currentRate));
  recordRate(s, std::numeric_limits<double>::quiet_NaN(), 0, 0);
  recordRate(s, std::numeric_limits<double>::infinity(), 0, 0);
  EXPECT_EQ(s.currentRate, 0);
  EXPECT_EQ(s.highestRate, 0);
}

}  // namespace
}  // namespace quorrel::api
