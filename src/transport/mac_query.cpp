// Reads addresses from the AF_PACKET entries of getifaddrs.
#include "transport/mac_query.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>

#include <cstring>

namespace quorrel::transport {

namespace {
// Calls `visit` with the link-layer entry of `name`, if Linux has one.
template <typename Visit>
bool withPacketAddress(const std::string& name, Visit visit) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* a = list; a != nullptr && !found; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_PACKET) continue;
    if (a->ifa_name == nullptr || name != a->ifa_name) continue;
    sockaddr_ll ll{};
    std::memcpy(&ll, a->ifa_addr, sizeof ll);
    visit(ll);
    found = true;
  }
  freeifaddrs(list);
  return found;
}
}  // namespace

std::optional<MacAddress> QueryInterfaceMac(const std::string& name) {
  std::optional<MacAddress> mac;
  withPacketAddress(name, [&](const sockaddr_ll& ll) {
    if (ll.sll_halen != 6) return;
    MacAddress m{};
    std::memcpy(m.data(), ll.sll_addr, m.size());
    mac = m;
  });
  return mac;
}

bool isEthernetInterface(const std::string& name) {
  bool ethernet = false;
  withPacketAddress(name, [&](const sockaddr_ll& ll) { ethernet = ll.sll_hatype == ARPHRD_ETHER; });
  return ethernet;
}

}  // namespace quorrel::transport
