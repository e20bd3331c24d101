// The scan's own timings against adapter-sim over a veth pair, with 31 remote stations that all
// answer. The simulated adapters answer at once (local and remote latency 0), so what is left
// is the timer period, the scan's own work and the round trips, each of which is at least the
// raw AF_PACKET round trip measured first (the floor).
//
// Bounds, with P the timer period, N the interval, F the floor's median round trip, O the time
// the capture library takes to list and open the interfaces (measured here too), K the pieces
// of the parameter block read for the network key:
//   first complete list: O, the local search's 2 version exchanges and K piece exchanges,
//     each piece followed by the message layer's own 1 ms sleep, 3 periods to the remote
//     search, then its network information exchange and 31 version exchanges:
//     O + 3P + (34 + K)F + K ms;
//   one cycle: 2N + 4 ticks at P, plus the remote search's 32 exchanges and the local search's
//     2 + K in the ageing phase: (2N + 4)P + (34 + K)F + K ms.
// The tick of the ageing phase holds the local search (with the key read); it is printed
// apart from the others, which must stay under 10 ms: the remote search waits at most 6 ms of
// a tick for its answers and goes on at the next.
// The longest tick is printed with the phase it ran.
// The same again behind a local adapter that relays version requests one at a time, 20 ms
// each (relay_ms): the remote search spreads its requests over the ticks, so the bound for the
// first complete list is the relay's own 31 x 20 ms after the 3 periods to the search, every
// station must be rated within two cycles, and no tick outside the ageing step may wait more
// than 10 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "api/device_table.h"
#include "persistence/known_devices.h"
#include "platform/clock.h"
#include "rawfloor.h"
#include "scan/scan.h"
#include "transport/interface_table.h"

namespace {

using namespace quorrel;
using Clock = std::chrono::steady_clock;

constexpr int kRemotes = 31;
constexpr std::uint32_t kInterval = 10;
constexpr int kCycles = 8;
constexpr int kFloorRounds = 2000;
// The simulated parameter block comes in pieces of 1024 bytes.
constexpr int kKeyPieces = 16;
constexpr int kExchangesToFirstList = 2 + kKeyPieces + 1 + kRemotes;
constexpr int kExchangesPerCycle = 1 + kRemotes + 2 + kKeyPieces;

constexpr std::uint32_t kRelayMs = 20;
// The preferences' default interval: a cycle of 64 ticks at 42 ms.
constexpr std::uint32_t kRelayInterval = 30;

std::string scenario(std::uint32_t relayMs) {
  std::string s =
      "[local]\nmac 00:B0:52:10:00:01\nchip 2\n"
      "[behaviour]\nlocal_latency_us 0\nremote_latency_us 0\nrelay_ms " +
      std::to_string(relayMs) + "\n";
  for (int i = 1; i <= kRemotes; ++i) {
    char r[96];
    std::snprintf(r, sizeof r, "[remote]\nmac 00:B0:52:30:00:%02X\nchip 2\nrate %d\n", i, 100 + i);
    s += r;
  }
  return s;
}

double usSince(Clock::time_point t) {
  return std::chrono::duration<double, std::micro>(Clock::now() - t).count();
}

int listedWithRate() {
  int n = 0;
  for (const api::RemoteDevice& r : api::currentDevices().remotes)
    if (r.inUse && r.rateStats.currentRate > 0) ++n;
  return n;
}

struct Run {
  double openUs = 0;
  double firstListUs = 0;
  std::vector<double> cycleUs;
  double longestTickUs = 0;
  double longestWaitingTickUs = 0;  // any tick but the ageing one, from the start
  double longestAgeingTickUs = 0;
  std::uint32_t cyclesToFirstList = 0;
  std::uint32_t longestTickPhase = 0;
  std::vector<double> tickUsByPhase = std::vector<double>(8, 0);
};

// Ticks at the period as a timer would (each due one period after the last, a late one at once).
bool measureScan(e2e::NetnsPair& pair, const std::string& path, std::uint32_t interval, Run& run,
                 std::string& error) {
  e2e::SimProcess sim;
  if (!sim.start(pair, path, "", error) || !pair.enterHost(error)) return false;
  // The least of three list-and-open rounds of the capture library.
  for (int i = 0; i < 3; ++i) {
    const auto t = Clock::now();
    transport::EnumerateInterfaces();
    for (int k = 0; k < transport::interfaceTable().interfaceCount; ++k)
      transport::OpenInterface(k);
    const double us = usSince(t);
    run.openUs = i == 0 ? us : std::min(run.openUs, us);
    transport::CloseAllInterfaces();
  }
  api::resetDeviceTable();
  persistence::resetKnownDevices();
  scan::resetScan();
  const auto start = Clock::now();
  if (!scan::StartScan(interval, 3, true)) {
    error = "the local adapter was not found";
    return false;
  }
  const auto period = std::chrono::milliseconds(scan::scanTimerPeriodMs());
  auto due = start + period;
  Clock::time_point lastCycleEnd{};
  std::uint32_t cycles = 0;
  while (cycles < static_cast<std::uint32_t>(kCycles) + 1) {
    std::this_thread::sleep_until(due);
    const std::uint32_t phase = scan::scanState().scanPhase;
    const std::uint32_t cyclesBefore = scan::scanState().cyclesCompleted;
    const auto before = Clock::now();
    scan::ScanTick();
    const double tick = usSince(before);
    scan::takeScanReport();                // nothing here shows the scan
    const std::uint32_t ranPhase = phase;  // the step of this phase (or the one it moved into)
    run.tickUsByPhase[ranPhase] = std::max(run.tickUsByPhase[ranPhase], tick);
    if (scan::scanState().cyclesCompleted != cyclesBefore)
      run.longestAgeingTickUs = std::max(run.longestAgeingTickUs, tick);
    if (run.firstListUs == 0 && listedWithRate() == kRemotes) {
      run.firstListUs = usSince(start);
      run.cyclesToFirstList = scan::scanState().cyclesCompleted + 1;
    }
    if (scan::scanState().cyclesCompleted != cycles) {
      cycles = scan::scanState().cyclesCompleted;
      const auto now = Clock::now();
      if (cycles >= 2)
        run.cycleUs.push_back(
            std::chrono::duration<double, std::micro>(now - lastCycleEnd).count());
      lastCycleEnd = now;
    }
    const bool ageing = scan::scanState().cyclesCompleted != cyclesBefore;
    if (!ageing) run.longestWaitingTickUs = std::max(run.longestWaitingTickUs, tick);
    if (!ageing && tick > run.longestTickUs && listedWithRate() == kRemotes) {
      run.longestTickUs = tick;
      run.longestTickPhase = ranPhase;
    }
    due += period;
    if (due < Clock::now()) due = Clock::now();
    if (usSince(start) > 60e6) {
      error = "the scan did not complete its cycles within a minute";
      return false;
    }
  }
  if (listedWithRate() != kRemotes) {
    error += "not every remote was listed (" + std::to_string(listedWithRate()) + " of " +
             std::to_string(kRemotes) + ")";
    return false;
  }
  scan::StopScan();
  transport::resetInterfaceTable();
  pair.leaveHost();
  return true;
}

}  // namespace

int main() {
  if (const auto why = e2e::netnsUnavailableReason(); !why.empty()) {
    std::printf("scan bench skipped: %s\n", why.c_str());
    return 0;
  }
  std::string error;
  bench::Timings floor;
  Run run, relayed;
  const auto scanOn = [&](std::uint32_t relayMs, std::uint32_t interval, Run& into) {
    return bench::withScenarioPair(
        scenario(relayMs),
        [&](e2e::NetnsPair& pair, const std::string& path, std::string& e) {
          return measureScan(pair, path, interval, into, e);
        },
        error);
  };
  const bool ok = bench::measureRawFloorOnNewPair(kFloorRounds, floor, error) &&
                  scanOn(0, kInterval, run) &&
                  (error = "relayed: ", scanOn(kRelayMs, kRelayInterval, relayed));
  if (!ok) {
    std::fprintf(stderr, "scan bench: %s\n", error.c_str());
    return 1;
  }
  bench::printTimings("raw AF_PACKET round trip on veth (floor)", floor);
  const double periodUs = scan::timerPeriodFor(kInterval) * 1000.0;
  const double keySleepsUs = kKeyPieces * 1000.0;
  const double firstBound =
      run.openUs + 3 * periodUs + kExchangesToFirstList * floor.median + keySleepsUs;
  std::printf("listing and opening the interfaces: %.0f us (least of 3)\n", run.openUs);
  std::printf("interval %u, timer period %.0f us, %d remotes, sim latency 0\n", kInterval, periodUs,
              kRemotes);
  std::printf("StartScan to first complete list: %.0f us, bound %.0f us, ratio %.3f\n",
              run.firstListUs, firstBound, run.firstListUs / firstBound);
  bench::Timings cycle;
  cycle.us = run.cycleUs;
  bench::summarise(cycle);
  const double cycleBound =
      (2 * kInterval + 4) * periodUs + kExchangesPerCycle * floor.median + keySleepsUs;
  bench::printTimings("full scan cycle", cycle);
  std::printf("cycle bound %.0f us, ratio (median) %.3f, ratio (max) %.3f\n", cycleBound,
              cycle.median / cycleBound, cycle.max / cycleBound);
  std::printf(
      "longest tick while every remote answers, ageing ticks apart: %.0f us (phase %u), "
      "target 10000 us\n",
      run.longestTickUs, run.longestTickPhase);
  std::printf("longest ageing tick (ageing, local search, key read): %.0f us\n",
              run.longestAgeingTickUs);
  for (std::uint32_t p = 0; p < 7; ++p)
    std::printf("  longest tick starting in phase %u: %.0f us\n", p, run.tickUsByPhase[p]);

  const double relayPeriodUs = scan::timerPeriodFor(kRelayInterval) * 1000.0;
  const double relayBound = run.openUs + 3 * relayPeriodUs + kRemotes * kRelayMs * 1000.0 +
                            (2 + kKeyPieces + 1) * floor.median + keySleepsUs;
  std::printf("\nbehind a local adapter relaying one request at a time, %u ms each, interval %u:\n",
              kRelayMs, kRelayInterval);
  std::printf(
      "StartScan to every station rated: %.0f us (in cycle %u, target 2), bound %.0f us, "
      "ratio %.3f\n",
      relayed.firstListUs, relayed.cyclesToFirstList, relayBound, relayed.firstListUs / relayBound);
  std::printf("longest tick outside the ageing step: %.0f us, target 10000 us, ratio %.3f\n",
              relayed.longestWaitingTickUs, relayed.longestWaitingTickUs / 10000.0);
  std::printf("longest ageing tick (local search, key read): %.0f us\n",
              relayed.longestAgeingTickUs);
  std::printf("parallel adapter, longest tick outside the ageing step: %.0f us\n",
              run.longestWaitingTickUs);
  return 0;
}
