#include "monitor/readings.h"

namespace quorrel::monitor {

CycleReading readCycle(const api::InterfaceDevices& d, int dropThreshold,
                       const std::string& interfaceName,
                       const std::function<std::string(const MacAddress&)>& nameOf) {
  CycleReading c;
  c.interfaceName = interfaceName;
  c.localPresent = d.localPresent && !isZeroMac(d.localMac);
  if (!c.localPresent) return c;
  c.localMac = d.localMac;
  c.adapters.push_back({d.localMac, "", std::string(api::deviceClassLabel(d.localClass)),
                        std::string(d.localFirmware.view()), true, true, 0});
  for (const api::RemoteDevice& r : d.remotes) {
    if (isZeroMac(r.mac)) continue;
    c.adapters.push_back({r.mac, nameOf(r.mac), std::string(api::deviceClassLabel(r.deviceClass)),
                          std::string(r.firmware.view()), false,
                          r.inUse && r.scansLeft >= dropThreshold,
                          r.inUse ? r.rateStats.currentRate : 0});
  }
  return c;
}

std::vector<LinkReading> readLinks(const netmap::NetworkMap& m,
                                   const std::function<std::string(const MacAddress&)>& nameOf) {
  std::vector<LinkReading> out;
  const auto name = [&](std::size_t i) { return m.nodes[i].local ? "" : nameOf(m.nodes[i].mac); };
  for (const netmap::MapLink& l : m.links) {
    if (l.a >= m.nodes.size() || l.b >= m.nodes.size()) continue;
    if (l.aToB) out.push_back({m.nodes[l.a].mac, m.nodes[l.b].mac, name(l.a), name(l.b), *l.aToB});
    if (l.bToA) out.push_back({m.nodes[l.b].mac, m.nodes[l.a].mac, name(l.b), name(l.a), *l.bToA});
  }
  return out;
}

}  // namespace quorrel::monitor
