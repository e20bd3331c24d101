// The current unicast MAC address and link type of an interface, asked of Linux.
#pragma once

#include <optional>
#include <string>

#include "platform/bytes.h"

namespace quorrel::transport {

// The interface's current address, or nothing when Linux does not know one.
std::optional<MacAddress> QueryInterfaceMac(const std::string& name);
// True for interfaces that carry Ethernet frames (not loopback, tunnels or monitors).
bool isEthernetInterface(const std::string& name);

}  // namespace quorrel::transport
