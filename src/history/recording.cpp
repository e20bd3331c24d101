// Readings from the device table.
#include "history/recording.h"

namespace quorrel::history {

std::vector<Reading> listedRates(const api::InterfaceDevices& devices) {
  std::vector<Reading> out;
  if (!devices.localPresent || isZeroMac(devices.localMac)) return out;
  for (const api::RemoteDevice& r : devices.remotes)
    if (r.inUse && !isZeroMac(r.mac) && r.rateStats.currentRate > 0)
      out.push_back({r.mac, devices.localMac, r.rateStats.currentRate});
  return out;
}

}  // namespace quorrel::history
