#include "ui/hputilities/add_device.h"

#include <algorithm>
#include <cctype>

#include "api/device_table.h"
#include "api/local_network_key.h"
#include "crypto/keys.h"
#include "hpapi/key_exchange.h"
#include "persistence/known_devices.h"
#include "platform/clock.h"
#include "platform/state_lock.h"
#include "scan/autoscan_hold.h"
#include "scan/scan.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "transport/interface_table.h"
#include "ui/hputilities/password_rules.h"

namespace quorrel::hputilities {

namespace {

using platform::NoticeButtons;
using platform::NoticeIcon;
using platform::NoticeOwner;

void step(const Advance& advance) {
  if (advance) advance();
}

// A step that failed because the user cancelled says nothing of its own: the operation ends
// with the cancel's message, which says where the adapters were left.
void tell(const std::string& text, const std::string& caption, NoticeIcon icon = NoticeIcon::None,
          NoticeButtons buttons = NoticeButtons::Ok, NoticeOwner owner = NoticeOwner::None) {
  if (!platform::cancelRequested()) platform::showNotice(text, caption, icon, buttons, owner);
}

// The failure reset: the half-added adapter leaves the list and no add is pending any more.
void forgetAdded() {
  hpapi::MembershipState& s = hpapi::membershipState();
  if (!isZeroMac(s.addedMac))
    for (api::RemoteDevice& r : api::currentDevices().remotes)
      if (r.mac == s.addedMac) {
        r.inUse = false;
        break;
      }
  s.addingDevice = false;
  s.addedMac = {};
}

void showJoinFailure(NoticeOwner owner, bool search) {
  tell(search ? kNotDetectedText : kInvalidDevicePasswordText, kAttentionCaption,
       NoticeIcon::Warning, NoticeButtons::Ok, owner);
}

void recordSuccess(std::optional<std::string_view> name, std::string_view password) {
  hpapi::MembershipState& s = hpapi::membershipState();
  if (name) s.addName = *name;
  s.addPassword = password;
}

std::string upperCased(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

int addOlderRoad(transport::ReceivePath& path, NoticeOwner owner,
                 std::optional<std::string_view> name, std::string& password, bool search,
                 hpapi::JoinTarget& target, const Advance& advance) {
  // Passwords are printed in capitals and groups of four; users type them otherwise.
  std::string tried = target.devicePassword.str();
  bool normalised = false;
  int result = 0;
  // The local adapter's key as the first test read it from the adapter. A lost frame can
  // leave the adapter on a test key, which a later reading would take for its own; and the
  // stored network name may derive no key the adapter has.
  hpapi::MembershipState& s = hpapi::membershipState();
  s.savedLocalKey = {};
  std::optional<brantleapi::Hp1Key> own;
  for (int form = 0; !platform::cancelRequested(); ++form) {
    const bool tested = hpapi::joinDeviceToNetwork(path, target, std::nullopt, search);
    if (!own && s.savedLocalKey != brantleapi::Hp1Key{}) own = s.savedLocalKey;
    if (own) s.savedLocalKey = *own;
    if (tested) {
      if (search) s.addedMac = target.deviceMac;
      const api::NetworkName local = api::currentDevices().localNetworkName;
      if (hpapi::joinDeviceToNetwork(path, target, local.view(), false)) {
        recordSuccess(name, password);
        result = 1;
      }
      break;
    }
    step(advance);
    std::string next = tried;
    if (form == 0) next = upperCased(tried);
    if (form <= 1 && next == tried) {
      insertPasswordDashes(next);
      form = 1;
    }
    if (form >= 2 || next == tried) break;
    tried = next;
    target.devicePassword = tried;
    normalised = true;
  }
  step(advance);
  if (own) {
    const platform::CancelShield restoring;
    hpapi::applyLocalNetworkName(path, own);
  }
  if (result == 1) {
    if (normalised) password = target.devicePassword.str();
    platform::showNotice(search ? kAddedText : kVerifiedText, kInformationCaption,
                         NoticeIcon::Information, NoticeButtons::Ok, owner);
  } else {
    showJoinFailure(owner, search);
    forgetAdded();
  }
  return result;
}

bool readLocalKey(transport::ReceivePath& path, api::NetworkKey& key) {
  return api::ReadLocalNetworkKey(path, api::LocalDeviceAddress(), key) == 1;
}

// Polls the local adapter's parameter block until it holds `key`.
bool localKeyBecomes(transport::ReceivePath& path, const api::NetworkKey& key) {
  for (int i = 0; i < kLocalKeyPolls; ++i) {
    api::NetworkKey now{};
    if (readLocalKey(path, now) && now == key) return true;
    platform::delay(kLocalKeyPollMs);
  }
  return false;
}

// Lists the temporary network until a station shows up; the station count and the first one.
std::size_t watchTemporaryNetwork(transport::ReceivePath& path, MacAddress& first) {
  std::size_t count = 0;
  for (int round = 0; round < kStationRounds && count == 0; ++round)
    for (int i = 0; i < 2; ++i) {
      thpapi::SendAvRequest(api::LocalDeviceAddress(), thpapi::kNetworkInfoRequest);
      thpapi::ThapiResult result;
      if (!thpapi::WaitConfirmation(path, thpapi::kNetworkInfoRequest, result)) continue;
      platform::delay(kStationSettleMs);
      for (const auto& s : result.stations) api::UpsertRemote(s.mac);
      count = result.stations.size();
      first = count > 0 ? result.stations.front().mac : MacAddress{};
    }
  return count;
}

// The AV road from the temporary network on. `onUserKey` says whether the local adapter is
// back on the user's key.
int addAvTemporary(transport::ReceivePath& path, NoticeOwner owner,
                   std::optional<std::string_view> name, const std::string& password, bool search,
                   hpapi::JoinTarget& target, const api::NetworkKey& userKey, bool& onUserKey,
                   const Advance& advance) {
  const MacAddress host = transport::SourceAddress();
  const crypto::Key dak = crypto::deriveDAK(target.devicePassword.view());
  MacAddress added{};
  for (int restart = 0;; ++restart) {
    if (platform::cancelRequested()) return 0;
    const auto tmp = crypto::makeRandomNetworkKey(crypto::DeviceFamily::HomePlugAV);
    if (!tmp) break;
    onUserKey = false;
    hpapi::setLocalNEK(path, &host, *tmp);
    bool accepted = false;
    for (int i = 0; i < kTemporaryKeyTries && !accepted; ++i) {
      MacAddress any = kBroadcastMac;
      accepted = hpapi::setRemoteKey(path, dak, *tmp, any, false, false) != 0;
      platform::delay(kAfterKeyTryMs);
    }
    if (!accepted) {
      tell(kRemoteNmkText, kAttentionCaption, NoticeIcon::Warning, NoticeButtons::Ok,
           NoticeOwner::MainPage);
      return 0;
    }
    if (!localKeyBecomes(path, *tmp)) {
      tell(kLocalNmkTimeoutText, kLocalNmkTimeoutCaption, NoticeIcon::Warning, NoticeButtons::Ok,
           owner);
      return 0;
    }
    const std::size_t count = watchTemporaryNetwork(path, added);
    if (count >= 2 && restart < kTemporaryNetworkRestarts) continue;
    if (count != 1) {
      tell(kAddErrorText, kAttentionCaption, NoticeIcon::Warning, NoticeButtons::Ok,
           NoticeOwner::MainPage);
      hpapi::membershipState().addedMac = added;
      return 0;
    }
    break;
  }
  if (isZeroMac(added)) {
    tell(kAddErrorText, kAttentionCaption, NoticeIcon::Warning, NoticeButtons::Ok,
         NoticeOwner::MainPage);
    return 0;
  }
  platform::delay(kBeforeReturnMs);
  step(advance);
  platform::delay(kBeforeReturnMs);
  // The local adapter returns to the user's network. A confirmation can be lost, so what counts
  // is the key it reports; without it the add cannot go on.
  hpapi::setLocalNEK(path, &host, userKey);
  if (!localKeyBecomes(path, userKey)) {
    tell(kLocalNmkTimeoutText, kLocalNmkTimeoutCaption, NoticeIcon::Warning, NoticeButtons::Ok,
         owner);
    return 0;
  }
  onUserKey = true;
  if (platform::cancelRequested()) return 0;
  step(advance);
  platform::delay(kAfterReturnMs);
  hpapi::membershipState().addedMac = added;
  step(advance);
  const api::NetworkName local = api::currentDevices().localNetworkName;
  // The join moves the local adapter on its way and back: once begun, it runs to its end.
  const platform::CancelShield joining;
  if (!hpapi::joinDeviceToNetwork(path, target, local.view(), search)) {
    showJoinFailure(NoticeOwner::MainPage, search);
    return 0;
  }
  recordSuccess(name, password);
  return 1;
}

int addAvRoad(transport::ReceivePath& path, NoticeOwner owner, std::optional<std::string_view> name,
              const std::string& password, bool search, hpapi::JoinTarget& target,
              const Advance& advance, const Rescan& rescan) {
  scan::AutoscanHold hold;
  api::NetworkKey userKey{};
  if (!readLocalKey(path, userKey)) {
    tell(kReadNmkErrorText, kReadNmkErrorCaption);
    forgetAdded();
    return 0;
  }
  bool onUserKey = true;
  int result = 0;
  try {
    result =
        addAvTemporary(path, owner, name, password, search, target, userKey, onUserKey, advance);
  } catch (...) {
    tell(kUnknownAddText, kUnknownAddCaption);
    result = 0;
  }
  if (result == 0) {
    forgetAdded();
    if (!onUserKey) {
      // The local adapter may still be in the temporary network.
      const bool cancelled = platform::cancelRequested();
      const platform::CancelShield restoring;
      hpapi::setLocalNEK(path, nullptr, userKey);
      platform::delay(kAfterRestoreMs);
      // A cancel can come while the adapter still takes the temporary key, which it finishes
      // after the request to go back: it is asked again until it reports the user's key.
      if (cancelled && !localKeyBecomes(path, userKey)) {
        hpapi::setLocalNEK(path, nullptr, userKey);
        localKeyBecomes(path, userKey);
      }
    }
  }
  if (rescan) rescan();
  return result;
}

}  // namespace

void insertPasswordDashes(std::string& password) {
  for (std::size_t i : {std::size_t{4}, std::size_t{9}, std::size_t{14}}) {
    if (i > password.size() || password.size() >= kMaxTextBytes) break;
    if (i < password.size() && password[i] == '-') continue;
    password.insert(password.begin() + static_cast<std::ptrdiff_t>(i), '-');
  }
}

int addDevice(transport::ReceivePath& path, NoticeOwner owner, std::optional<std::string_view> name,
              std::string& password, const MacAddress* mac, const Advance& advance,
              const Rescan& rescan) {
  scan::WireHold hold;
  platform::WaitCursor cursor;
  hpapi::JoinTarget target;
  target.devicePassword = password;
  const bool search = mac == nullptr;
  target.deviceMac = search ? kBroadcastMac : *mac;
  const int r = api::deviceTable().avLocal && !api::deviceTable().turboLocal
                    ? addAvRoad(path, owner, name, password, search, target, advance, rescan)
                    : addOlderRoad(path, owner, name, password, search, target, advance);
  if (r == 0 && platform::cancelRequested())
    platform::showNotice(search ? kAddCancelledText : kPasswordTestCancelledText, kCancelledCaption,
                         NoticeIcon::Information, NoticeButtons::Ok, owner);
  return r;
}

int verifyDevicePassword(transport::ReceivePath& path, NoticeOwner owner, hpapi::JoinTarget& target,
                         const Advance& advance, const Rescan& rescan) {
  struct ClearOnReturn {
    ~ClearOnReturn() { hpapi::membershipState().useSavedKeyOnce = false; }
  } clear;
  scan::WireHold wire;
  if (isZeroMac(transport::SourceAddress())) return -1;
  if (api::deviceTable().avLocal && !api::deviceTable().turboLocal) {
    const crypto::Key dak = crypto::deriveDAK(target.devicePassword.view());
    const crypto::Key nk = api::currentDevices().localNetworkKey;
    scan::AutoscanHold hold;
    if (hpapi::setRemoteKey(path, dak, nk, target.deviceMac, false, true) ==
        brantleapi::kKeyAvConfirmed)
      return 1;
    if (platform::cancelRequested()) {
      platform::showNotice(kPasswordTestCancelledText, kCancelledCaption, NoticeIcon::Information,
                           NoticeButtons::Ok, owner);
      return -1;
    }
    platform::showNotice(kInvalidDevicePasswordText, kAttentionCaption, NoticeIcon::Warning,
                         NoticeButtons::Ok, NoticeOwner::MainPage);
    return 0;
  }
  std::string password = target.devicePassword.str();
  const MacAddress mac = target.deviceMac;
  const int r = addDevice(path, owner, std::nullopt, password, &mac, advance, rescan);
  target.devicePassword = password;
  if (r == 0 && platform::cancelRequested()) return -1;  // not tested: kept as not checked
  return r != 0 ? 1 : 0;
}

std::string storedPassword(std::string_view typed, int verifyResult) {
  std::string out;
  if (verifyResult == 0) out = persistence::kRejectedPrefix;
  if (verifyResult < 0) out = persistence::kUncheckedPrefix;
  out += typed;
  return out;
}

}  // namespace quorrel::hputilities
