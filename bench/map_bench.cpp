// The network map's own time against adapter-sim over a veth pair, with 15 stations behind the
// local adapter, the simulated adapters answering at once. A scan cycle lists the stations
// first; then the map is gathered several times with the autoscan suspended.
//
// Bounds, with F the floor's median raw round trip and S the stations listed:
//   every adapter answers: S + 1 exchanges, each followed at worst by the 1 ms poll the map
//     sleeps when nothing is pending: (S + 1)(F + 1 ms);
//   some stations silent: gatherBoundMs(S), each silent station waiting twice 100 ms in one of
//     the four slots.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "api/device_table.h"
#include "netmap/network_map.h"
#include "persistence/known_devices.h"
#include "rawfloor.h"
#include "scan/scan.h"
#include "scan/scan_loop.h"
#include "transport/interface_table.h"

namespace {

using namespace quorrel;
using Clock = std::chrono::steady_clock;

constexpr int kStations = 15;
constexpr int kSilent = 3;
constexpr int kRounds = 7;
constexpr int kFloorRounds = 2000;

std::string scenario(int silent) {
  std::string s =
      "[local]\nmac 00:B0:52:10:00:01\nchip 2\n"
      "[behaviour]\nlocal_latency_us 0\nremote_latency_us 0\n";
  for (int i = 1; i <= kStations; ++i) {
    char r[128];
    std::snprintf(r, sizeof r, "[remote]\nmac 00:B0:52:30:00:%02X\nchip 2\nrate %d\n%s", i, 100 + i,
                  i <= silent ? "network_info no\n" : "");
    s += r;
  }
  return s;
}

// The median of kRounds gatherings, in microseconds, and how many adapters answered.
bool measureMap(e2e::NetnsPair& pair, const std::string& path, double& medianUs, int& answered,
                std::string& error) {
  e2e::SimProcess sim;
  if (!sim.start(pair, path, "", error) || !pair.enterHost(error)) return false;
  api::resetDeviceTable();
  persistence::resetKnownDevices();
  scan::resetScan();
  transport::EnumerateInterfaces();
  if (!scan::StartScan(3, 3, true)) {
    error = "the local adapter was not found";
    return false;
  }
  scan::runScanCycles(1, 10000);
  scan::SuspendAutoscan(false);
  std::vector<double> us;
  for (int i = 0; i < kRounds; ++i) {
    const auto t = Clock::now();
    const netmap::MapResult r = netmap::gatherNetworkMap(scan::receivePath());
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
    answered = static_cast<int>(std::count_if(r.map.nodes.begin(), r.map.nodes.end(),
                                              [](const auto& n) { return n.answered; }));
    if (r.map.nodes.size() != kStations + 1) {
      error = "the scan listed " + std::to_string(r.map.nodes.size() - 1) + " stations";
      return false;
    }
  }
  std::sort(us.begin(), us.end());
  medianUs = us[us.size() / 2];
  scan::StopScan();
  transport::resetInterfaceTable();
  pair.leaveHost();
  return true;
}

bool run(std::string& error) {
  bench::Timings floor;
  if (!bench::measureRawFloorOnNewPair(kFloorRounds, floor, error)) return false;
  double allUs = 0, silentUs = 0;
  int allAnswered = 0, someAnswered = 0;
  const auto gather = [&](int silent, double& us, int& answered) {
    return bench::withScenarioPair(
        scenario(silent),
        [&](e2e::NetnsPair& pair, const std::string& path, std::string& e) {
          return measureMap(pair, path, us, answered, e);
        },
        error);
  };
  if (!gather(0, allUs, allAnswered) || !gather(kSilent, silentUs, someAnswered)) return false;
  bench::printTimings("raw AF_PACKET round trip on veth (floor)", floor);
  const double allBound = (kStations + 1) * (floor.median + 1000.0);
  const double silentBound = netmap::gatherBoundMs(kStations) * 1000.0;
  std::printf(
      "map of %d stations, all answering (%d answered): median %.0f us, bound %.0f us, "
      "ratio %.3f\n",
      kStations, allAnswered, allUs, allBound, allUs / allBound);
  std::printf(
      "map of %d stations, %d silent (%d answered): median %.0f us, bound %.0f us, "
      "ratio %.3f\n",
      kStations, kSilent, someAnswered, silentUs, silentBound, silentUs / silentBound);
  return true;
}

}  // namespace

int main() {
  return quorrel::bench::runNetworkBench("map", run);
}
