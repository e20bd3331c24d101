// The phase machine tick by tick on the virtual clock: periods, waits, the remote search and
// its rates, user scans against autoscan, a suspended scan, ticks inside ticks, and ageing.
#include "api/rate_stats.h"
#include "scan_fixture.h"

namespace quorrel::scan::testing {
namespace {

class ScanCycleTest : public ScanFixture {};

TEST_F(ScanCycleTest, TimerPeriodFollowsTheInterval) {
  EXPECT_EQ(timerPeriodFor(7), 10u);
  EXPECT_EQ(timerPeriodFor(100), 142u);
  EXPECT_EQ(timerPeriodFor(30), 42u);
  EXPECT_EQ(timerPeriodFor(1), 1u);
}

TEST_F(ScanCycleTest, OneCycleTickByTick) {
  attach(std::string(kAvLocal) + stations(3));
  ASSERT_TRUE(StartScan(5, 3, true));
  EXPECT_EQ(listener.timer, (std::vector<int>{7}));
  EXPECT_TRUE(listener.upgradeEnabled);
  EXPECT_TRUE(api::deviceTable().avLocal);
  EXPECT_EQ(scanState().scanPhase, 1u);

  ticks(2);
  EXPECT_EQ(scanState().scanPhase, 3u);
  EXPECT_FALSE(api::currentDevices().remotes[0].inUse);
  ticks(1);  // the remote search
  const auto& remotes = api::currentDevices().remotes;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(remotes[i].inUse);
    EXPECT_EQ(remotes[i].mac, stationMac(i + 1));
    // Raw 8-bit rates 10, 11, 12 in the AV conversion.
    EXPECT_EQ(remotes[i].rateStats.currentRate, api::rateToMbps(10 + i, api::RateMode::HomePlugAv));
    EXPECT_EQ(remotes[i].firmware.view().substr(0, 8), "LQA-130-");
  }
  EXPECT_FALSE(remotes[3].inUse);
  ticks(2);
  EXPECT_EQ(scanState().scanPhase, 6u);
  ticks(4);
  EXPECT_EQ(scanState().scanPhase, 6u);
  EXPECT_EQ(scanState().cyclesCompleted, 0u);
  ticks(1);  // phase 6 runs out: ageing and the local search again
  EXPECT_EQ(scanState().cyclesCompleted, 1u);
  EXPECT_EQ(scanState().scanPhase, 0u);
  EXPECT_EQ(api::currentDevices().remoteCount, 3);
  ticks(4);
  EXPECT_EQ(scanState().scanPhase, 0u);
  ticks(1);  // phase 0 runs out and phase 1 steps at once
  EXPECT_EQ(scanState().scanPhase, 2u);
  EXPECT_EQ(listener.refreshes, (std::vector<int>{1, 7, 1}));
}

TEST_F(ScanCycleTest, IntervalOneStillSearchesRemotes) {
  attach(std::string(kAvLocal) + stations(2));
  ASSERT_TRUE(StartScan(1, 3, true));
  EXPECT_EQ(scanTimerPeriodMs(), 1u);
  std::vector<std::uint32_t> phases;
  for (int i = 0; i < 8; ++i) {
    ticks(1);
    phases.push_back(scanState().scanPhase);
  }
  // Phases 1 to 5 each take their tick; 6 and 0 one tick each.
  EXPECT_EQ(phases, (std::vector<std::uint32_t>{2, 3, 4, 5, 6, 0, 2, 3}));
  EXPECT_TRUE(api::currentDevices().remotes[1].inUse);
}

TEST_F(ScanCycleTest, AutoscanOffRunsOnlyAUserScan) {
  attach(std::string(kAvLocal) + stations(1));
  ASSERT_TRUE(StartScan(3, 3, false));
  ticks(20);
  EXPECT_EQ(scanState().ticksRun, 0u);
  EXPECT_EQ(scanState().scanPhase, 1u);
  EXPECT_FALSE(api::currentDevices().remotes[0].inUse);

  RequestUserScan();
  ticks(3);
  EXPECT_TRUE(api::currentDevices().remotes[0].inUse);
  ticks(20);
  // The pending scan ends with its cycle: phases 1-5, phase 6 to the counter, phase 7.
  EXPECT_FALSE(scanState().userScanPending);
  EXPECT_EQ(scanState().cyclesCompleted, 1u);
  EXPECT_EQ(scanState().ticksRun, 3u + 5u);
}

TEST_F(ScanCycleTest, SuspendedScanTakesNoFrames) {
  sim::Network* net = attach(std::string(kAvLocal) + stations(1));
  ASSERT_TRUE(StartScan(3, 3, true));
  EXPECT_TRUE(SuspendAutoscan(false));
  EXPECT_FALSE(SuspendAutoscan(false));
  const auto received = net->stats().received;
  ticks(10);
  EXPECT_EQ(net->stats().received, received);
  EXPECT_EQ(scanState().scanPhase, 1u);
  EXPECT_FALSE(SuspendAutoscan(true));
  ticks(3);
  EXPECT_TRUE(api::currentDevices().remotes[0].inUse);
}

TEST_F(ScanCycleTest, NoSourceAddressHoldsTheRemoteSearch) {
  attach(std::string(kAvLocal) + stations(1));
  ASSERT_TRUE(StartScan(4, 3, true));
  ticks(2);
  ASSERT_EQ(scanState().scanPhase, 3u);
  transport::interfaceTable().entries[0].macAddress = {};
  ticks(2);
  EXPECT_EQ(scanState().scanPhase, 3u);
  EXPECT_FALSE(api::currentDevices().remotes[0].inUse);
  ticks(2);  // the counter runs out: phase 4 without a search, and its step at once
  EXPECT_EQ(scanState().scanPhase, 5u);
  EXPECT_FALSE(api::currentDevices().remotes[0].inUse);
}

// A page that ticks from inside its refresh (a nested message loop) must not start a second
// tick inside the first.
class ReentrantListener : public RecordingListener {
 public:
  void RefreshDeviceLists(int phase) override {
    RecordingListener::RefreshDeviceLists(phase);
    ScanTick();
  }
};

TEST_F(ScanCycleTest, TickInsideTickIsSkipped) {
  ReentrantListener reentrant;
  setScanListener(&reentrant);
  attach(std::string(kAvLocal) + stations(1));
  ASSERT_TRUE(StartScan(3, 3, true));
  ticks(1);
  EXPECT_EQ(scanState().ticksSkipped, 1u);
  EXPECT_EQ(scanState().ticksRun, 1u);
  EXPECT_EQ(scanState().scanPhase, 2u);
  EXPECT_EQ(reentrant.refreshes, (std::vector<int>{1}));
}

TEST_F(ScanCycleTest, NoDeviceStartsNoTimerAndClearsRemotes) {
  attach("");
  api::currentDevices().remotes[0].inUse = true;
  api::currentDevices().remotes[0].mac = stationMac(1);
  EXPECT_FALSE(StartScan(3, 3, true));
  EXPECT_FALSE(scanTimerRunning());
  EXPECT_TRUE(listener.timer.empty());
  EXPECT_FALSE(api::currentDevices().remotes[0].inUse);
  EXPECT_FALSE(api::currentDevices().localPresent);
}

TEST_F(ScanCycleTest, ThresholdIsHeldToItsRange) {
  attach(std::string(kAvLocal));
  StartScan(3, 0, true);
  EXPECT_EQ(api::deviceTable().dropThreshold, 1);
  StartScan(3, 25, true);
  EXPECT_EQ(api::deviceTable().dropThreshold, 10);
}

TEST_F(ScanCycleTest, LeavingStationIsDroppedAfterTheThresholdAndReusesItsEntry) {
  sim::Network* net = attach(std::string(kAvLocal) + stations(3));
  ASSERT_TRUE(StartScan(2, 3, true));
  const int cycle = 2 * 2 + 4;  // ticks per cycle with interval 2
  ticks(3);                     // the last sighting
  ASSERT_TRUE(api::currentDevices().remotes[1].inUse);
  net->scenario().remotes[1].present = false;
  // Ageing steps at ticks 7, 15, 23: scansLeft 3 -> 2 -> 1 -> 0.
  ticks(4);
  EXPECT_TRUE(api::currentDevices().remotes[1].inUse);
  ticks(cycle);
  EXPECT_TRUE(api::currentDevices().remotes[1].inUse);
  EXPECT_EQ(api::currentDevices().remotes[1].scansLeft, 1);
  ticks(cycle);
  const api::RemoteDevice& gone = api::currentDevices().remotes[1];
  EXPECT_FALSE(gone.inUse);
  EXPECT_EQ(gone.scansMissed, 3u);
  EXPECT_EQ(gone.rateStats.currentRate, 0);
  EXPECT_EQ(gone.mac, stationMac(2));
  EXPECT_EQ(api::currentDevices().remoteCount, 2);

  net->scenario().remotes[1].present = true;
  ticks(cycle);
  EXPECT_TRUE(api::currentDevices().remotes[1].inUse);
  EXPECT_EQ(api::currentDevices().remotes[1].mac, stationMac(2));
  EXPECT_EQ(api::currentDevices().remotes[1].scansLeft, 2);  // seen, then one ageing step
  EXPECT_FALSE(api::currentDevices().remotes[3].inUse);
}

TEST_F(ScanCycleTest, SecondGenerationListsWideRatesAndSecondGenerationClass) {
  attach(std::string(kAvLocalSecondGen) +
         "[remote]\nmac 00:B0:52:40:00:02\nchip 4\nrate 410 395\n"
         "[remote]\nmac 00:B0:52:20:00:03\nchip 1\nrate 120\n");
  ASSERT_TRUE(StartScan(3, 3, true));
  EXPECT_EQ(thpapi::avMessageVersion(), 4);
  ticks(3);
  const auto& r = api::currentDevices().remotes;
  EXPECT_EQ(r[0].deviceClass, api::DeviceClass::AvSecondGeneration);
  EXPECT_EQ(r[0].rateStats.currentRate, 410 * 200 / 151);
  EXPECT_EQ(r[1].deviceClass, api::DeviceClass::AvFirstGeneration);
  EXPECT_EQ(r[1].rateStats.currentRate, 120 * 200 / 151);
}

TEST_F(ScanCycleTest, NoiseLosesNoAnswer) {
  sim::Network* net = attach(std::string(kAvLocal) + stations(8) +
                             "[behaviour]\nnoise on\nnoise_interval_us 200\n");
  ASSERT_TRUE(StartScan(3, 3, true));
  ticks(3);
  EXPECT_GT(net->stats().noise, 100u);
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(api::currentDevices().remotes[i].inUse);
    EXPECT_GT(api::currentDevices().remotes[i].rateStats.currentRate, 0);
  }
}

TEST_F(ScanCycleTest, SilentStationStaysListedWithoutANewRate) {
  sim::Network* net = attach(std::string(kAvLocal) + stations(2));
  ASSERT_TRUE(StartScan(3, 3, true));
  ticks(3);
  // The network keeps listing the station, but the station no longer answers its version.
  net->addHandler(
      0x88E1, 0xA000,
      [](sim::Network& n, const sim::wire::Request& r, std::vector<sim::Answer>& out) {
        const sim::Adapter* a = n.adapterAt(r.destination);
        if (a == nullptr || r.destination == stationMac(1)) return;
        auto f = sim::wire::avFrame(r.source, a->mac, 0, 0xA001, 68);
        f[21] = a->chipId;
        f[22] = static_cast<std::uint8_t>(a->firmware.size());
        std::copy(a->firmware.begin(), a->firmware.end(), f.begin() + 23);
        out.push_back(sim::Answer{std::move(f), n.latencyOf(*a), std::nullopt, std::nullopt});
      });
  net->scenario().remotes[0].txRate = 90;
  ticks(3 * 2 + 4);
  const api::RemoteDevice& r = api::currentDevices().remotes[0];
  EXPECT_TRUE(r.inUse);
  EXPECT_EQ(r.rateStats.currentRate, api::rateToMbps(10, api::RateMode::HomePlugAv));
}

}  // namespace
}  // namespace quorrel::scan::testing

namespace quorrel::scan::testing {
namespace {

TEST_F(ScanCycleTest, AgeingSearchKeepsOpenInterfacesUnlessTheyChanged) {
  attach(std::string(kAvLocal) + stations(1));
  ASSERT_TRUE(StartScan(2, 3, true));
  const transport::Channel* before = transport::interfaceTable().entries[0].captureHandle.get();
  ticks(8);  // one cycle, with its local search
  ASSERT_EQ(scanState().cyclesCompleted, 1u);
  EXPECT_EQ(transport::interfaceTable().entries[0].captureHandle.get(), before);

  // A new interface makes the next search rebuild the table and find its adapter.
  attach(std::string(kAvLocalSecondGen), MacAddress{0x02, 0, 0, 0, 0, 0x11});
  ticks(8);
  EXPECT_EQ(transport::interfaceTable().interfaceCount, 2);
  EXPECT_TRUE(api::interfaceDevices(1).localPresent);
  EXPECT_EQ(api::interfaceDevices(1).localClass, api::DeviceClass::AvSecondGeneration);
  EXPECT_TRUE(api::currentDevices().remotes[0].inUse);
}

TEST_F(ScanCycleTest, StationsAreAskedTogetherAndAnswerOnlyForThemselves) {
  sim::Network* net = attach(std::string(kAvLocal) + stations(4));
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
  const std::uint64_t start = nowMs();
  ticks(1);
  const auto& r = api::currentDevices().remotes;
  // All four requests went out before the first answer was taken.
  std::size_t versionRequests = 0;
  for (const auto& f : backend.sent(0))
    if (readBe16(f, 12) == 0x88E1 && readLe16(f, 15) == 0xA000) ++versionRequests;
  EXPECT_EQ(versionRequests, 2u + 4u);  // the local search's two, then one per station
  EXPECT_GT(r[0].rateStats.currentRate, 0);
  EXPECT_GT(r[3].rateStats.currentRate, 0);
  // The answer that came from station 3's address answered station 3, which was asked too.
  EXPECT_GT(r[2].rateStats.currentRate, 0);
  EXPECT_EQ(r[1].rateStats.currentRate, 0);
  EXPECT_TRUE(r[1].inUse);
  // Station 2 never answered for itself: the wait ran its budget, 100 ms and 5 per station.
  EXPECT_GE(nowMs() - start, 120u);
  EXPECT_LE(nowMs() - start, 140u);
}

}  // namespace
}  // namespace quorrel::scan::testing

namespace quorrel::scan::testing {
namespace {

TEST_F(ScanCycleTest, RestartsClearTheListOrOnlyTheCycle) {
  attach(std::string(kAvLocal) + stations(2));
  ASSERT_TRUE(StartScan(3, 5, true));
  ticks(4);
  ASSERT_TRUE(api::currentDevices().remotes[0].inUse);

  // Entering the page restarts the cycle with a fresh timer and keeps the list.
  RestartScanCycle();
  EXPECT_EQ(scanState().scanPhase, 1u);
  EXPECT_EQ(scanState().scanTick, 0u);
  EXPECT_EQ(listener.timer, (std::vector<int>{4, -1, 4}));
  EXPECT_TRUE(api::currentDevices().remotes[0].inUse);

  // A restarted scan clears the list, takes the default threshold and finds them again.
  EXPECT_TRUE(RestartScan(3, true));
  EXPECT_FALSE(api::currentDevices().remotes[0].inUse);
  EXPECT_EQ(api::deviceTable().dropThreshold, 3);
  ticks(3);
  EXPECT_TRUE(api::currentDevices().remotes[0].inUse);
  EXPECT_EQ(api::currentDevices().remotes[0].scansLeft, 3);
}

}  // namespace
}  // namespace quorrel::scan::testing

namespace quorrel::scan::testing {
namespace {

TEST_F(ScanCycleTest, StationsJoiningAndChangingRateOverTime) {
  sim::ScenarioSet set;
  std::string error;
  ASSERT_TRUE(sim::parseScenarioSet(std::string(kAvLocal) +
                                        "[remote]\nmac 00:B0:52:30:00:01\nchip 2\nrate 100\n"
                                        "rate_after_ms 2000 200\n"
                                        "[remote]\nmac 00:B0:52:30:00:02\nchip 2\nrate 50\n"
                                        "join_at_ms 1500\n",
                                    set, error))
      << error;
  networks.push_back(std::make_unique<sim::Network>(set.networks[0].scenario));
  networks.back()->setTimelines(set.networks[0].timelines);
  networks.back()->startTimeline(clock.microseconds());
  backend.addInterface("sim0", sim::kDefaultHostMac, networks.back().get());

  ASSERT_TRUE(StartScan(30, 3, true));  // 42 ms ticks, 64 ticks a cycle
  ticks(3);
  const auto& r = api::currentDevices().remotes;
  EXPECT_EQ(r[0].rateStats.currentRate, 100 * 200 / 151);
  EXPECT_FALSE(r[1].inUse);
  ticks(64);  // past 2.7 s: the second station is in, the first one faster
  EXPECT_TRUE(r[1].inUse);
  EXPECT_EQ(r[1].rateStats.currentRate, 50 * 200 / 151);
  EXPECT_EQ(r[0].rateStats.currentRate, 200 * 200 / 151);
  EXPECT_TRUE(r[0].rateStats.rateChanged);
  EXPECT_EQ(r[0].rateStats.lowestRate, 100 * 200 / 151);
}

}  // namespace
}  // namespace quorrel::scan::testing
