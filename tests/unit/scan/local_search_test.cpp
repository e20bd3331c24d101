// The local search, the phase machine tick by tick and the HomePlug 1.0 intake against the
// simulation on a virtual clock; each step of the search's exchanges failed once in turn.
#include <cmath>

#include "api/local_network_key.h"
#include "api/rate_stats.h"
#include "crypto/keys.h"
#include "scan/hp1_scan.h"
#include "scan/network_naming.h"
#include "scan_fixture.h"
#include "support/av_frames.h"
#include "support/failure_injector.h"
#include "support/fake_backend.h"
#include "thpapi/decoder.h"
#include "thpapi/frame_layout.h"
#include "unit/brantleapi/reply_frames.h"

namespace quorrel::scan::testing {
namespace {

// "AV:<type>" or "HP1:<entry type>" for each frame the host sent.
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

using LocalSearchTest = ScanFixture;

TEST_F(LocalSearchTest, NothingAttachedTriesEachFamilyInTurnWithItsWaitsAndStartsNoScan) {
  attach("");
  const std::uint64_t start = nowMs();
  EXPECT_FALSE(LocalSearch());
  const std::uint64_t took = nowMs() - start;
  EXPECT_EQ(kinds(backend.sent(0)),
            (std::vector<std::string>{"AV:A000", "HP1:02", "HP1:1A", "HP1:1A", "HP1:1A"}));
  // 100 ms for the AV answer, 100 ms of Turbo replies, 50 + 150 + 250 ms of HomePlug 1.0.
  EXPECT_GE(took, 650u);
  EXPECT_LE(took, 680u);
  EXPECT_FALSE(reported().upgradeEnabled);
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
  const auto k = kinds(backend.sent(0));
  EXPECT_EQ(k[0] + k[1], "AV:A000HP1:02");
  EXPECT_EQ(std::count(k.begin(), k.end(), "HP1:1A"), 0);
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
  EXPECT_EQ(api::interfaceDevices(0).localNetworkName, kUnknownNetworkName);
  EXPECT_EQ(remote(0).rateStats.currentRate, 8);  // raw 300 in the HomePlug 1.0 conversion
  EXPECT_FALSE(remote(1).inUse);
}

// Searches without an answer count up to 3; the fourth starts the count afresh at 0, and an
// answer leaves it at 1.
TEST_F(LocalSearchTest, HomePlug1ProbeCounterSequences) {
  sim::Network* net = attach("[local]\nmac 00:B0:52:50:00:01\nfamily hp1\n");
  const std::pair<bool, int> steps[] = {{true, 1},  {false, 2}, {false, 3}, {false, 0},
                                        {false, 1}, {true, 1},  {false, 2}};
  for (const auto& [answers, attempts] : steps) {
    net->behaviour().dropEvery = answers ? 0 : 1;
    EXPECT_EQ(LocalSearch(), answers);
    EXPECT_EQ(api::interfaceState(0).probeAttempts, attempts);
  }
}

// Network naming with the local key given by a stand-in for the parameter block read.
api::NetworkKey givenKey;

class NamingTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    setLocalKeyReader([](const MacAddress&, api::NetworkKey& key) { return key = givenKey, 1; });
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
  EXPECT_EQ((std::tuple{r.mac, r.name.str(), r.networkName.str(), r.networkKey}),
            (std::tuple{kAvLocalMac, "Device 1", "HomePlugAV", givenKey}));

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
  setLocalKeyReader([](const MacAddress&, api::NetworkKey&) { return -1; });
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
    api::resetDeviceTable();
    brantleapi::resetTurboState();
    resetScan();
    if (open) return reopenThrough(injector);
    transport::resetInterfaceTable();
    transport::setBackend(&injector);
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

const std::pair<const char*, api::DeviceClass> kFamilies[] = {
    {"[local]\nmac 00:B0:52:10:00:01\nchip 2\n[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate "
     "100\n",
     api::DeviceClass::AvFirstGeneration},
    {"[local]\nmac 00:04:87:10:00:01\nfamily turbo\n", api::DeviceClass::Turbo},
    {"[local]\nmac 00:04:87:30:00:01\nfamily hp1\n", api::DeviceClass::HomePlug1},
};

class LocalSearchSweep : public ScanSweep, public ::testing::WithParamInterface<int> {};

TEST_P(LocalSearchSweep, FindsItsDeviceOrNone) {
  const auto& [scenario, cls] = kFamilies[GetParam()];
  const MacAddress local = attach(scenario)->scenario().local.mac;
  bool found = false;
  sweepAll(
      [&](FailureInjector& injector) {
        through(injector);
        found = LocalSearch();
      },
      [&](std::uint32_t n, const FailureInjector& injector) {
        SCOPED_TRACE(n);
        const api::InterfaceState& st = api::interfaceState(0);
        EXPECT_TRUE(found ? st.localMac == local && st.localClass == cls
                          : !api::interfaceDevices(0).localPresent);
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

using ScanCycleTest = ScanFixture;

double avRate(int raw) {
  return api::rateToMbps(raw, api::RateMode::HomePlugAv);
}

// Each step reports what changed, in order; the ageing step's report holds the table as it
// stood before the ageing, which the scan log and the rate history record.
TEST_F(ScanCycleTest, CyclesTickByTickReportingWhatChangedInOrder) {
  attach(kAvLocal + stations(3));
  ASSERT_TRUE(StartScan(5, 25, true));
  EXPECT_EQ(reported().timer, (std::vector<int>{7}));
  auto phases = [&](int n) {
    std::vector<std::uint32_t> seen;
    for (int i = 0; i < n; ++i) {
      ticks(1);
      seen.push_back(scanState().scanPhase);
    }
    return seen;
  };
  // Phases 1 to 5 step on their first tick, phase 6 waits out its five, then ageing and the
  // local search; phase 0 waits its five and phase 1 steps at once.
  EXPECT_EQ(phases(15), (std::vector<std::uint32_t>{2, 3, 4, 5, 6, 6, 6, 6, 6, 0, 0, 0, 0, 0, 2}));
  EXPECT_EQ((std::tuple{scanState().cyclesCompleted, scanState().ticksRun,
                        api::currentDevices().remoteCount, reported().refreshes}),
            (std::tuple{1u, 15u, 3, std::vector<int>{1, 7, 1}}));
  EXPECT_EQ(reported().order, "UTLAULL");  // ageing, the local search, then the redraw
  ASSERT_EQ(reported().ageings.size(), 1u);
  EXPECT_EQ(reported().ageings[0].devices[0].remotes[0].scansLeft, 10);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ((std::tuple{remote(i).mac, remote(i).rateStats.currentRate}),
              (std::tuple{stationMac(i + 1), avRate(10 + i)}));
  EXPECT_EQ(remote(0).scansLeft, 10 - 1);  // the threshold held to its range, one ageing step

  // Entering the page restarts the cycle with a fresh timer and keeps the list.
  restartScanCycle();
  EXPECT_EQ(scanState().scanPhase, 1u);
  EXPECT_EQ(reported().timer, (std::vector<int>{7, -1, 7}));
  EXPECT_TRUE(remote(0).inUse);

  // A restarted scan clears the list and takes the default threshold. At interval 1 phases 1 to
  // 5 each take their tick, 6 and 0 one tick each, and the remote search fills the list again.
  ASSERT_TRUE(RestartScan(1, true));
  ASSERT_FALSE(remote(1).inUse);
  EXPECT_EQ(reported().order.substr(7), "TTRTUT");
  EXPECT_EQ(phases(4), (std::vector<std::uint32_t>{2, 3, 4, 5}));
  EXPECT_EQ(remote(0).scansLeft, 3);
  EXPECT_EQ(phases(4), (std::vector<std::uint32_t>{6, 0, 2, 3}));
  EXPECT_TRUE(remote(1).inUse);
}

TEST_F(ScanCycleTest, AutoscanOffOrSuspendedRunsOnlyAUserScan) {
  sim::Network* net = attach(kAvLocal + stations(1));
  ASSERT_TRUE(StartScan(3, 3, false));
  const auto received = net->stats().received;
  ticks(20);
  EXPECT_EQ(scanState().ticksRun, 0u);
  EXPECT_EQ(net->stats().received, received);

  requestUserScan();
  ticks(3);
  EXPECT_TRUE(remote(0).inUse);
  ticks(20);
  // The pending scan ends with its cycle: phases 1-5, phase 6 to the counter, phase 7.
  EXPECT_FALSE(scanState().userScanPending);
  EXPECT_EQ(scanState().cyclesCompleted, 1u);
  EXPECT_EQ(scanState().ticksRun, 3u + 5u);

  // Resuming and suspending again, each telling the state before.
  EXPECT_FALSE(SuspendAutoscan(true));
  ticks(2);
  EXPECT_TRUE(SuspendAutoscan(false));
  EXPECT_FALSE(SuspendAutoscan(false));
  ticks(5);
  EXPECT_EQ(scanState().ticksRun, 3u + 5u + 2u);
}

TEST_F(ScanCycleTest, NoSourceAddressHoldsTheRemoteSearch) {
  attach(kAvLocal + stations(1));
  ASSERT_TRUE(StartScan(4, 3, true));
  ticks(2);
  ASSERT_EQ(scanState().scanPhase, 3u);
  transport::interfaceTable().entries[0].macAddress = {};
  ticks(2);
  EXPECT_EQ(scanState().scanPhase, 3u);
  ticks(2);  // the counter runs out: phase 4 without a search, and its step at once
  EXPECT_EQ(scanState().scanPhase, 5u);
  EXPECT_FALSE(remote(0).inUse);
}

TEST_F(ScanCycleTest, LeavingStationIsDroppedAfterTheThresholdAndReusesItsEntry) {
  sim::Network* net = attach(kAvLocal + stations(3));
  ASSERT_TRUE(StartScan(2, 3, true));
  const int cycle = 2 * 2 + 4;  // ticks per cycle with interval 2
  ticks(3);                     // the last sighting
  ASSERT_TRUE(remote(1).inUse);
  net->scenario().remotes[1].present = false;
  net->scenario().remotes[0].txRate = 90;
  // Ageing steps at ticks 7, 15, 23: scansLeft 3 -> 2 -> 1 -> 0.
  ticks(4 + cycle);
  EXPECT_EQ(remote(1).scansLeft, 1);
  EXPECT_EQ(remote(0).rateStats.currentRate, avRate(90));  // rates follow each search
  ticks(cycle);
  EXPECT_FALSE(remote(1).inUse);
  EXPECT_EQ(remote(1).rateStats.currentRate, 0);

  // Back in its old entry (the device table's test says what it keeps there).
  net->scenario().remotes[1].present = true;
  ticks(cycle);
  EXPECT_TRUE(remote(1).inUse);
  EXPECT_EQ(remote(1).scansLeft, 2);  // seen, then one ageing step
}

TEST_F(ScanCycleTest, AgeingSearchKeepsOpenInterfacesUnlessTheyChanged) {
  attach(kAvLocal + stations(1));
  ASSERT_TRUE(StartScan(2, 3, true));
  backend.setOpenFails(0, true);  // a search that opened it again would lose it
  ticks(8);                       // one cycle, with its local search
  ASSERT_EQ(scanState().cyclesCompleted, 1u);
  EXPECT_TRUE(transport::interfaceTable().entries[0].captureHandle);
  EXPECT_TRUE(api::interfaceDevices(0).localPresent);

  // A new interface makes the next search rebuild the table and find its adapter.
  backend.setOpenFails(0, false);
  attach(kAvLocalSecondGen, MacAddress{0x02, 0, 0, 0, 0, 0x11});
  ticks(8);
  EXPECT_EQ(api::interfaceDevices(1).localClass, api::DeviceClass::AvSecondGeneration);
  EXPECT_TRUE(remote(0).inUse);
}

// Amid noise on the wire, which loses no answer.
TEST_F(ScanCycleTest, StationsAnswerOnlyForThemselvesAndTicksStayShortAmidNoise) {
  sim::Network* net =
      attach(kAvLocal + stations(4) + "[behaviour]\nnoise on\nnoise_interval_us 200\n");
  ASSERT_TRUE(StartScan(3, 3, true));
  ticks(2);
  // Station 2 answers with station 3's identity in its place; station 3 stays silent.
  net->addHandler(
      0x88E1, 0xA000,
      [](sim::Network& n, const sim::wire::Request& r, std::vector<sim::Answer>& out) {
        const sim::Adapter* a = n.adapterAt(r.destination);
        if (a == nullptr || r.destination == stationMac(3)) return;
        const MacAddress from = r.destination == stationMac(2) ? stationMac(3) : a->mac;
        auto f = sim::wire::avFrame(r.source, from, 0, 0xA001, 68);
        f[21] = a->chipId;
        f[22] = static_cast<std::uint8_t>(a->firmware.size());
        std::copy(a->firmware.begin(), a->firmware.end(), f.begin() + 23);
        out.push_back(sim::Answer{std::move(f), n.latencyOf(*a), std::nullopt, std::nullopt});
      });
  clock.sleepMs(scanTimerPeriodMs());
  const std::uint64_t start = nowMs();
  ScanTick();
  // The tick waits no longer than its budget, whoever stays silent.
  EXPECT_LE(nowMs() - start, kTickLimitMs);
  ticks(2);
  EXPECT_EQ(std::count_if(backend.sent(0).begin(), backend.sent(0).end(),
                          [](const auto& f) { return readLe16(f, 15) == 0xA000; }),
            2 + 4);  // the local search's two, then one per station
  EXPECT_GT(remote(0).rateStats.currentRate, 0);
  EXPECT_GT(remote(3).rateStats.currentRate, 0);
  // The answer that came from station 3's address answered station 3, which was asked too.
  EXPECT_GT(remote(2).rateStats.currentRate, 0);
  EXPECT_EQ(remote(1).rateStats.currentRate, 0);
  EXPECT_TRUE(remote(1).inUse);
  EXPECT_GT(net->stats().noise, 100u);
}

// A local adapter that relays one request at a time (12 or 20 ms each) answers each within
// 100 ms of its own request only if the requests are not sent in one burst.
class SerialRelayTest : public ScanFixture, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(SerialRelayTest, EveryStationRatedWithinTwoCyclesInShortTicks) {
  attach(kAvLocal + stations(31))->behaviour().relayMs = GetParam();
  const std::uint32_t interval = 30;
  ASSERT_TRUE(StartScan(interval, 3, true));
  std::uint64_t longest = 0;
  for (std::uint32_t t = 0; t < 2 * (2 * interval + 4); ++t) {
    clock.sleepMs(scanTimerPeriodMs());
    const std::uint64_t start = nowMs();
    const std::uint32_t cycles = scanState().cyclesCompleted;
    ScanTick();
    // The ageing step's local search waits as long as its own exchanges take.
    if (scanState().cyclesCompleted == cycles) longest = std::max(longest, nowMs() - start);
  }
  int rated = 0;
  for (int i = 0; i < 31; ++i) rated += remote(i).rateStats.currentRate > 0 ? 1 : 0;
  EXPECT_EQ(rated, 31);
  EXPECT_LE(longest, kTickLimitMs);
}

INSTANTIATE_TEST_SUITE_P(RelayMs, SerialRelayTest, ::testing::Values(12u, 20u));

using Frame = std::vector<std::uint8_t>;

constexpr MacAddress kHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr MacAddress kDevice{0x00, 0xB0, 0x52, 0x50, 0x00, 0x01};
constexpr MacAddress kRemote{0x00, 0xB0, 0x52, 0x50, 0x00, 0x02};
constexpr MacAddress kStranger{0x00, 0xB0, 0x52, 0x77, 0x00, 0x07};

using brantleapi::testing::replyFrame;

// Class byte at 17, fails 0x0102 at 20, drops 7 at 22, stations of 12 bytes from 24.
Frame networkStatistics(const MacAddress& from, std::uint8_t cls,
                        const std::vector<std::pair<MacAddress, std::uint16_t>>& stations,
                        std::size_t size = 24 + 12 * 15) {
  Frame f = replyFrame(from, kHost, 0x1A, 0xBB, size);
  f[17] = cls;
  quorrel::testing::put(f, 20, {0x01, 0x02, 0x00, 0x07});
  for (std::size_t i = 0; i < stations.size() && 24 + 12 * i + 8 <= f.size(); ++i) {
    const std::size_t at = 24 + 12 * i;
    quorrel::testing::putMac(f, at, stations[i].first);
    f[at + 6] = static_cast<std::uint8_t>(stations[i].second >> 8);
    f[at + 7] = static_cast<std::uint8_t>(stations[i].second);
    if (24 + 12 * i + 12 > f.size()) continue;
    f[at + 9] = static_cast<std::uint8_t>(i + 1);   // failures
    f[at + 11] = static_cast<std::uint8_t>(i + 2);  // drops
  }
  return f;
}

// Parameters from 18 with the byte values 18, 19, ...
Frame parametersReply(std::uint8_t selector, std::size_t size = 68) {
  Frame f = replyFrame(kDevice, kHost, 0x19, 0x33, size);
  f[17] = selector;
  for (std::size_t i = 18; i < std::min<std::size_t>(size, 68); ++i)
    f[i] = static_cast<std::uint8_t>(i);
  return f;
}

class IntakeTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    fake.interfaces = {{"fake0", kHost}, {"fake1", MacAddress{0x02, 0, 0, 0, 0, 0x11}}};
    transport::setBackend(&fake);
    transport::EnumerateInterfaces();
    transport::OpenInterface(0);
    transport::OpenInterface(1);
  }
  Frame poll() {
    if (!receivePath().next(taken)) return {};
    return Frame(taken.bytes().begin(), taken.bytes().end());
  }
  // `bytes` as the path hands it out, arrived on `arrival`.
  static transport::Frame at(const Frame& bytes, int arrival = 0) {
    transport::Frame f;
    f.arrival = arrival;
    f.length = std::min(bytes.size(), f.data.size());
    std::copy_n(bytes.begin(), f.length, f.data.begin());
    return f;
  }
  transport::Frame taken;  // the last frame poll took
  void useRemote(int i, const MacAddress& mac, double rate) {
    api::RemoteDevice& r = api::currentDevices().remotes[static_cast<std::size_t>(i)];
    r.inUse = true;
    r.mac = mac;
    r.rateStats.currentRate = rate;
    r.deviceClass = api::DeviceClass::Usb;
  }
  quorrel::testing::FakeBackend fake;
};

TEST_F(IntakeTest, FetchAskedByAReplyWaitsForTheScanAndLosesNothing) {
  const Frame reply = networkStatistics(kDevice, 3, {{kRemote, 300}});
  const Frame later1 = quorrel::testing::avFrame(0xA0FE, 60, kStranger, kHost);
  const Frame later2 = replyFrame(kRemote, kHost, 0x08, 0);
  fake.ports[0].incoming = {reply, later1, later2};

  // The reply only asks for the fetch: nothing is sent from inside the receive.
  EXPECT_EQ(poll(), reply);
  EXPECT_TRUE(fake.ports[0].sent.empty());
  fetchWantedParameters();
  // The statistics reply the fetch took while it waited was handled, not lost.
  EXPECT_NE(api::FindRemote(kRemote), nullptr);
  EXPECT_TRUE(poll().empty());
  EXPECT_EQ(api::interfaceState(0).localMac, kDevice);
  EXPECT_EQ(api::interfaceState(0).localClass, api::DeviceClass::HomePlug1);
  // Three unanswered rounds: the stored parameters asked of broadcast from the interface.
  EXPECT_EQ(fake.ports[0].sent,
            std::vector<Frame>(3, replyFrame(kHost, kBroadcastMac, 0x19, 0x0F)));

  // The parameters ending the fetch after one round; a class outside HomePlug 1.0 starts none.
  fake.ports[0].sent.clear();
  fake.ports[0].incoming = {networkStatistics(kDevice, 3, {}), parametersReply(1)};
  poll();
  fetchWantedParameters();
  EXPECT_EQ(fake.ports[0].sent.size(), 1u);
  EXPECT_EQ(api::interfaceState(0).localParameters[0], 18);
  EXPECT_EQ(api::interfaceState(0).localParameters[49], 67);
  fake.ports[1].incoming = {networkStatistics(kDevice, 5, {})};
  EXPECT_FALSE(poll().empty());
  EXPECT_FALSE(api::interfaceState(1).localPresent);
  fetchWantedParameters();
  EXPECT_TRUE(fake.ports[1].sent.empty());
}

TEST_F(IntakeTest, ParametersAreTakenOnlyWholeAndByTheirSelector) {
  // The intake: a reply of the working copy is not the stored parameters (a short one is no
  // parameters reply at all: the decoder's table).
  for (const auto& [reply, stored] :
       {std::pair{parametersReply(2, 68), false}, std::pair{parametersReply(1, 68), true}}) {
    api::interfaceState(0).localAnswered = false;
    fake.ports[0].incoming = {reply};
    poll();
    EXPECT_EQ(api::interfaceState(0).localAnswered, stored) << reply.size() << " " << +reply[17];
  }
  // The handler: before the stored copy answered, the working copy is what counts.
  api::interfaceState(0).localAnswered = false;
  scanState().localParamsValid = false;
  EXPECT_TRUE(HandleHp1Frame(at(parametersReply(1))));
  EXPECT_FALSE(scanState().localParamsValid);
  EXPECT_TRUE(HandleHp1Frame(at(parametersReply(2))));
  EXPECT_TRUE(scanState().localParamsValid);
  EXPECT_EQ(scanState().localParams[0], 18);
  // Bytes that repeat go to the parameter log instead.
  Frame repeated = parametersReply(2);
  std::fill(repeated.begin() + 18, repeated.begin() + 25, 0xAA);
  scanState().localParamsValid = false;
  EXPECT_TRUE(HandleHp1Frame(at(repeated)));
  EXPECT_FALSE(scanState().localParamsValid);
  EXPECT_EQ(reported().parameterLogs, (std::vector<int>{1}));
}

TEST_F(IntakeTest, InterfaceRateWithoutALeadingRemoteIsZeroAndHeldToSixteenBits) {
  // The first entry unused: no remote counts; 5000 x 42 is held to 65535.
  const std::tuple<int, double, double> cases[] = {
      {1, 50, 0}, {0, 5000, std::trunc(api::rateToMbps(65535, api::RateMode::HomePlug1))}};
  api::currentState().localMac = kDevice;
  for (const auto& [entry, rate, expected] : cases) {
    api::currentDevices().remotes = {};
    api::currentDevices().rateStats.currentRate = 77;
    useRemote(entry, kStranger, rate);
    EXPECT_TRUE(HandleHp1Frame(at(networkStatistics(kDevice, 3, {}))));
    const api::RateStats& s = api::currentDevices().rateStats;
    EXPECT_EQ((std::tuple{s.currentRate, s.fails, s.drops}), (std::tuple{expected, 0x0102u, 7u}));
  }
  EXPECT_EQ(reported().refreshes, (std::vector<int>{0, 0}));
}

// How many stations a reply holds: the decoder's table. The multicast bit of a listed MAC is
// not part of it, and each station's two counts go with its rate.
TEST_F(IntakeTest, ListedStationsAreRatedWithTheirCounts) {
  const MacAddress first{0x00, 0xB0, 0x52, 0x50, 0x01, 0}, second{0x00, 0xB0, 0x52, 0x50, 0x01, 1};
  MacAddress marked = first;
  marked[0] |= 0x01;
  api::currentState().localMac = kDevice;
  useRemote(0, first, 0);
  useRemote(1, second, 0);
  HandleHp1Frame(at(networkStatistics(kDevice, 3, {{marked, 300}, {second, 300}})));
  const api::RateStats& s = remote(1).rateStats;
  EXPECT_EQ((std::tuple{remote(0).rateStats.currentRate, s.currentRate, s.fails, s.drops}),
            (std::tuple{8.0, 8.0, 2u, 3u}));
}

TEST_F(IntakeTest, LoopbackPerFrameAndRepliesOfStrangersAndOtherInterfacesIgnored) {
  // A frame from the device to itself marks the loopback and the local device; neither a later
  // ordinary frame nor a broadcast one takes its place.
  fake.ports[0].incoming = {replyFrame(kDevice, kDevice, 0x08, 0),
                            replyFrame(kStranger, kHost, 0x08, 0),
                            replyFrame(kBroadcastMac, kBroadcastMac, 0x08, 0)};
  poll();
  EXPECT_TRUE(hp1Bookkeeping().loopbackSeen());
  EXPECT_TRUE(api::interfaceState(0).localPresent);
  poll();
  poll();
  EXPECT_EQ(api::interfaceState(0).localMac, kDevice);

  useRemote(0, kRemote, 0);
  EXPECT_FALSE(HandleHp1Frame(at(networkStatistics(kStranger, 3, {{kRemote, 300}}))));
  // Bit 7 of the class byte marks a request, whatever the other bits.
  EXPECT_FALSE(HandleHp1Frame(at(networkStatistics(kDevice, 0x83, {{kRemote, 300}}))));
  EXPECT_EQ(remote(0).rateStats.currentRate, 0);

  // A statistics reply that came in on interface 1 adds nothing to interface 0.
  fake.ports[1].incoming = {replyFrame(kStranger, kHost, 0x08, 0)};
  poll();
  ASSERT_EQ(taken.arrival, 1);
  EXPECT_FALSE(HandleHp1Frame(taken));
  EXPECT_EQ(api::FindRemote(kStranger), nullptr);

  // Our own frames coming back through the capture are no remote either.
  fake.ports[0].incoming = {replyFrame(kHost, kBroadcastMac, 0x08, 0)};
  poll();
  EXPECT_TRUE(HandleHp1Frame(taken));
  EXPECT_EQ(api::FindRemote(kHost), nullptr);
}

// Station lists with duplicates, the local device, broadcast, and a count past the data.
TEST_F(IntakeTest, HostileStationListOccupiesOneEntryPerStation) {
  transport::setBackend(&backend);
  sim::Network* net = attach(kAvLocal);
  net->addHandler(
      0x88E1, 0xA038,
      [](sim::Network&, const sim::wire::Request& r, std::vector<sim::Answer>& out) {
        const MacAddress list[] = {kRemote, kAvLocalMac, kRemote, kBroadcastMac, kStranger};
        auto f = sim::wire::avFrame(r.source, kAvLocalMac, 0, 0xA039, 39 + 15 * 5 - 20);
        f[20] = 1;
        f[38] = 9;  // more than the frame holds
        for (int i = 0; i < 5; ++i) {
          std::copy(list[i].begin(), list[i].end(), f.begin() + 39 + 15 * i);
          f[39 + 15 * i + 13] = 40;
        }
        out.push_back(sim::Answer{f, 10, std::nullopt, std::nullopt});
      });
  ASSERT_TRUE(StartScan(3, 3, true));
  ticks(3);
  EXPECT_EQ((std::tuple{remote(0).mac, remote(0).timesSeen, remote(1).mac, remote(2).mac}),
            (std::tuple{kRemote, 2u, kStranger, kNoMac}));
  EXPECT_EQ(api::FindRemote(kAvLocalMac), nullptr);
}

}  // namespace
}  // namespace quorrel::scan::testing
