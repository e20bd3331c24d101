// The scan's state machine: start and stop, the per-tick phase steps and the remote search.
#include "scan/scan.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include "api/identification.h"
#include "api/rate_stats.h"
#include "crypto/keys.h"
#include "scan/autoscan_hold.h"
#include "scan/av_wait.h"
#include "scan/hp1_scan.h"
#include "scan/remote_search.h"
#include "scan/scan_report.h"
#include "scan/scan_services.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "transport/interface_table.h"

namespace quorrel::scan {

namespace {

// Everything the scan keeps between ticks. The path's observer is the bookkeeping beside it.
struct Scan {
  ScanState state;
  brantleapi::Hp1Bookkeeping bookkeeping;
  transport::ReceivePath path{&bookkeeping};
  AvRemoteSearch remoteSearch;
  // Operations under way that exchange frames; a reset of the scan leaves them held.
  std::atomic<int> wireHolds{0};
  ScanReport pending;
};
Scan scan;

void startTimer() {
  scan.state.timerRunning = true;
  scan.state.timerPeriodMs = timerPeriodFor(scan.state.autoscanInterval);
  addScanChange(TimerChanged{true, scan.state.timerPeriodMs});
}

void stopTimer() {
  if (!scan.state.timerRunning) return;
  scan.state.timerRunning = false;
  addScanChange(TimerChanged{false, 0});
}

// The table as the ageing step finds it, for the scan log and the rate history.
AgeingReached ageingSnapshot() {
  auto before = std::make_shared<AgeingReached::Before>();
  before->interfaceCount =
      std::clamp(transport::interfaceTable().interfaceCount, 0, api::kInterfaceCount);
  before->currentInterface = transport::currentInterface();
  before->devices = api::deviceTable().devices;
  return AgeingReached{std::move(before)};
}

void nextPhase() {
  scan.state.scanTick = 0;
  ++scan.state.scanPhase;
}

void remoteSearch() {
  api::DeviceTable& t = api::deviceTable();
  if (t.turboLocal) {
    turboOperations().requestTurboStatistics(api::LocalDeviceAddress());
  } else if (t.avLocal) {
    // A search that has not got through its list yet (a slow relay, a short interval) goes on
    // where it is rather than asking the first stations again.
    if (!scan.remoteSearch.running()) scan.remoteSearch.start();
  } else {
    MacAddress source = transport::SourceAddress();
    if (isZeroMac(source)) source = api::LocalDeviceAddress();
    sendNetworkStatisticsRequest(static_cast<int>(transport::currentInterface()), source);
  }
}

void phaseStep() {
  const api::InterfaceState& st = api::currentState();
  thpapi::setAvMessageVersion(
      static_cast<std::uint32_t>(st.localClass) >= 5 ? thpapi::kMessageVersionV1 : 0);
  if (!st.localPresent) return;
  const bool turbo = api::deviceTable().turboLocal;
  switch (scan.state.scanPhase) {
    case 1:
      if (!turbo)
        sendLocalParametersRequest(st.localAnswered ? brantleapi::kLocalParametersSelectorStored
                                                    : brantleapi::kLocalParametersSelectorRam);
      sendStatisticsRequest(kBroadcastMac);
      addScanChange(ListsChanged{1});
      nextPhase();
      break;
    case 2:
      for (const api::RemoteDevice& r : api::currentDevices().remotes)
        if (r.inUse) sendStatisticsRequest(r.mac);
      nextPhase();
      break;
    case kRemoteSearchPhase:
      if (isZeroMac(transport::SourceAddress())) return;
      remoteSearch();
      nextPhase();
      break;
    case 4:
      turboOperations().requestTurboIdentity();
      if (!turbo && st.localAnswered)
        sendLocalParametersRequest(brantleapi::kLocalParametersSelectorStored);
      nextPhase();
      break;
    case 5:
      if (!turbo) sendLocalParametersRequest(brantleapi::kLocalParametersSelectorRam);
      nextPhase();
      break;
    default:
      break;  // 0 and 6 wait out their ticks
  }
}

// Phases 1 to 5 end by their own step. Their first tick must reach that step even with an
// interval of 1, where the counter alone would move on before it; a phase that cannot go on
// (no source address) is still left once the counter runs out.
bool counterEndsPhase() {
  const bool working = scan.state.scanPhase >= 1 && scan.state.scanPhase <= 5;
  return scan.state.scanTick >= scan.state.autoscanInterval &&
         (!working || scan.state.scanTick > 1);
}

struct TickGuard {
  TickGuard() { scan.state.tickActive = true; }
  ~TickGuard() { scan.state.tickActive = false; }
};

}  // namespace

ScanState& scanState() {
  return scan.state;
}

void resetScan() {
  scan.state = ScanState{};
  scan.pending = ScanReport{};
  scan.bookkeeping.reset();
  scan.remoteSearch.reset();
}

transport::ReceivePath& receivePath() {
  return scan.path;
}
brantleapi::Hp1Bookkeeping& hp1Bookkeeping() {
  return scan.bookkeeping;
}

void addScanChange(ScanChange change) {
  std::vector<ScanChange>& changes = scan.pending.changes;
  if (changes.size() >= kMaxPendingChanges) changes.erase(changes.begin());
  changes.push_back(std::move(change));
}

ScanReport takeScanReport() {
  return std::exchange(scan.pending, ScanReport{});
}

bool remoteSearchAwaits(const MacAddress& station) {
  return scan.remoteSearch.awaits(station);
}

bool handleTickFrame(const transport::Frame& frame) {
  if (frame.etherType() == transport::kEtherTypeHomePlug1) return HandleHp1Frame(frame);
  scan.remoteSearch.offer(frame);
  return false;
}

bool StartScan(std::uint32_t interval, int threshold, bool autoscanEnabled) {
  StopScan();
  scan.remoteSearch.reset();
  const bool found = LocalSearch();
  scan.state.autoscanInterval = std::max<std::uint32_t>(interval, 1);
  api::setDropThreshold(threshold);
  scan.state.autoscanOff = !autoscanEnabled;
  if (found) {
    scan.state.scanTick = 0;
    scan.state.scanPhase = 1;
    startTimer();
  }
  return found;
}

void StopScan() {
  stopTimer();
  transport::CloseAllInterfaces();
}

bool RestartScan(std::uint32_t interval, bool autoscanEnabled) {
  api::ClearRemotes();
  addScanChange(RemoteListReset{});
  return StartScan(interval, api::kDefaultDropThreshold, autoscanEnabled);
}

void restartScanCycle() {
  stopTimer();
  scan.state.scanTick = 0;
  scan.state.scanPhase = 1;
  startTimer();
}

bool SuspendAutoscan(bool on) {
  const bool previous = !scan.state.autoscanOff;
  scan.state.autoscanOff = !on;
  return previous;
}

void requestUserScan() {
  scan.state.userScanPending = true;
}

void holdWire() {
  ++scan.wireHolds;
}
void releaseWire() {
  --scan.wireHolds;
}
bool wireHeld() {
  return scan.wireHolds > 0;
}

void ScanTick() {
  if (scan.state.tickActive || wireHeld()) {
    ++scan.state.ticksSkipped;
    return;
  }
  TickGuard guard;
  if (scan.state.autoscanOff && !scan.state.userScanPending) return;
  ++scan.state.ticksRun;
  fetchWantedParameters();
  turboOperations().pollTurboReplies();
  ++scan.state.scanTick;
  if (counterEndsPhase()) nextPhase();
  if (scan.state.scanPhase == kAgeingPhase) {
    addScanChange(ageingSnapshot());
    api::AgeRemotes();
    LocalSearch();
    addScanChange(ListsChanged{static_cast<int>(kAgeingPhase)});
    scan.state.scanTick = 0;
    scan.state.scanPhase = 0;
    scan.state.userScanPending = false;
    ++scan.state.cyclesCompleted;
  }
  phaseStep();
  if (scan.remoteSearch.running()) scan.remoteSearch.step(kTickWaitBudgetMs);
}

bool scanTimerRunning() {
  return scan.state.timerRunning;
}
std::uint32_t scanTimerPeriodMs() {
  return scan.state.timerRunning ? scan.state.timerPeriodMs : 0;
}

const api::NetworkKey& defaultAvNetworkKey() {
  static const api::NetworkKey key = crypto::deriveNMK(crypto::kDefaultAvNetworkPassword);
  return key;
}

const Hp1Key8& hp1DefaultKeyA() {
  static const Hp1Key8 key = [] {
    const crypto::Key k = crypto::deriveNEK(crypto::kDefaultHp1NetworkPassword);
    Hp1Key8 out{};
    std::copy_n(k.begin(), out.size(), out.begin());
    return out;
  }();
  return key;
}

const Hp1Key8& hp1DefaultKeyB() {
  static const Hp1Key8 key = [] {
    Hp1Key8 out{};
    out[0] = 0x01;
    std::copy_n(hp1DefaultKeyA().begin(), out.size() - 1, out.begin() + 1);
    return out;
  }();
  return key;
}

// Selector 1 with no key set: what an adapter reports before any key was given to it.
const Hp1Key8& hp1DefaultKeyC() {
  static const Hp1Key8 key = [] {
    Hp1Key8 out{};
    const std::uint8_t selector = 0x01;
    out[0] = selector;
    return out;
  }();
  return key;
}

bool isDefaultHp1Key(ByteSpan key) {
  if (key.size() < 8) return false;
  for (const Hp1Key8* k : {&hp1DefaultKeyA(), &hp1DefaultKeyB(), &hp1DefaultKeyC()})
    if (std::equal(k->begin(), k->end(), key.begin())) return true;
  return false;
}

}  // namespace quorrel::scan
