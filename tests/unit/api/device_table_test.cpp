// Remote-entry bookkeeping: sightings, ageing, the 32-entry limit, removal, interface choice.
#include "api/device_table.h"

#include <gtest/gtest.h>

#include "transport/interface_table.h"

namespace quorrel::api {
namespace {

MacAddress mac(std::uint8_t last, std::uint8_t first = 0x00) {
  return {first, 0x11, 0x22, 0x33, 0x44, last};
}

class DeviceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    transport::ResetInterfaceTable();
    ResetDeviceTable();
  }
  void TearDown() override {
    SetAgeingHook(nullptr);
    ResetDeviceTable();
    transport::ResetInterfaceTable();
  }
  InterfaceDevices& devices() { return currentDevices(); }
};

TEST_F(DeviceTableTest, MissedDeviceDropsAtThresholdAndComesBackToItsOldEntry) {
  UpsertRemote(mac(1));
  RemoteDevice* b = UpsertRemote(mac(2));
  ASSERT_NE(b, nullptr);
  b->rateStats.currentRate = 100;
  b->firmware = "LQA-130-FW-2-4-0517";

  // Device 1 keeps being listed; device 2 is missed three times: 3 -> 2 -> 1 -> 0.
  for (int step = 1; step <= 3; ++step) {
    UpsertRemote(mac(1));
    AgeRemotes();
    EXPECT_EQ(devices().remotes[1].scansLeft, 3 - step) << "step " << step;
    EXPECT_EQ(devices().remotes[1].inUse, step < 3) << "step " << step;
    EXPECT_EQ(devices().remoteCount, step < 3 ? 2 : 1) << "step " << step;
  }
  const RemoteDevice& dropped = devices().remotes[1];
  EXPECT_EQ(dropped.scansMissed, 3u);
  EXPECT_EQ(dropped.rateStats.currentRate, 0);
  EXPECT_EQ(dropped.mac, mac(2));
  EXPECT_EQ(dropped.firmware, "LQA-130-FW-2-4-0517");

  // Further steps leave a dropped entry alone.
  AgeRemotes();
  EXPECT_EQ(dropped.scansMissed, 3u);
  EXPECT_EQ(dropped.scansLeft, 0);

  RemoteDevice* again = UpsertRemote(mac(2));
  EXPECT_EQ(again, &devices().remotes[1]);
  EXPECT_TRUE(again->inUse);
  EXPECT_EQ(again->scansLeft, 3);
  EXPECT_EQ(again->timesSeen, 2u);
  EXPECT_EQ(again->firmware, "LQA-130-FW-2-4-0517");
}

TEST_F(DeviceTableTest, AgeingCopesWithDamagedCountersAndCallsTheHook) {
  static int hookCalls;
  hookCalls = 0;
  SetAgeingHook([] { ++hookCalls; });
  auto& r = devices().remotes;
  r[0].mac = mac(1);
  r[0].inUse = true;
  r[0].scansLeft = -5;  // as a damaged file might hold
  r[1].mac = mac(2);
  r[1].inUse = true;
  r[1].scansLeft = 0;
  devices().remoteCount = 17;
  AgeRemotes();
  EXPECT_EQ(hookCalls, 1);
  EXPECT_FALSE(r[0].inUse);
  EXPECT_EQ(r[0].scansLeft, 0);
  EXPECT_FALSE(r[1].inUse);
  EXPECT_EQ(devices().remoteCount, 0);
}

TEST_F(DeviceTableTest, ThresholdIsKeptWithinOneToTen) {
  SetDropThreshold(0);
  EXPECT_EQ(deviceTable().dropThreshold, 1);
  SetDropThreshold(25);
  EXPECT_EQ(deviceTable().dropThreshold, 10);
  SetDropThreshold(-3);
  EXPECT_EQ(deviceTable().dropThreshold, 1);
  SetDropThreshold(10);
  UpsertRemote(mac(1));
  for (int i = 0; i < 9; ++i) AgeRemotes();
  EXPECT_TRUE(devices().remotes[0].inUse);
  AgeRemotes();
  EXPECT_FALSE(devices().remotes[0].inUse);
  EXPECT_EQ(devices().remotes[0].scansMissed, 10u);
}

TEST_F(DeviceTableTest, ThirtyThirdDeviceTakesOverTheLastEntryWithNothingOfTheOld) {
  for (std::uint8_t i = 0; i < kMaxRemotes; ++i) ASSERT_NE(UpsertRemote(mac(i)), nullptr);
  RemoteDevice& last = devices().remotes[kMaxRemotes - 1];
  last.firmware = "old firmware";
  last.vendorText1 = "old vendor";
  last.rateStats.highestRate = 85;
  last.scansMissed = 6;
  UpsertRemote(mac(kMaxRemotes - 1));  // seen twice

  RemoteDevice* newcomer = UpsertRemote(mac(0xAA));
  EXPECT_EQ(newcomer, &last);
  EXPECT_EQ(last.mac, mac(0xAA));
  EXPECT_TRUE(last.inUse);
  EXPECT_EQ(last.timesSeen, 1u);
  EXPECT_EQ(last.scansMissed, 0u);
  EXPECT_TRUE(last.firmware.empty());
  EXPECT_TRUE(last.vendorText1.empty());
  EXPECT_EQ(last.rateStats, RateStats{});
  EXPECT_EQ(FindRemote(mac(kMaxRemotes - 1)), nullptr);
  for (std::uint8_t i = 0; i + 1 < kMaxRemotes; ++i) EXPECT_EQ(devices().remotes[i].mac, mac(i));
}

TEST_F(DeviceTableTest, UnaddressableAndLocalMacsMakeNoEntry) {
  currentState().localMac = mac(0x50);
  EXPECT_EQ(UpsertRemote(kNoMac), nullptr);
  EXPECT_EQ(UpsertRemote(kBroadcastMac), nullptr);
  EXPECT_EQ(UpsertRemote(mac(7, 0x01)), nullptr);  // group bit
  EXPECT_EQ(UpsertRemote(mac(0x50)), nullptr);
  devices().localMac = mac(0x51);
  EXPECT_EQ(UpsertRemote(mac(0x51)), nullptr);
  for (const RemoteDevice& e : devices().remotes) {
    EXPECT_FALSE(e.inUse);
    EXPECT_EQ(e.mac, kNoMac);
  }
  EXPECT_EQ(FindRemote(kNoMac), nullptr);
  // A zero-MAC entry left in a damaged file is still not found by the zero MAC.
  devices().remotes[0].inUse = true;
  EXPECT_EQ(FindRemote(kNoMac), nullptr);
}

TEST_F(DeviceTableTest, SightingRecordsTheFamilysNetworkAndClass) {
  DeviceTable& t = deviceTable();
  t.localAvNetworkKey.fill(0xA5);
  t.localAvNetworkName = "HomePlugAV";
  t.localHp1NetworkKey = {1, 2, 3, 4, 5, 6, 7, 8};
  t.localHp1NetworkName = "HomePlug";

  t.avLocal = true;
  RemoteDevice* av = UpsertRemote(mac(1));
  ASSERT_NE(av, nullptr);
  EXPECT_EQ(av->deviceClass, DeviceClass::AvFirstGeneration);
  EXPECT_EQ(av->networkKey, t.localAvNetworkKey);
  EXPECT_EQ(av->networkName, "HomePlugAV");

  // The same device seen under a HomePlug 1.0 local device keeps its class, takes the 8-byte key.
  t.avLocal = false;
  UpsertRemote(mac(1));
  const NetworkKey hp1Key{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(av->networkKey, hp1Key);
  EXPECT_EQ(av->networkName, "HomePlug");
  EXPECT_EQ(av->deviceClass, DeviceClass::AvFirstGeneration);
  EXPECT_EQ(UpsertRemote(mac(2))->deviceClass, DeviceClass::Usb);
}

TEST_F(DeviceTableTest, RemoveMovesTheRestUpAndClearsTheLast) {
  for (std::uint8_t i = 0; i < kMaxRemotes; ++i) UpsertRemote(mac(i));
  EXPECT_EQ(RemoveRemote(mac(0x77)), 0);
  EXPECT_EQ(RemoveRemote(kNoMac), 0);
  EXPECT_EQ(RemoveRemote(mac(5)), 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(devices().remotes[i].mac, mac(i));
  for (int i = 5; i + 1 < kMaxRemotes; ++i) EXPECT_EQ(devices().remotes[i].mac, mac(i + 1));
  EXPECT_EQ(devices().remotes[kMaxRemotes - 1], RemoteDevice{});
  // The freed place takes the next newcomer.
  EXPECT_EQ(UpsertRemote(mac(0x99)), &devices().remotes[kMaxRemotes - 1]);
}

TEST_F(DeviceTableTest, ClearKeepsAddressesButNothingIsInUse) {
  RemoteDevice* e = UpsertRemote(mac(1));
  e->rateStats.currentRate = 42;
  e->rateStats.highestRate = 50;
  devices().remoteCount = 1;
  ClearRemotes();
  EXPECT_EQ(devices().remoteCount, 0);
  EXPECT_FALSE(e->inUse);
  EXPECT_EQ(e->scansLeft, 0);
  EXPECT_EQ(e->rateStats.currentRate, 0);
  EXPECT_EQ(e->rateStats.highestRate, 50);
  EXPECT_EQ(FindRemote(mac(1)), e);
}

TEST_F(DeviceTableTest, RemoteOperationsWorkOnTheCurrentInterfaceOnly) {
  transport::setCurrentInterface(3);
  UpsertRemote(mac(1));
  EXPECT_EQ(interfaceDevices(3).remotes[0].mac, mac(1));
  EXPECT_EQ(interfaceDevices(0).remotes[0].mac, kNoMac);
  transport::setCurrentInterface(0);
  EXPECT_EQ(FindRemote(mac(1)), nullptr);
  AgeRemotes();
  EXPECT_TRUE(interfaceDevices(3).remotes[0].inUse);
}

TEST_F(DeviceTableTest, SelectInterfaceByMacNeedsALocalDevice) {
  const MacAddress own = mac(0xE0, 0x02);
  interfaceDevices(2).interfaceMac = own;  // no local device there
  interfaceDevices(5).interfaceMac = own;
  interfaceDevices(5).localPresent = true;
  interfaceDevices(5).localClass = DeviceClass::Turbo;
  transport::setCurrentInterface(1);

  const MacAddress other = mac(0xE1, 0x02);
  EXPECT_FALSE(SelectInterfaceByMac(&other));
  EXPECT_EQ(transport::currentInterface(), 1u);
  EXPECT_TRUE(SelectInterfaceByMac(nullptr));
  EXPECT_TRUE(SelectInterfaceByMac(&kNoMac));
  EXPECT_EQ(transport::currentInterface(), 1u);
  EXPECT_FALSE(deviceTable().turboLocal);

  EXPECT_TRUE(SelectInterfaceByMac(&own));
  EXPECT_EQ(transport::currentInterface(), 5u);
  EXPECT_TRUE(deviceTable().turboLocal);
  interfaceDevices(5).localClass = DeviceClass::AvSecondGeneration;
  EXPECT_TRUE(SelectInterfaceByMac(&own));
  EXPECT_FALSE(deviceTable().turboLocal);
}

TEST_F(DeviceTableTest, LabelsCountersAndIndexesOutsideTheTable) {
  for (std::size_t c = 0; c < kDeviceClassLabels.size(); ++c) {
    interfaceState(1).localClass = static_cast<DeviceClass>(c);
    EXPECT_EQ(DeviceClassLabel(1), kDeviceClassLabels[c]);
  }
  EXPECT_EQ(kDeviceClassLabels[5], "HomePlug AV B200 Device");
  interfaceState(1).localClass = static_cast<DeviceClass>(0x45);  // a HomePlug 1.0 class byte
  EXPECT_EQ(DeviceClassLabel(1), "Adapter");
  EXPECT_EQ(DeviceClassLabel(-1), "Adapter");
  EXPECT_EQ(DeviceClassLabel(8), "Adapter");
  EXPECT_EQ(deviceClassLabel(static_cast<DeviceClass>(0xFFFFFFFF)), "Adapter");

  interfaceState(6).framesRead = 9;
  interfaceState(6).bytesWritten = 600;
  EXPECT_EQ(ReadFrameCounters(6), (FrameCounters{0, 9, 600, 0}));
  EXPECT_EQ(ReadFrameCounters(8), FrameCounters{});
  EXPECT_EQ(&interfaceDevices(99), &interfaceDevices(7));
  EXPECT_EQ(&interfaceState(-4), &interfaceState(0));

  transport::setCurrentInterface(4);
  interfaceState(4).localMac = mac(0x0C);
  EXPECT_EQ(LocalDeviceAddress(), mac(0x0C));
}

}  // namespace
}  // namespace quorrel::api
