// The local search: the interfaces rebuilt, the local device of each found (HomePlug AV, then
// Turbo, then HomePlug 1.0), identified, and its network named.
#include <algorithm>
#include <vector>

#include "api/identification.h"
#include "scan/av_wait.h"
#include "scan/hp1_scan.h"
#include "scan/network_naming.h"
#include "scan/scan.h"
#include "scan/scan_report.h"
#include "scan/scan_services.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "transport/interface_table.h"

namespace quorrel::scan {

namespace {

enum class Family { None, Av, Turbo, HomePlug1 };

constexpr int kHp1ProbeAttempts = 3;
constexpr std::uint32_t kHp1ProbeWaitMs = 50;
constexpr std::uint32_t kHp1ProbeWaitStepMs = 100;
constexpr std::uint8_t kTurboFirmwareText = 0x20;
constexpr std::uint8_t kTurboNetworkKey = 0x21;

int interfaceCount() {
  return std::min<int>(transport::interfaceTable().interfaceCount, transport::kMaxInterfaces);
}

MacAddress interfaceMac(int i) {
  return transport::interfaceTable().entries[static_cast<std::size_t>(i)].macAddress;
}

// The same interfaces, with the same addresses, all open: closing and opening them again
// would only cost the tick tens of milliseconds in the capture library.
bool interfacesUnchanged() {
  const transport::InterfaceTable& t = transport::interfaceTable();
  std::vector<transport::InterfaceInfo> now;
  if (!transport::backend().listInterfaces(now)) return false;
  if (now.size() > static_cast<std::size_t>(transport::kMaxInterfaces))
    now.resize(transport::kMaxInterfaces);
  if (now.size() != t.interfaceList.size() || static_cast<int>(now.size()) != t.interfaceCount)
    return false;
  for (std::size_t i = 0; i < now.size(); ++i)
    if (now[i].name != t.interfaceList[i].name || now[i].mac != t.interfaceList[i].mac ||
        !t.entries[i].captureHandle)
      return false;
  return true;
}

void rebuildInterfaces() {
  if (!interfacesUnchanged()) {
    transport::CloseAllInterfaces();
    transport::EnumerateInterfaces();
    for (int i = 0; i < interfaceCount(); ++i) transport::OpenInterface(i);
  }
  for (api::InterfaceState& s : api::deviceTable().states) s.localPresent = false;
  api::deviceTable().turboLocal = false;
  api::deviceTable().avLocal = false;
}

bool avProbe(std::uint32_t searchCurrent) {
  bool found = false;
  // Each identification names its chip; the one that counts is the current interface's, not
  // the last one identified.
  std::string_view currentChip = api::deviceTable().localChipName;
  for (int i = 0; i < interfaceCount(); ++i) {
    transport::setCurrentInterface(static_cast<std::uint32_t>(i));
    thpapi::setAvAnswered(false);
    thpapi::SendAvRequest(kLocalDeviceMac, thpapi::kVersionRequest);
    thpapi::ThapiResult first;
    awaitAvAnswer(thpapi::kVersionRequest, nullptr, i, first);
    if (!thpapi::avAnswered()) continue;
    found = true;
    if (static_cast<std::uint32_t>(i) == searchCurrent) api::deviceTable().avLocal = true;
    // The second answer is the one identified; when it does not come, the first serves.
    thpapi::SendAvRequest(kLocalDeviceMac, thpapi::kVersionRequest);
    thpapi::ThapiResult second;
    const bool again = awaitAvAnswer(thpapi::kVersionRequest, nullptr, i, second);
    const thpapi::ThapiResult& answer = again ? second : first;
    const api::VersionConfirmation c{answer.source, i, answer.version};
    if (api::IdentifyLocalAv(i, c) == api::AvGeneration::Second)
      thpapi::setAvMessageVersion(thpapi::kMessageVersionV1);
    if (static_cast<std::uint32_t>(i) == searchCurrent)
      currentChip = api::deviceTable().localChipName;
  }
  api::deviceTable().localChipName = currentChip;
  transport::setCurrentInterface(searchCurrent);
  return found;
}

bool turboProbe(std::uint32_t searchCurrent) {
  bool found = false;
  TurboOperations& ops = turboOperations();
  for (int i = 0; i < interfaceCount(); ++i) {
    transport::setCurrentInterface(static_cast<std::uint32_t>(i));
    if (!ops.detectTurboDevice()) continue;
    found = true;
    if (static_cast<std::uint32_t>(i) == searchCurrent) api::deviceTable().turboLocal = true;
    ops.requestTurboPrivate(kTurboFirmwareText);
    ops.collectTurboReplies();
    api::InterfaceState& st = api::interfaceState(i);
    st.localAnswered = true;
    st.localPresent = true;
    st.localClass = api::DeviceClass::Turbo;
  }
  transport::setCurrentInterface(searchCurrent);
  return found;
}

bool hp1Probe() {
  for (int i = 0; i < interfaceCount(); ++i) {
    api::InterfaceState& st = api::interfaceState(i);
    bool answered = false;
    for (int a = 0; a < kHp1ProbeAttempts && !answered; ++a) {
      // From the local device's own address once known, so its answer loops back.
      const MacAddress source = isZeroMac(st.localMac) ? interfaceMac(i) : st.localMac;
      sendNetworkStatisticsRequest(i, source);
      answered =
          waitForLoopback(i, static_cast<std::uint32_t>(a) * kHp1ProbeWaitStepMs + kHp1ProbeWaitMs);
    }
    if (answered) st.probeAttempts = 0;
    if (!answered && st.probeAttempts == kHp1ProbeAttempts) {
      st.probeAttempts = 0;
      st.localPresent = false;
    } else if (st.probeAttempts < 255) {
      ++st.probeAttempts;
    }
  }
  const auto& states = api::deviceTable().states;
  return std::any_of(states.begin(), states.end(),
                     [](const api::InterfaceState& s) { return s.localPresent; });
}

// Step 5 of the search. False when a HomePlug 1.0 device has not reported its parameters yet:
// then the search ends without copying its findings into the device records.
bool nameNetwork(Family family) {
  api::DeviceTable& t = api::deviceTable();
  const api::InterfaceState& st = api::currentState();
  // Only a local device on the current interface has a network to name here.
  if (!st.localPresent || isZeroMac(st.localMac)) return true;
  api::NetworkKey key{};
  if (family == Family::HomePlug1) {
    ScanState& s = scanState();
    if (!s.localParamsValid) return false;
    // The key as a HomePlug 1.0 device holds it: the key selector, then the key's first bytes.
    std::copy_n(s.localParams.begin() + brantleapi::kParamKeySelector, t.localHp1NetworkKey.size(),
                t.localHp1NetworkKey.begin());
  } else if (family == Family::Turbo) {
    turboOperations().requestTurboPrivate(kTurboNetworkKey);
    turboOperations().collectTurboReplies();
  }
  const LocalRecord record = knownRecordOfLocal(st.localMac);
  if (family == Family::Av) {
    // A failed read keeps the key this device gave last time, never another device's.
    MacAddress& owner = scanState().avKeyOwner;
    api::NetworkKey read = t.localAvNetworkKey;
    if (localKeyReader()(st.localMac, read) == 1)
      t.localAvNetworkKey = read;
    else if (owner != st.localMac)
      t.localAvNetworkKey = {};
    owner = st.localMac;
    t.localAvNetworkName =
        nameLocalNetwork(KeyFamily::Av, t.localAvNetworkKey, record, t.localAvNetworkName);
  } else {
    std::copy(t.localHp1NetworkKey.begin(), t.localHp1NetworkKey.end(), key.begin());
    t.localHp1NetworkName = nameLocalNetwork(KeyFamily::Hp1, key, record, t.localHp1NetworkName);
  }
  return true;
}

void copyFindings(Family family) {
  const api::DeviceTable& t = api::deviceTable();
  for (int i = 0; i < interfaceCount(); ++i) {
    api::InterfaceDevices& d = api::interfaceDevices(i);
    const api::InterfaceState& st = api::interfaceState(i);
    d.interfaceMac = interfaceMac(i);
    d.localPresent = st.localPresent;
    if (!st.localPresent) continue;
    d.localClass = st.localClass;
    d.localMac = st.localMac;
    if (family == Family::Av) {
      d.localNetworkKey = t.localAvNetworkKey;
      d.localNetworkName = t.localAvNetworkName;
    } else {
      d.localNetworkKey = {};
      std::copy(t.localHp1NetworkKey.begin(), t.localHp1NetworkKey.end(),
                d.localNetworkKey.begin());
      d.localNetworkName = t.localHp1NetworkName;
    }
  }
}

}  // namespace

bool LocalSearch() {
  const std::uint32_t searchCurrent = transport::currentInterface();
  rebuildInterfaces();
  Family family = Family::None;
  if (avProbe(searchCurrent)) {
    family = Family::Av;
  } else if (turboProbe(searchCurrent)) {
    family = Family::Turbo;
  } else if (hp1Probe()) {
    family = Family::HomePlug1;
  }
  // A network statistics reply taken by the probe may have asked for the local parameters,
  // which name a HomePlug 1.0 network.
  fetchWantedParameters();
  if (family == Family::Av || family == Family::Turbo) addScanChange(UpgradeButtonChanged{true});
  if (family != Family::None && !nameNetwork(family)) return true;
  copyFindings(family);
  if (family == Family::None) {
    api::ClearRemotes();
    addScanChange(ListsChanged{static_cast<int>(scanState().scanPhase)});
  }
  return family != Family::None;
}

}  // namespace quorrel::scan
