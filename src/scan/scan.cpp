// The scan's state machine: start and stop, the per-tick phase steps and the remote search.
#include "scan/scan.h"

#include <algorithm>
#include <vector>

#include "api/identification.h"
#include "api/rate_stats.h"
#include "crypto/keys.h"
#include "scan/av_wait.h"
#include "scan/brantle_link.h"
#include "scan/hp1_intake.h"
#include "scan/scan_services.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_intake.h"
#include "thpapi/frame_layout.h"
#include "transport/interface_table.h"

namespace quorrel::scan {

namespace {

ScanState state;

void startTimer() {
  state.timerRunning = true;
  state.timerPeriodMs = timerPeriodFor(state.autoscanInterval);
  scanListener().scanTimerChanged(true, state.timerPeriodMs);
}

void stopTimer() {
  if (!state.timerRunning) return;
  state.timerRunning = false;
  scanListener().scanTimerChanged(false, 0);
}

void nextPhase() {
  state.scanTick = 0;
  ++state.scanPhase;
}

struct Station {
  MacAddress mac;
  std::uint16_t rate;
};

// The stations of the first network, copied out before the result is used again.
std::vector<Station> stationsOf(const thpapi::ThapiResult& r, int version) {
  std::vector<Station> list;
  const std::size_t n = thpapi::stationCount(r, version);
  for (std::size_t i = 0; i < n; ++i) {
    thpapi::StationEntry e;
    if (thpapi::readStation(r, version, i, e)) list.push_back({e.mac, e.rate});
  }
  return list;
}

// Every listed station is asked for its version at once and the answers are taken as they
// come, each only from the station asked: the tick then lasts about one round trip rather than
// one per station, and a station that does not answer costs no more than the others' wait.
void avRemoteSearch() {
  const MacAddress local = api::LocalDeviceAddress();
  const int here = static_cast<int>(transport::currentInterface());
  const int version = thpapi::avMessageVersion();
  thpapi::SendAvRequest(local, thpapi::kNetworkInfoRequest);
  thpapi::ThapiResult info;
  if (!awaitAvAnswer(thpapi::kNetworkInfoRequest, isZeroMac(local) ? nullptr : &local, here, info))
    return;
  const auto layout = version == thpapi::kMessageVersionV1 ? api::StationListLayout::Mmv1
                                                           : api::StationListLayout::Mmv0;
  std::vector<Station> asked;
  for (const Station& s : stationsOf(info, version)) {
    if (s.mac == local || s.mac == kBroadcastMac) continue;
    if (api::UpsertRemote(s.mac) == nullptr) continue;
    // A station listed twice is asked once; its last listing's rate counts.
    auto same =
        std::find_if(asked.begin(), asked.end(), [&](const Station& a) { return a.mac == s.mac; });
    if (same != asked.end()) {
      same->rate = s.rate;
      continue;
    }
    asked.push_back(s);
    thpapi::SendAvRequest(s.mac, thpapi::kVersionRequest);
  }
  const std::uint32_t budget =
      kAnswerWaitMs + kAnswerWaitPerStationMs * static_cast<std::uint32_t>(asked.size());
  awaitVersionAnswers(here, budget, [&](const thpapi::ThapiResult& answer) {
    auto s = std::find_if(asked.begin(), asked.end(),
                          [&](const Station& a) { return a.mac == answer.source; });
    if (s == asked.end()) return false;
    // The entry may have moved if the table was full and a newcomer took its place.
    if (api::RemoteDevice* entry = api::FindRemote(s->mac)) {
      api::IdentifyRemoteAv(*entry, answer.bytes(), layout);
      api::UpdateRateStats(entry->rateStats, s->rate, 0, 0, api::RateMode::HomePlugAv);
    }
    asked.erase(s);
    return asked.empty();
  });
}

void remoteSearch() {
  api::DeviceTable& t = api::deviceTable();
  if (t.turboLocal) {
    turboOperations().requestTurboStatistics(api::LocalDeviceAddress());
  } else if (t.avLocal) {
    avRemoteSearch();
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
  switch (state.scanPhase) {
    case 1:
      if (!turbo)
        sendLocalParametersRequest(st.localAnswered ? hp1::kSelectorStored : hp1::kSelectorWorking);
      sendStatisticsRequest(kBroadcastMac);
      scanListener().RefreshDeviceLists(1);
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
      if (!turbo && st.localAnswered) sendLocalParametersRequest(hp1::kSelectorStored);
      nextPhase();
      break;
    case 5:
      if (!turbo) sendLocalParametersRequest(hp1::kSelectorWorking);
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
  const bool working = state.scanPhase >= 1 && state.scanPhase <= 5;
  return state.scanTick >= state.autoscanInterval && (!working || state.scanTick > 1);
}

struct TickGuard {
  TickGuard() { state.tickActive = true; }
  ~TickGuard() { state.tickActive = false; }
};

}  // namespace

ScanState& scanState() {
  return state;
}

void ResetScan() {
  state = ScanState{};
  ResetIntake();
}

void InstallScanIntake() {
  thpapi::setFrameIntake(&ReadInterfaceFrame);
  linkHp1Handler();
}

bool StartScan(std::uint32_t interval, int threshold, bool autoscanEnabled) {
  StopScan();
  InstallScanIntake();
  const bool found = LocalSearch();
  state.autoscanInterval = std::max<std::uint32_t>(interval, 1);
  api::SetDropThreshold(threshold);
  state.autoscanOff = !autoscanEnabled;
  if (found) {
    state.scanTick = 0;
    state.scanPhase = 1;
    startTimer();
  }
  return found;
}

void StopScan() {
  stopTimer();
  transport::CloseAllInterfaces();
}

bool RestartScan(std::uint32_t interval, bool autoscanEnabled) {
  scanListener().ResetRemoteList();
  return StartScan(interval, api::kDefaultDropThreshold, autoscanEnabled);
}

void RestartScanCycle() {
  stopTimer();
  state.scanTick = 0;
  state.scanPhase = 1;
  startTimer();
}

bool SuspendAutoscan(bool on) {
  const bool previous = !state.autoscanOff;
  state.autoscanOff = !on;
  return previous;
}

void RequestUserScan() {
  state.userScanPending = true;
}

void ScanTick() {
  if (state.tickActive) {
    ++state.ticksSkipped;
    return;
  }
  TickGuard guard;
  if (state.autoscanOff && !state.userScanPending) return;
  ++state.ticksRun;
  turboOperations().pollTurboReplies();
  ++state.scanTick;
  if (counterEndsPhase()) nextPhase();
  if (state.scanPhase == kAgeingPhase) {
    api::AgeRemotes();
    LocalSearch();
    scanListener().RefreshDeviceLists(static_cast<int>(kAgeingPhase));
    state.scanTick = 0;
    state.scanPhase = 0;
    state.userScanPending = false;
    ++state.cyclesCompleted;
  }
  phaseStep();
}

bool scanTimerRunning() {
  return state.timerRunning;
}
std::uint32_t scanTimerPeriodMs() {
  return state.timerRunning ? state.timerPeriodMs : 0;
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
