// The phase machine tick by tick on the virtual clock: periods, waits, the remote search and
// its rates, user scans against autoscan, a suspended scan, what each step reports, and ageing.
// Second-generation classes and wide rates: the identification tests and the scan end to end.
#include "api/rate_stats.h"
#include "scan_fixture.h"

namespace quorrel::scan::testing {
namespace {

class ScanCycleTest : public ScanFixture {};

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
  EXPECT_EQ(scanState().cyclesCompleted, 1u);
  EXPECT_EQ(reported().refreshes, (std::vector<int>{1, 7, 1}));
  EXPECT_EQ(reported().order, "UTLAULL");  // ageing, the local search, then the redraw
  ASSERT_EQ(reported().ageings.size(), 1u);
  EXPECT_EQ(reported().ageings[0].devices[0].remotes[0].scansLeft, 10);
  EXPECT_EQ(scanState().ticksRun, 15u);
  EXPECT_EQ(api::currentDevices().remoteCount, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(remote(i).mac, stationMac(i + 1)) << i;
    EXPECT_EQ(remote(i).rateStats.currentRate, avRate(10 + i)) << i;
  }

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
  std::size_t versionRequests = 0;
  for (const auto& f : backend.sent(0))
    if (readBe16(f, 12) == 0x88E1 && readLe16(f, 15) == 0xA000) ++versionRequests;
  EXPECT_EQ(versionRequests, 2u + 4u);  // the local search's two, then one per station
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

}  // namespace
}  // namespace quorrel::scan::testing
