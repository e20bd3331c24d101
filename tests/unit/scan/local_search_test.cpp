// The local search: the family order and the probe waits of each family, what it learns of
// the local device, and the name it gives the local network. (The class each family's device is
// given: the untouched run of the local search's sweep.)
// Then every step of the scan's exchanges failed once in turn against the simulation: the Nth
// send fails, or the Nth frame received is dropped, damaged or late. After each run the local
// search has found the right device or none (never another device's address), the local key
// read has the adapter's key or leaves the old one, and the station list answers only with
// stations.
#include "api/local_network_key.h"
#include "crypto/keys.h"
#include "scan/network_naming.h"
#include "scan_fixture.h"
#include "support/failure_injector.h"
#include "thpapi/decoder.h"
#include "thpapi/frame_layout.h"

namespace quorrel::scan::testing {
namespace {

// The kind of each frame the host sent: "AV:<type>" for vendor management frames,
// "HP1:<entry type>".
std::vector<std::string> kinds(const std::vector<std::vector<std::uint8_t>>& sent) {
  std::vector<std::string> out;
  for (const auto& f : sent) {
    char text[16];
    if (readBe16(f, 12) == 0x88E1)
      std::snprintf(text, sizeof text, "AV:%04X", readLe16(f, 15));
    else
      std::snprintf(text, sizeof text, "HP1:%02X", f[15]);
    out.push_back(text);
  }
  return out;
}

constexpr MacAddress kSecondHost{0x02, 0, 0, 0, 0, 0x11};

class LocalSearchTest : public ScanFixture {};

TEST_F(LocalSearchTest, NothingAttachedTriesEachFamilyInTurnWithItsWaitsAndStartsNoScan) {
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
  EXPECT_FALSE(reported().upgradeEnabled);
  // So no scan starts: no timer, and the list is cleared.
  api::currentDevices().remotes[0].inUse = true;
  EXPECT_FALSE(StartScan(3, 3, true));
  EXPECT_FALSE(scanTimerRunning());
  EXPECT_TRUE(reported().timer.empty());
  EXPECT_FALSE(remote(0).inUse);
}

TEST_F(LocalSearchTest, AvDeviceEndsTheSearchAndIsIdentifiedOnTheCurrentInterface) {
  attach(kAvLocal);
  attach("", kSecondHost);
  transport::setCurrentInterface(0);
  EXPECT_TRUE(LocalSearch());
  // The second version request gives the answer that is identified; no older family is tried;
  // then the parameter block is read, piece by piece, for the network key.
  auto sent = kinds(backend.sent(0));
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[0] + sent[1], "AV:A000AV:A000");
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AV:A024"), sent.size() - 2);
  EXPECT_EQ(kinds(backend.sent(1)), (std::vector<std::string>{"AV:A000"}));
  // The scenario's key is the default network membership key.
  EXPECT_EQ(api::deviceTable().localAvNetworkKey, defaultAvNetworkKey());
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, "HomePlugAV");
  EXPECT_FALSE(api::interfaceDevices(1).localPresent);
  EXPECT_TRUE(api::deviceTable().avLocal);
  EXPECT_TRUE(reported().upgradeEnabled);

  // A device on another interface only: no AV local, and nothing on the current one to name.
  attach(kAvLocalSecondGen, MacAddress{0x02, 0, 0, 0, 0, 0x12});
  transport::setCurrentInterface(1);
  const int known = persistence::knownDevices().knownCount;
  EXPECT_TRUE(LocalSearch());
  EXPECT_FALSE(api::deviceTable().avLocal);
  EXPECT_EQ(transport::currentInterface(), 1u);
  EXPECT_EQ(api::interfaceDevices(2).localClass, api::DeviceClass::AvSecondGeneration);
  EXPECT_EQ(persistence::knownDevices().knownCount, known);
  // The chip name is the current interface's, not the last one identified.
  transport::setCurrentInterface(2);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::deviceTable().localChipName, "LQ-B200");
  transport::setCurrentInterface(0);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::deviceTable().localChipName, "LQA-130");
}

// Twenty searches under a flood of unrelated management frames, a burst every millisecond, on
// the adapter's interface and on the one before it, whose capture therefore always has a
// frame: the adapter is found and identified every time.
TEST_F(LocalSearchTest, FindsTheAdapterEveryTimeUnderAFlood) {
  const std::string noise = "[behaviour]\nnoise on\nnoise_interval_us 800\n";
  sim::Network* before = attach("[local]\nmac 00:B0:52:50:00:01\nfamily hp1\n" + noise);
  attach(kAvLocal + noise, kSecondHost);
  transport::setCurrentInterface(1);
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(LocalSearch());
    EXPECT_TRUE(api::deviceTable().avLocal);
    EXPECT_EQ(api::interfaceDevices(1).localMac, kAvLocalMac);
    EXPECT_EQ(api::interfaceDevices(1).localClass, api::DeviceClass::AvFirstGeneration);
  }
  EXPECT_GT(before->stats().noise, 2000u);
}

TEST_F(LocalSearchTest, TurboDeviceFoundBeforeHomePlug1) {
  attach(
      "[local]\nmac 00:B0:52:60:00:01\nfamily turbo\nnetwork_key 0123456789ABCDEF\n"
      "[remote]\nmac 00:B0:52:60:00:02\nfamily turbo\nrate 2812\n");
  EXPECT_TRUE(LocalSearch());
  // After the AV probe, the identity request, and no HomePlug 1.0 probe.
  const auto k = kinds(backend.sent(0));
  EXPECT_EQ(std::vector<std::string>(k.begin(), k.begin() + 2),
            (std::vector<std::string>{"AV:A000", "HP1:02"}));
  EXPECT_EQ(std::count(k.begin(), k.end(), "HP1:1A"), 0);
  // The key read with the private request names the network.
  EXPECT_EQ(api::deviceTable().localHp1NetworkKey,
            (api::Hp1NetworkKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, kUnknownNetworkName);
  EXPECT_TRUE(reported().upgradeEnabled);
}

TEST_F(LocalSearchTest, HomePlug1DeviceFoundByItsStatisticsThenListsStations) {
  attach(
      "[local]\nmac 00:B0:52:50:00:01\nfamily hp1\nnetwork_key 0123456789ABCDEF\n"
      "[remote]\nmac 00:B0:52:50:00:02\nfamily hp1\nrate 300\n");
  ASSERT_TRUE(StartScan(3, 3, true));
  // The probe's reply asked for the local parameters, which the search fetched before it
  // named the network: the first search already fills the records.
  EXPECT_TRUE(api::interfaceState(0).localAnswered);
  EXPECT_TRUE(api::interfaceDevices(0).localPresent);
  EXPECT_FALSE(reported().upgradeEnabled);

  ticks(10);  // one cycle
  const api::InterfaceDevices& d = api::interfaceDevices(0);
  EXPECT_TRUE(d.localPresent);
  EXPECT_EQ(d.localNetworkName, kUnknownNetworkName);
  EXPECT_EQ(d.remotes[0].rateStats.currentRate, 8);  // raw 300 in the HomePlug 1.0 conversion
  EXPECT_FALSE(d.remotes[1].inUse);
}

// Searches without an answer count up to 3; the fourth starts the count afresh at 0, and an
// answer leaves it at 1.
TEST_F(LocalSearchTest, HomePlug1ProbeCounterSequences) {
  sim::Network* net = attach("[local]\nmac 00:B0:52:50:00:01\nfamily hp1\n");
  const struct {
    bool answers;
    int attempts;
  } steps[] = {{true, 1}, {false, 2}, {false, 3}, {false, 0}, {false, 1}, {true, 1}, {false, 2}};
  for (const auto& s : steps) {
    net->behaviour().dropEvery = s.answers ? 0 : 1;
    const bool found = LocalSearch();
    EXPECT_EQ(found, s.answers);
    EXPECT_EQ(api::interfaceState(0).probeAttempts, s.attempts);
  }
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
    attach(kAvLocal);
  }
  std::string name() { return std::string(api::interfaceDevices(0).localNetworkName.view()); }
};

TEST_F(NamingTest, KeyOfAnotherKnownDeviceGivesItsName) {
  givenKey = crypto::deriveNMK("Kitchen Net");
  const int other = persistence::appendKnownDevice(MacAddress{2, 0, 0, 0, 0, 9}, "Device 1");
  persistence::knownAt(other)->networkKey = givenKey;
  persistence::knownAt(other)->networkName = "Kitchen Net";
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(name(), "Kitchen Net");
  // The new record's default name skips the one taken.
  ASSERT_EQ(persistence::knownDevices().knownCount, 2);
  EXPECT_EQ(persistence::knownAt(2)->name, "Device 2");
  EXPECT_EQ(persistence::knownAt(2)->networkName, "Kitchen Net");
}

TEST_F(NamingTest, DefaultKeyNamesThePublicNetworkUnknownKeysTheUnknownUnlessKeptOrJustSet) {
  // The public network's key, and the local device added under it.
  givenKey = crypto::deriveNMK(crypto::kDefaultAvNetworkPassword);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(name(), "HomePlugAV");
  EXPECT_EQ(api::interfaceDevices(0).localNetworkKey, givenKey);
  ASSERT_EQ(persistence::knownDevices().knownCount, 1);
  const persistence::KnownDevice& r = *persistence::knownAt(1);
  EXPECT_EQ(r.mac, kAvLocalMac);
  EXPECT_EQ(r.name, "Device 1");
  EXPECT_EQ(r.networkName, "HomePlugAV");
  EXPECT_EQ(r.networkKey, givenKey);

  givenKey = crypto::deriveNMK("Somebody Else");
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(name(), kUnknownNetworkName);

  // Its own record holding the key gives the record's name back.
  persistence::knownAt(1)->networkKey = givenKey;
  persistence::knownAt(1)->networkName = "Mine";
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(name(), "Mine");

  // A key changed behind our back: unknown, unless the pages keep the name once.
  givenKey = crypto::deriveNMK("Changed Elsewhere");
  api::deviceTable().localAvNetworkName = "Kept";
  scanState().keepNetworkName = true;
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(name(), "Kept");
  EXPECT_FALSE(scanState().keepNetworkName);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(name(), kUnknownNetworkName);

  // A completed name setting is taken over with the key it set.
  givenKey = crypto::deriveNMK("Just Set");
  api::interfaceDevices(0).localNetworkName = "Just Set";
  scanState().networkNameSetPending = true;
  ASSERT_TRUE(LocalSearch());
  EXPECT_FALSE(scanState().networkNameSetPending);
  EXPECT_EQ(name(), "Just Set");
  EXPECT_EQ(persistence::knownAt(1)->networkName, "Just Set");
  EXPECT_EQ(persistence::knownAt(1)->networkKey, givenKey);
}

TEST_F(NamingTest, NoKeyAndFailedReadsMatchNothing) {
  // A remote listed before, recorded without a key, with the name of the network it was in.
  const int keyless = persistence::appendKnownDevice(MacAddress{2, 0, 0, 0, 0, 9}, "Device 1");
  persistence::knownAt(keyless)->networkName = "HomePlugAV";
  givenKey = {};
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(name(), kUnknownNetworkName);

  // A failed read keeps this device's previous key ...
  givenKey = crypto::deriveNMK(crypto::kDefaultAvNetworkPassword);
  ASSERT_TRUE(LocalSearch());
  setLocalKeyReader(&failRead);
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::deviceTable().localAvNetworkKey, givenKey);
  EXPECT_EQ(name(), "HomePlugAV");
  // ... but another local device whose key cannot be read does not take it.
  networks[0]->scenario().local.mac = MacAddress{0x00, 0xB0, 0x52, 0x10, 0x00, 0x0E};
  ASSERT_TRUE(LocalSearch());
  EXPECT_EQ(api::interfaceDevices(0).localMac, (MacAddress{0x00, 0xB0, 0x52, 0x10, 0x00, 0x0E}));
  EXPECT_EQ(api::deviceTable().localAvNetworkKey, api::NetworkKey{});
  EXPECT_EQ(name(), kUnknownNetworkName);
}

TEST(DefaultKeys, EveryHomePlug1FormCounts) {
  // The derived key, the same behind selector 1, and selector 1 with no key.
  const crypto::Key nek = crypto::deriveNEK(crypto::kDefaultHp1NetworkPassword);
  api::NetworkKey a{}, b{0x01}, c{0x01};
  std::copy_n(nek.begin(), 8, a.begin());
  std::copy_n(nek.begin(), 7, b.begin() + 1);
  b[12] = 0x55;  // only the first 8 bytes count
  for (const auto& k : {a, b, c}) EXPECT_TRUE(isDefaultKey(KeyFamily::Hp1, k));
  a[7] ^= 1;
  EXPECT_FALSE(isDefaultKey(KeyFamily::Hp1, a));
  EXPECT_FALSE(isDefaultKey(KeyFamily::Av, b));
  EXPECT_FALSE(isDefaultHp1Key(ByteSpan(c).first(7)));
}

using quorrel::testing::FailureInjector;
using quorrel::testing::Fault;

class ScanSweep : public ScanFixture {
 protected:
  // A fresh table and scan with the interfaces opened through `injector` (`open`: interface 0
  // opened and current, as the scan leaves it after a local search).
  void through(FailureInjector& injector, bool open = false) {
    transport::resetInterfaceTable();
    api::resetDeviceTable();
    brantleapi::resetTurboState();
    resetScan();
    transport::setBackend(&injector);
    if (!open) return;
    transport::EnumerateInterfaces();
    transport::OpenInterface(0);
    transport::setCurrentInterface(0);
  }
  template <typename Run, typename Check>
  void sweepAll(Run run, Check check) {
    for (const Fault fault : quorrel::testing::kEveryFault) {
      SCOPED_TRACE(quorrel::testing::faultName(fault));
      const std::uint32_t runs = quorrel::testing::sweep(backend, fault, &clock, run, check);
      EXPECT_GE(runs, 2u);
    }
  }
};

struct Family {
  const char* scenario;
  MacAddress local;
  api::DeviceClass cls;
};

const Family kFamilies[] = {
    {"[local]\nmac 00:B0:52:10:00:01\nchip 2\n"
     "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 100\n",
     MacAddress{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01}, api::DeviceClass::AvFirstGeneration},
    {"[local]\nmac 00:04:87:10:00:01\nfamily turbo\n",
     MacAddress{0x00, 0x04, 0x87, 0x10, 0x00, 0x01}, api::DeviceClass::Turbo},
    {"[local]\nmac 00:04:87:30:00:01\nfamily hp1\n", MacAddress{0x00, 0x04, 0x87, 0x30, 0x00, 0x01},
     api::DeviceClass::HomePlug1},
};

class LocalSearchSweep : public ScanSweep, public ::testing::WithParamInterface<int> {};

TEST_P(LocalSearchSweep, FindsItsDeviceOrNone) {
  const Family& f = kFamilies[GetParam()];
  attach(f.scenario);
  bool found = false;
  sweepAll(
      [&](FailureInjector& injector) {
        through(injector);
        found = LocalSearch();
      },
      [&](std::uint32_t n, const FailureInjector& injector) {
        SCOPED_TRACE(n);
        const api::InterfaceState& st = api::interfaceState(0);
        if (found) {
          EXPECT_EQ(st.localMac, f.local);
          EXPECT_EQ(st.localClass, f.cls);
        } else {
          EXPECT_FALSE(api::interfaceDevices(0).localPresent);
        }
        EXPECT_TRUE(found || injector.triggered());
        EXPECT_LE(notices.shown.size(), 1u);
        notices.clear();
      });
}

INSTANTIATE_TEST_SUITE_P(AvTurboHomePlug1, LocalSearchSweep, ::testing::Values(0, 1, 2));

TEST_F(ScanSweep, LocalKeyReadHasTheAdaptersKeyOrKeepsTheOld) {
  attach(kAvLocal);
  const api::NetworkKey old{1, 2, 3};
  const api::NetworkKey adapters{0x50, 0xD3, 0xE4, 0x93, 0x3F, 0x85, 0x5B, 0x70,
                                 0x40, 0x78, 0x4D, 0xF8, 0x15, 0xAA, 0x8D, 0xB7};
  api::NetworkKey key{};
  int result = 0;
  sweepAll(
      [&](FailureInjector& injector) {
        through(injector, true);
        key = old;
        result = api::ReadLocalNetworkKey(receivePath(), kAvLocalMac, key);
      },
      [&](std::uint32_t n, const FailureInjector& injector) {
        SCOPED_TRACE(n);
        EXPECT_EQ(key, result == 1 ? adapters : old);
        EXPECT_TRUE(result == 1 || injector.triggered());
      });
}

TEST_F(ScanSweep, StationListAnswersWithTheStationsOrNothing) {
  attach(kAvLocal + stations(3));
  bool answered = false;
  thpapi::ThapiResult r;
  sweepAll(
      [&](FailureInjector& injector) {
        through(injector, true);
        thpapi::SendAvRequest(kAvLocalMac, thpapi::kNetworkInfoRequest);
        answered = thpapi::WaitConfirmation(receivePath(), thpapi::kNetworkInfoRequest, r);
      },
      [&](std::uint32_t n, const FailureInjector& injector) {
        SCOPED_TRACE(n);
        if (answered) {
          ASSERT_EQ(r.stations.size(), 3u);
          for (int i = 0; i < 3; ++i) EXPECT_EQ(r.stations[i].mac, stationMac(i + 1));
        }
        EXPECT_TRUE(answered || injector.triggered());
      });
}

}  // namespace
}  // namespace quorrel::scan::testing
