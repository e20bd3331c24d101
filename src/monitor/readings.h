// What one scan cycle on one interface gives the monitor's outlets, taken from the device
// table as the ageing step found it, and the network map's rates as pairs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "api/device_table.h"
#include "netmap/network_map.h"

namespace quorrel::monitor {

struct AdapterReading {
  MacAddress mac{};
  std::string name;  // the known device's name; empty for the local adapter
  std::string family;
  std::string firmware;
  bool local = false;
  bool answered = false;  // listed in the cycle just ended (the local adapter: present)
  double mbps = 0;        // as the local adapter sees it; 0 when unknown

  bool operator==(const AdapterReading&) const = default;
};

struct CycleReading {
  std::string interfaceName;
  bool localPresent = false;
  MacAddress localMac{};
  std::vector<AdapterReading> adapters;  // the local adapter first (when present), then remotes
  double cycleSeconds = 0;
  std::int64_t endedAt = 0;  // seconds since the epoch
};

// The interface's adapters as `d` holds them; a remote answered when a station list of the
// cycle named it (its countdown is still full).
CycleReading readCycle(const api::InterfaceDevices& d, int dropThreshold,
                       const std::string& interfaceName,
                       const std::function<std::string(const MacAddress&)>& nameOf);

// One direction of a map link: the rate `from` reported for `to`.
struct LinkReading {
  MacAddress from{};
  MacAddress to{};
  std::string fromName;
  std::string toName;
  double mbps = 0;
};
std::vector<LinkReading> readLinks(const netmap::NetworkMap& m,
                                   const std::function<std::string(const MacAddress&)>& nameOf);

}  // namespace quorrel::monitor
