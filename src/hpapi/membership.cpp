#include "hpapi/membership.h"

#include <algorithm>

#include "api/device_table.h"
#include "brantleapi/brantleapi.h"
#include "brantleapi/hp1_replies.h"
#include "crypto/keys.h"
#include "hpapi/key_exchange.h"
#include "persistence/known_devices.h"
#include "platform/clock.h"
#include "scan/autoscan_hold.h"
#include "scan/scan.h"
#include "transport/interface_table.h"

namespace quorrel::hpapi {

namespace {

using crypto::DeviceFamily;

MembershipState state;

crypto::Key widen(const brantleapi::Hp1Key& key) {
  crypto::Key out{};
  std::copy(key.begin(), key.end(), out.begin());
  return out;
}

// The key the local HomePlug 1.0 adapter holds, from the parameters it last reported; none
// while it has reported none.
std::optional<brantleapi::Hp1Key> hp1HeldKey() {
  const api::InterfaceState& st = api::currentState();
  brantleapi::Hp1Key key{};
  if (!st.localAnswered) return std::nullopt;
  std::copy_n(st.localParameters.begin() + brantleapi::kParamNetworkKey, key.size(), key.begin());
  if (std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return b == 0; }))
    return std::nullopt;
  return key;
}

// The network key of a join: random for a password test (the local key is saved first; no
// test without it, as the adapter could not be given it back), else the named network's key.
std::optional<crypto::Key> joinKey(transport::ReceivePath& path,
                                   std::optional<std::string_view> name, bool search) {
  const DeviceFamily family = currentFamily();
  if (!name) {
    if (family == DeviceFamily::Turbo) {
      if (!readTurboLocalKey(path, state.savedLocalKey)) return std::nullopt;
    } else if (family == DeviceFamily::HomePlug1) {
      const auto held = hp1HeldKey();
      if (!held) return std::nullopt;
      state.savedLocalKey = *held;
    }
    return crypto::makeRandomNetworkKey(family);
  }
  if (family == DeviceFamily::HomePlugAV)
    return search ? api::deviceTable().localAvNetworkKey : crypto::deriveNMK(*name);
  if (state.addingDevice || state.useSavedKeyOnce) {
    state.useSavedKeyOnce = false;
    return widen(state.savedLocalKey);
  }
  return crypto::deriveNEK(*name);
}

bool tryRemote(transport::ReceivePath& path, const crypto::Key& dk, const crypto::Key& nk,
               JoinTarget& target, bool search) {
  for (int attempt = 0; attempt < kJoinAttempts; ++attempt) {
    if (setRemoteKey(path, dk, nk, target.deviceMac, search, false) != 0) return true;
    platform::delay(kJoinRetryPauseMs);
  }
  return false;
}

}  // namespace

MembershipState& membershipState() {
  return state;
}

void resetMembershipState() {
  state = MembershipState{};
}

bool joinDeviceToNetwork(transport::ReceivePath& path, JoinTarget& target,
                         std::optional<std::string_view> name, bool search) {
  scan::AutoscanHold hold;
  target.joined = 0;
  const DeviceFamily family = currentFamily();
  const std::optional<crypto::Key> nk = joinKey(path, name, search);
  if (!nk) return false;
  if (family != DeviceFamily::HomePlugAV && setLocalNEK(path, nullptr, *nk) == 0) return false;
  const crypto::Key dk = crypto::deviceKeyFromPassword(target.devicePassword.view(), family);
  if (search) target.deviceMac = kBroadcastMac;
  if (tryRemote(path, dk, *nk, target, search)) target.joined = 1;
  if (!name && target.joined == 0) {
    // The test failed: the local adapter goes back to the key it had, and a device that took
    // the random key without answering is offered that key too.
    const crypto::Key back = family == DeviceFamily::HomePlugAV
                                 ? api::currentDevices().localNetworkKey
                                 : widen(state.savedLocalKey);
    setLocalNEK(path, nullptr, back);
    MacAddress copy = target.deviceMac;
    if (setRemoteKey(path, dk, back, copy, search, false) != 0 &&
        family == DeviceFamily::HomePlugAV)
      target.joined = 1;
  }
  return target.joined == 1;
}

int applyLocalNetworkName(transport::ReceivePath& path, std::optional<brantleapi::Hp1Key> held) {
  scan::AutoscanHold hold;
  api::InterfaceDevices& d = api::currentDevices();
  const DeviceFamily family = currentFamily();
  if (family == DeviceFamily::HomePlugAV) {
    const crypto::Key nk = crypto::deriveNMK(d.localNetworkName.view());
    d.localNetworkKey = nk;
    persistence::KnownDeviceTable& known = persistence::knownDevices();
    for (int i = 0; i < known.knownCount; ++i) {
      persistence::KnownDevice& r = known.records[static_cast<std::size_t>(i)];
      if (r.mac != d.localMac) continue;
      r.networkName = d.localNetworkName.view();
      r.networkKey = nk;
    }
    return static_cast<int>(setAvLocalKeyChecked(path, nk));
  }
  const brantleapi::Hp1Key nk =
      held ? *held : hp1KeyOf(crypto::deriveNEK(d.localNetworkName.view()));
  if (family == DeviceFamily::Turbo)
    return static_cast<int>(brantleapi::setTurboLocalKey(path, nk));
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return 0;
  const int index = static_cast<int>(transport::currentInterface());
  const auto& p = api::interfaceState(index).localParameters;
  brantleapi::Hp1Key selectorZero{};
  std::copy_n(p.begin() + brantleapi::kParamSelectorZeroKey, selectorZero.size(),
              selectorZero.begin());
  sendLoggedHp1KeyEntry(path, index, host, kBroadcastMac, 0, selectorZero, 1, true, true);
  return sendLoggedHp1KeyEntry(path, index, host, kBroadcastMac, 1, nk, 1, true, false);
}

}  // namespace quorrel::hpapi
