// The local search: the family order and the probe waits of each family, what it learns of
// the local device, and the name it gives the local network.
#include "crypto/keys.h"
#include "scan/network_naming.h"
#include "scan_fixture.h"

namespace quorrel::scan::testing {
namespace {

std::uint16_t etherType(const std::vector<std::uint8_t>& f) {
  return readBe16(f, 12);
}

// The kind of each frame the host sent: "AV" for vendor management frames, "HP1:<entry type>".
std::vector<std::string> kinds(const std::vector<std::vector<std::uint8_t>>& sent) {
  std::vector<std::string> out;
  for (const auto& f : sent) {
    char text[16];
    if (etherType(f) == 0x88E1)
      std::snprintf(text, sizeof text, "AV:%04X", readLe16(f, 15));
    else
      std::snprintf(text, sizeof text, "HP1:%02X", f[15]);
    out.push_back(text);
  }
  return out;
}

class LocalSearchTest : public ScanFixture {};

TEST_F(LocalSearchTest, NothingAttachedTriesEachFamilyInTurnWithItsWaits) {
  attach("");
  const std::uint64_t start = nowMs();
  EXPECT_FALSE(LocalSearch());
  const std::uint64_t took = nowMs() - start;
  // AV version request, Turbo identity, then three network statistics requests.
  EXPECT_EQ(kinds(backend.sent(0)),
            (std::vector<std::string>{"AV:A000", "HP1:02", "HP1:1A", "HP1:1A", "HP1:1A"}));
  // 100 ms for the AV answer, 100 ms of Turbo replies, 50 + 150 + 250 ms of HomePlug 1.0.
  EXPECT_GE(took, 650u);
  EXPECT_LE(took, 680u);
  EXPECT_FALSE(listener.upgradeEnabled);
}

TEST_F(LocalSearchTest, AvDeviceEndsTheSearchAndIsIdentified) {
  attach(std::string(kAvLocal));
  attach("", MacAddress{0x02, 0, 0, 0, 0, 0x11});
  transport::setCurrentInterface(0);
  EXPECT_TRUE(LocalSearch());
  // The second version request gives the answer that is identified; no older family is tried;
  // then the parameter block is read, piece by piece, for the network key.
  const auto sent = kinds(backend.sent(0));
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[0], "AV:A000");
  EXPECT_EQ(sent[1], "AV:A000");
  EXPECT_TRUE(std::all_of(sent.begin() + 2, sent.end(),
                          [](const std::string& k) { return k == "AV:A024"; }));
  EXPECT_EQ(kinds(backend.sent(1)), (std::vector<std::string>{"AV:A000"}));
  // The scenario's key is the default network membership key.
  EXPECT_EQ(api::deviceTable().localAvNetworkKey, defaultAvNetworkKey());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, "HomePlugAV");
  const api::InterfaceDevices& d = api::interfaceDevices(0);
  EXPECT_TRUE(d.localPresent);
  EXPECT_EQ(d.localMac, kAvLocalMac);
  EXPECT_EQ(d.localClass, api::DeviceClass::AvFirstGeneration);
  EXPECT_EQ(d.localFirmware.view().substr(0, 8), "LQA-130-");
  EXPECT_EQ(d.interfaceMac, sim::kDefaultHostMac);
  EXPECT_FALSE(api::interfaceDevices(1).localPresent);
  EXPECT_TRUE(api::deviceTable().avLocal);
  EXPECT_EQ(api::deviceTable().localChipName, "LQA-130");
  EXPECT_TRUE(listener.upgradeEnabled);
}

TEST_F(LocalSearchTest, AvLocalOnlyWhenOnTheCurrentInterface) {
  attach("");
  attach(std::string(kAvLocalSecondGen), MacAddress{0x02, 0, 0, 0, 0, 0x11});
  transport::setCurrentInterface(0);
  EXPECT_TRUE(LocalSearch());
  EXPECT_FALSE(api::deviceTable().avLocal);
  EXPECT_EQ(transport::currentInterface(), 0u);
  EXPECT_TRUE(api::interfaceDevices(1).localPresent);
  EXPECT_EQ(api::interfaceDevices(1).localClass, api::DeviceClass::AvSecondGeneration);
  // Nothing on the current interface to name: no known record was made.
  EXPECT_EQ(persistence::knownDevices().knownCount, 0);
}

TEST_F(LocalSearchTest, ChipNameIsTheCurrentInterfacesNotTheLastIdentified) {
  attach(std::string(kAvLocal));
  attach(std::string(kAvLocalSecondGen), MacAddress{0x02, 0, 0, 0, 0, 0x11});
  transport::setCurrentInterface(0);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::deviceTable().localChipName, "LQA-130");
  transport::setCurrentInterface(1);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::deviceTable().localChipName, "LQ-B200");
}

const char* kTurboLocal =
    "[local]\nmac 00:B0:52:60:00:01\nfamily turbo\nnetwork_key 0123456789ABCDEF\n"
    "[remote]\nmac 00:B0:52:60:00:02\nfamily turbo\nrate 2812\n";
const char* kHp1Local =
    "[local]\nmac 00:B0:52:50:00:01\nfamily hp1\nnetwork_key 0123456789ABCDEF\n"
    "[remote]\nmac 00:B0:52:50:00:02\nfamily hp1\nrate 300\n";

TEST_F(LocalSearchTest, TurboDeviceFoundBeforeHomePlug1) {
  attach(kTurboLocal);
  EXPECT_TRUE(LocalSearch());
  const auto k = kinds(backend.sent(0));
  ASSERT_GE(k.size(), 3u);
  EXPECT_EQ(k[0], "AV:A000");
  EXPECT_EQ(k[1], "HP1:02");  // identity
  EXPECT_EQ(std::count(k.begin(), k.end(), "HP1:1A"), 0);
  EXPECT_TRUE(api::deviceTable().turboLocal);
  const api::InterfaceDevices& d = api::interfaceDevices(0);
  EXPECT_TRUE(d.localPresent);
  EXPECT_EQ(d.localClass, api::DeviceClass::Turbo);
  // The key read with the private request names the network.
  EXPECT_EQ(api::deviceTable().localHp1NetworkKey,
            (api::Hp1NetworkKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(d.localNetworkName, kUnknownNetworkName);
  EXPECT_TRUE(listener.upgradeEnabled);
}

TEST_F(LocalSearchTest, HomePlug1DeviceFoundByItsNetworkStatistics) {
  attach(kHp1Local);
  EXPECT_TRUE(LocalSearch());
  const api::InterfaceState& st = api::interfaceState(0);
  EXPECT_TRUE(st.localPresent);
  EXPECT_EQ(st.localMac, (MacAddress{0x00, 0xB0, 0x52, 0x50, 0x00, 0x01}));
  EXPECT_EQ(st.localClass, api::DeviceClass::HomePlug1);
  // The reply made the intake fetch the local parameters.
  EXPECT_TRUE(st.localAnswered);
  EXPECT_EQ(st.localParameters[15], 0x01);
  // Until the parameters came through the scan's handler the records are left alone.
  EXPECT_FALSE(api::interfaceDevices(0).localPresent);
  EXPECT_FALSE(listener.upgradeEnabled);
}

TEST_F(LocalSearchTest, HomePlug1CycleListsStationsWithRatesAndNamesTheNetwork) {
  attach(kHp1Local);
  ASSERT_TRUE(StartScan(3, 3, true));
  ticks(10);  // one cycle
  const api::InterfaceDevices& d = api::interfaceDevices(0);
  EXPECT_TRUE(d.localPresent);
  EXPECT_EQ(d.localNetworkName, kUnknownNetworkName);
  EXPECT_TRUE(scanState().localParamsValid);
  const api::RemoteDevice& r = d.remotes[0];
  EXPECT_TRUE(r.inUse);
  EXPECT_EQ(r.mac, (MacAddress{0x00, 0xB0, 0x52, 0x50, 0x00, 0x02}));
  EXPECT_EQ(r.rateStats.currentRate, 8);  // raw 300 in the HomePlug 1.0 conversion
  EXPECT_FALSE(d.remotes[1].inUse);
}

// Network naming with the local key given by a stand-in for the parameter block read.
api::NetworkKey givenKey;
int giveKey(const MacAddress&, api::NetworkKey& key) {
  key = givenKey;
  return 1;
}
int failRead(const MacAddress&, api::NetworkKey&) {
  return -1;
}

class NamingTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    setLocalKeyReader(&giveKey);
    attach(std::string(kAvLocal));
  }
};

TEST_F(NamingTest, DefaultKeyNamesThePublicNetworkAndAddsTheLocalDevice) {
  givenKey = crypto::deriveNMK(crypto::kDefaultAvNetworkPassword);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, "HomePlugAV");
  EXPECT_EQ(api::interfaceDevices(0).localNetworkKey, givenKey);
  ASSERT_EQ(persistence::knownDevices().knownCount, 1);
  const persistence::KnownDevice& r = *persistence::KnownAt(1);
  EXPECT_EQ(r.mac, kAvLocalMac);
  EXPECT_EQ(r.name, "Device 1");
  EXPECT_EQ(r.networkName, "HomePlugAV");
  EXPECT_EQ(r.networkKey, givenKey);
}

TEST_F(NamingTest, KeyOfAnotherKnownDeviceGivesItsName) {
  givenKey = crypto::deriveNMK("Kitchen Net");
  const int other = persistence::AppendKnownDevice(MacAddress{2, 0, 0, 0, 0, 9}, "Device 1");
  persistence::KnownAt(other)->networkKey = givenKey;
  persistence::KnownAt(other)->networkName = "Kitchen Net";
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, "Kitchen Net");
  // The new record's default name skips the one taken.
  ASSERT_EQ(persistence::knownDevices().knownCount, 2);
  EXPECT_EQ(persistence::KnownAt(2)->name, "Device 2");
  EXPECT_EQ(persistence::KnownAt(2)->networkName, "Kitchen Net");
}

TEST_F(NamingTest, UnknownKeyGivesTheUnknownNameUnlessKept) {
  givenKey = crypto::deriveNMK("Somebody Else");
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, kUnknownNetworkName);

  // Known now: its own stored key gives its stored name back.
  persistence::KnownAt(1)->networkName = "Mine";
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, "Mine");

  // A key changed behind our back: unknown, unless the pages keep the name once.
  givenKey = crypto::deriveNMK("Changed Elsewhere");
  api::deviceTable().localAvNetworkName = "Kept";
  scanState().keepNetworkName = true;
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, "Kept");
  EXPECT_FALSE(scanState().keepNetworkName);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, kUnknownNetworkName);
}

TEST_F(NamingTest, CompletedNameSettingIsTakenOver) {
  givenKey = crypto::deriveNMK("Just Set");
  ASSERT_TRUE(LocalSearch());
  api::interfaceDevices(0).localNetworkName = "Just Set";
  scanState().networkNameSetPending = true;
  ASSERT_TRUE(LocalSearch());
  EXPECT_FALSE(scanState().networkNameSetPending);
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, "Just Set");
  EXPECT_EQ(persistence::KnownAt(1)->networkName, "Just Set");
  EXPECT_EQ(persistence::KnownAt(1)->networkKey, givenKey);
}

TEST_F(NamingTest, FailedKeyReadKeepsThePreviousKey) {
  givenKey = crypto::deriveNMK(crypto::kDefaultAvNetworkPassword);
  ASSERT_TRUE(LocalSearch());
  setLocalKeyReader(&failRead);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::deviceTable().localAvNetworkKey, givenKey);
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, "HomePlugAV");
}

TEST_F(NamingTest, NoKeyMatchesNoKeylessRecordAndNoOtherDevicesKey) {
  // A remote listed before, recorded without a key, with the name of the network it was in.
  const int keyless = persistence::AppendKnownDevice(MacAddress{2, 0, 0, 0, 0, 9}, "Device 1");
  persistence::KnownAt(keyless)->networkName = "HomePlugAV";
  givenKey = {};
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, kUnknownNetworkName);

  // Another local device whose key cannot be read does not take this one's key.
  givenKey = crypto::deriveNMK(crypto::kDefaultAvNetworkPassword);
  ASSERT_TRUE(LocalSearch());
  ASSERT_EQ(api::interfaceDevices(0).localNetworkName, "HomePlugAV");
  networks[0]->scenario().local.mac = MacAddress{0x00, 0xB0, 0x52, 0x10, 0x00, 0x0E};
  setLocalKeyReader(&failRead);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localMac, (MacAddress{0x00, 0xB0, 0x52, 0x10, 0x00, 0x0E}));
  EXPECT_EQ(api::deviceTable().localAvNetworkKey, api::NetworkKey{});
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, kUnknownNetworkName);
}

TEST(DefaultKeys, EveryHomePlug1FormCounts) {
  const auto a = hp1DefaultKeyA();
  const crypto::Key nek = crypto::deriveNEK(crypto::kDefaultHp1NetworkPassword);
  EXPECT_TRUE(std::equal(a.begin(), a.end(), nek.begin()));
  const auto b = hp1DefaultKeyB();
  EXPECT_EQ(b[0], 0x01);
  EXPECT_TRUE(std::equal(a.begin(), a.end() - 1, b.begin() + 1));
  EXPECT_TRUE(isDefaultHp1Key(a));
  EXPECT_TRUE(isDefaultHp1Key(b));
  EXPECT_TRUE(isDefaultHp1Key(hp1DefaultKeyC()));
  auto other = a;
  other[7] ^= 1;
  EXPECT_FALSE(isDefaultHp1Key(other));
  EXPECT_FALSE(isDefaultHp1Key(ByteSpan(a).first(7)));
  api::NetworkKey wide{};
  std::copy(b.begin(), b.end(), wide.begin());
  wide[12] = 0x55;  // only the first 8 bytes count
  EXPECT_TRUE(isDefaultKey(KeyFamily::Hp1, wide));
  EXPECT_FALSE(isDefaultKey(KeyFamily::Av, wide));
}

}  // namespace
}  // namespace quorrel::scan::testing
