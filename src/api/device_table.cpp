// The process-wide device table and the remote-entry bookkeeping of the scan.
#include "api/device_table.h"

#include <algorithm>

#include "transport/interface_table.h"

namespace quorrel::api {

namespace {
DeviceTable table;

int clampIndex(int index) {
  return std::clamp(index, 0, kInterfaceCount - 1);
}

bool ignoredRemoteMac(const MacAddress& mac) {
  return isZeroMac(mac) || isGroupMac(mac);
}

// The network the local device of the current family is in, as a remote entry records it.
void copyLocalNetwork(RemoteDevice& entry) {
  entry.networkKey = {};
  if (table.avLocal) {
    entry.networkKey = table.localAvNetworkKey;
    entry.networkName = table.localAvNetworkName;
  } else {
    std::copy(table.localHp1NetworkKey.begin(), table.localHp1NetworkKey.end(),
              entry.networkKey.begin());
    entry.networkName = table.localHp1NetworkName;
  }
}

bool isLocalDevice(const MacAddress& mac) {
  return mac == currentState().localMac || mac == currentDevices().localMac;
}
}  // namespace

DeviceTable& deviceTable() {
  return table;
}

void resetDeviceTable() {
  table = DeviceTable{};
}

InterfaceState& interfaceState(int index) {
  return table.states[clampIndex(index)];
}
InterfaceDevices& interfaceDevices(int index) {
  return table.devices[clampIndex(index)];
}

InterfaceState& currentState() {
  return interfaceState(static_cast<int>(transport::currentInterface()));
}
InterfaceDevices& currentDevices() {
  return interfaceDevices(static_cast<int>(transport::currentInterface()));
}

void setDropThreshold(int threshold) {
  table.dropThreshold =
      static_cast<std::uint8_t>(std::clamp<int>(threshold, kMinDropThreshold, kMaxDropThreshold));
}

bool SelectInterfaceByMac(const MacAddress* mac) {
  if (mac == nullptr || isZeroMac(*mac)) return true;
  for (int i = 0; i < kInterfaceCount; ++i) {
    const InterfaceDevices& d = table.devices[i];
    if (d.localPresent && d.interfaceMac == *mac) {
      transport::setCurrentInterface(static_cast<std::uint32_t>(i));
      table.turboLocal = d.localClass == DeviceClass::Turbo;
      return true;
    }
  }
  return false;
}

MacAddress LocalDeviceAddress() {
  return currentState().localMac;
}

std::string_view DeviceClassLabel(int interfaceIndex) {
  if (interfaceIndex < 0 || interfaceIndex >= kInterfaceCount) return kDeviceClassLabels[0];
  return deviceClassLabel(table.states[interfaceIndex].localClass);
}

FrameCounters ReadFrameCounters(int interfaceIndex) {
  if (interfaceIndex < 0 || interfaceIndex >= kInterfaceCount) return {};
  const InterfaceState& s = table.states[interfaceIndex];
  return {s.bytesRead, s.framesRead, s.bytesWritten, s.framesWritten};
}

RemoteDevice* FindRemote(const MacAddress& mac) {
  if (ignoredRemoteMac(mac)) return nullptr;
  for (RemoteDevice& e : currentDevices().remotes) {
    if (e.mac == mac) return &e;
  }
  return nullptr;
}

RemoteDevice* UpsertRemote(const MacAddress& mac) {
  // A zero or group address would make an entry that no lookup can find again.
  if (ignoredRemoteMac(mac) || isLocalDevice(mac)) return nullptr;
  auto& remotes = currentDevices().remotes;
  RemoteDevice* entry = FindRemote(mac);
  if (entry == nullptr) {
    auto free = std::find_if(remotes.begin(), remotes.end(),
                             [](const RemoteDevice& e) { return isZeroMac(e.mac); });
    // A full table gives its last entry to the newcomer.
    entry = free != remotes.end() ? &*free : &remotes.back();
    // Nothing of a device that held the entry before may show under the newcomer.
    *entry = RemoteDevice{};
    entry->mac = mac;
    entry->deviceClass = table.avLocal ? DeviceClass::AvFirstGeneration : DeviceClass::Usb;
  }
  entry->inUse = true;
  entry->scansLeft = static_cast<std::int8_t>(table.dropThreshold);
  copyLocalNetwork(*entry);
  ++entry->timesSeen;
  return entry;
}

void AgeRemotes() {
  InterfaceDevices& d = currentDevices();
  d.remoteCount = 0;
  for (RemoteDevice& e : d.remotes) {
    if (!e.inUse) continue;
    ++d.remoteCount;
    e.scansLeft = e.scansLeft > 0 ? static_cast<std::int8_t>(e.scansLeft - 1) : std::int8_t{0};
    if (e.scansLeft == 0) {
      // Dropped, but the MAC and texts stay so a device that comes back gets its entry again.
      e.inUse = false;
      e.rateStats.currentRate = 0;
      e.scansMissed += table.dropThreshold;
      d.remoteCount = std::max(d.remoteCount - 1, 0);
    }
  }
}

int RemoveRemote(const MacAddress& mac) {
  RemoteDevice* entry = FindRemote(mac);
  if (entry == nullptr) return 0;
  auto& remotes = currentDevices().remotes;
  auto it = remotes.begin() + (entry - remotes.data());
  std::move(it + 1, remotes.end(), it);
  remotes.back() = RemoteDevice{};
  return 1;
}

void ClearRemotes() {
  InterfaceDevices& d = currentDevices();
  d.remoteCount = 0;
  for (RemoteDevice& e : d.remotes) {
    e.inUse = false;
    e.rateStats.currentRate = 0;
    e.scansLeft = 0;
  }
}

}  // namespace quorrel::api
