// What the Main page's refresh does with the known devices, for the console commands: every
// listed device of the current interface gets a record, with the local network's name and now
// as the time it was last seen.
#pragma once

#include <cstdint>
#include <ctime>

#include "api/device_table.h"
#include "persistence/known_devices.h"

namespace quorrel::cli {

// `each(entry, record)` sees every listed device with its record.
template <typename Each>
void refreshKnownDevices(Each each) {
  const api::InterfaceDevices& d = api::currentDevices();
  for (const api::RemoteDevice& e : d.remotes) {
    if (!e.inUse || isZeroMac(e.mac)) continue;
    int k = persistence::FindKnownByMac(e.mac);
    if (k == 0) k = persistence::appendKnownDevice(e.mac, persistence::defaultDeviceName());
    if (persistence::KnownDevice* r = persistence::knownAt(k)) {
      r->networkName = d.localNetworkName.view();
      r->lastSeen = static_cast<std::int64_t>(std::time(nullptr));
      each(e, *r);
    }
  }
}

}  // namespace quorrel::cli
