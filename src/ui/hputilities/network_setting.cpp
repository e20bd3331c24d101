#include "ui/hputilities/network_setting.h"

#include <string>

#include "api/device_table.h"
#include "crypto/keys.h"
#include "hpapi/key_exchange.h"
#include "hpapi/membership.h"
#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "platform/clock.h"
#include "platform/state_lock.h"
#include "scan/autoscan_hold.h"
#include "scan/scan.h"
#include "ui/hputilities/password_rules.h"

namespace quorrel::hputilities {

namespace {

using platform::NoticeButtons;
using platform::NoticeIcon;
using platform::NoticeOwner;

void runRescan(const Rescan& rescan) {
  if (rescan) rescan();
}

// The known-device records that get the new network after their adapter joined it.
void recordNetwork(persistence::KnownDevice& record, std::string_view name) {
  record.networkName = name;
  record.networkKey = {};
  crypto::copyKey(record.networkKey, crypto::networkKeyFromPassword(name, hpapi::currentFamily()),
                  hpapi::currentFamily());
}

}  // namespace

std::string localNetworkSetText(std::string_view name) {
  std::string text(kLocalNetworkSet);
  text += " to '";
  text += name;
  text += "'";
  return text;
}

int setLocalNetwork(transport::ReceivePath& path, NoticeOwner owner, std::string_view name,
                    const Rescan& rescan) {
  scan::WireHold hold;
  platform::WaitCursor cursor;
  const crypto::Key key = crypto::networkKeyFromPassword(name, hpapi::currentFamily());
  // Once the key is on its way, only its answer says which network the adapter is in.
  int result = 0;
  if (!platform::cancelRequested()) {
    const platform::CancelShield setting;
    result = hpapi::setLocalNEK(path, nullptr, key);
  }
  if (result != 0) {
    hpapi::membershipState().suppressAdapterMessage = true;
    scan::scanState().networkNameSetPending = true;
    const std::string text = localNetworkSetText(name);
    persistence::SaveDeviceData();
    platform::delay(kAfterLocalSetMs);
    if (api::deviceTable().avLocal) platform::delay(kAfterLocalSetAvMs);
    runRescan(rescan);
    platform::showNotice(text, kInformationCaption, NoticeIcon::Information, NoticeButtons::Ok,
                         owner);
  } else {
    if (platform::cancelRequested() && result == 0)
      platform::showNotice(kLocalCancelledText, kCancelledCaption, NoticeIcon::Information,
                           NoticeButtons::Ok, owner);
    else
      platform::showNotice(kUnableToComplete, kProblemOccurredCaption, NoticeIcon::Error);
  }
  return result;
}

std::string allDevicesCancelledText(const AllDevicesResult& r, std::string_view name) {
  std::string moved, stayed, local = "your adapter kept its network";
  for (const DeviceJoin& d : r.devices) {
    if (d.local) {
      if (d.joined) local = "your adapter is in it too";
      continue;
    }
    std::string& list = d.joined ? moved : stayed;
    list += (list.empty() ? "" : ", ") + (d.name.empty() ? formatMac(d.mac) : d.name);
  }
  std::string text = "Setting the network name was cancelled. In the network '";
  text += name;
  text += "': " + (moved.empty() ? std::string("none") : moved) + "; " + local +
          ". Still in their old network: " + (stayed.empty() ? std::string("none") : stayed) +
          ", and every device not tried.";
  return text;
}

AllDevicesResult setNetworkOnAllDevices(transport::ReceivePath& path, NoticeOwner owner,
                                        std::string_view name, const Rescan& rescan) {
  scan::WireHold hold;
  AllDevicesResult r;
  if (checkNetworkPassword(name) == 0) {
    platform::showNotice(kInvalidNetworkNameText, kInvalidEntryCaption, NoticeIcon::Error);
  } else {
    const MacAddress local = api::LocalDeviceAddress();
    persistence::KnownDeviceTable& known = persistence::knownDevices();
    std::string localName;
    for (int i = 0; i < known.knownCount; ++i) {
      persistence::KnownDevice& record = known.records[static_cast<std::size_t>(i)];
      if (platform::cancelRequested()) {
        r.cancelled = true;  // the devices not tried yet stay in their network
        break;
      }
      if (record.mac == local) {
        localName = record.name.str();  // set last, with the local adapter's own key
        continue;
      }
      // A password the device turned down is not tried again; one that could not be tested
      // is tried as typed.
      std::string_view password = record.password.view();
      if (password.starts_with(persistence::kRejectedPrefix)) continue;
      if (password.starts_with(persistence::kUncheckedPrefix))
        password.remove_prefix(persistence::kUncheckedPrefix.size());
      if (password.empty()) continue;
      hpapi::JoinTarget target;
      target.devicePassword = password;
      target.deviceMac = record.mac;
      r.lastJoined = hpapi::joinDeviceToNetwork(path, target, name, false) ? 1 : 0;
      r.devices.push_back({record.mac, record.name.str(), r.lastJoined == 1, false});
      if (r.lastJoined == 0) continue;
      recordNetwork(record, name);
      ++r.done;
    }
    // The name was just set: the local adapter takes the key it derives, also when no device
    // was tried (each join sets the local adapter on the way).
    r.cancelled = r.cancelled || platform::cancelRequested();
    // Devices that moved are reached only through the new key, so the local adapter takes it
    // even after a cancel; with none moved, a cancel leaves it where it was.
    if (!r.cancelled || r.done > 0) {
      const platform::CancelShield finishing;
      r.localSet = hpapi::applyLocalNetworkName(path, std::nullopt) != 0;
    }
    r.devices.push_back({local, localName, r.localSet, true});
    r.total = static_cast<int>(r.devices.size());
    if (r.localSet) {
      scan::scanState().networkNameSetPending = true;
      ++r.done;
    }
    if (r.cancelled)
      platform::showNotice(allDevicesCancelledText(r, name), kCancelledCaption,
                           NoticeIcon::Information, NoticeButtons::Ok, owner);
    else if (r.allSet())
      platform::showNotice(kAllDevicesAdded, kInformationCaption, NoticeIcon::Information,
                           NoticeButtons::Ok, owner);
    else
      platform::showNotice(kSomeDevicesNotAdded, kAttentionCaption, NoticeIcon::Warning,
                           NoticeButtons::Ok, owner);
  }
  platform::delay(kAroundSaveMs);
  persistence::SaveDeviceData();
  platform::delay(kAroundSaveMs);
  runRescan(rescan);
  return r;
}

int changeNetworkName(transport::ReceivePath& path, std::string_view name, bool allDevices,
                      const Rescan& rescan, AllDevicesResult* all, const Confirm& confirm) {
  if (!checkNetworkNameLength(name)) return -1;
  if (checkNetworkPassword(name) == 0) {
    platform::showNotice(kInvalidNetworkNameText, kInvalidEntryCaption, NoticeIcon::Stop,
                         NoticeButtons::Ok, NoticeOwner::MainPage);
    return -1;
  }
  if (confirm && !confirm()) return 0;
  scan::WireHold hold;
  const bool autoscan = scan::SuspendAutoscan(false);
  api::InterfaceDevices& d = api::currentDevices();
  const api::NetworkName oldName = d.localNetworkName;
  const api::NetworkKey oldKey = d.localNetworkKey;
  d.localNetworkName = name;
  if (api::deviceTable().avLocal) d.localNetworkKey = crypto::deriveNMK(name);
  bool ok = false;
  if (allDevices) {
    const AllDevicesResult r = setNetworkOnAllDevices(path, NoticeOwner::MainPage, name, rescan);
    ok = r.localSet;
    if (all != nullptr) *all = r;
  } else {
    ok = setLocalNetwork(path, NoticeOwner::MainPage, name, rescan) != 0;
  }
  if (!ok) {
    // The adapter kept its key, so the record keeps the name that goes with it.
    api::InterfaceDevices& now = api::currentDevices();
    now.localNetworkName = oldName;
    now.localNetworkKey = oldKey;
    scan::scanState().networkNameSetPending = false;
  }
  scan::SuspendAutoscan(autoscan);
  return ok ? 1 : 0;
}

}  // namespace quorrel::hputilities
