// Readings from the device table.
#include "history/recording.h"

namespace quorrel::history {

void appendListedRates(const api::InterfaceDevices& devices, std::vector<Reading>& out) {
  if (!devices.localPresent || isZeroMac(devices.localMac)) return;
  for (const api::RemoteDevice& r : devices.remotes)
    if (r.inUse && !isZeroMac(r.mac) && r.rateStats.currentRate > 0)
      out.push_back({r.mac, devices.localMac, r.rateStats.currentRate});
}

std::vector<Reading> listedRates(const api::DeviceTable& table) {
  std::vector<Reading> out;
  for (const api::InterfaceDevices& d : table.devices) appendListedRates(d, out);
  return out;
}

}  // namespace quorrel::history
