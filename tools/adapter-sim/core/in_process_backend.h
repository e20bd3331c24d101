// The transport seam bound to simulated networks and a virtual clock, so the host's own code
// runs unchanged in fast tests, without root and without real waits.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "adapter-sim/core/network.h"
#include "platform/clock.h"
#include "transport/backend.h"

namespace quorrel::sim {

// The host end's address in tests that take the default interface.
inline constexpr MacAddress kDefaultHostMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};

class InProcessBackend final : public transport::Backend {
 public:
  // `clock` should also be the installed platform clock, so the host's waits and the
  // simulation share one time.
  explicit InProcessBackend(platform::VirtualClock& clock);

  // An interface on which `network` (may be null: nothing attached) answers. Interfaces are
  // listed in the order added.
  void addInterface(std::string name, const MacAddress& mac, Network* network);

  // Every frame the host sent on interface `index`, as it went out.
  const std::vector<std::vector<std::uint8_t>>& sent(std::size_t index) const;
  // Makes interface `index` fail to open (as one without permission would).
  void setOpenFails(std::size_t index, bool fails);

  bool listInterfaces(std::vector<transport::InterfaceInfo>& out) override;
  std::unique_ptr<transport::Channel> open(const transport::InterfaceInfo& iface) override;

 private:
  struct Port {
    transport::InterfaceInfo info;
    Network* network = nullptr;
    bool openFails = false;
    std::vector<std::vector<std::uint8_t>> sent;
    std::deque<std::vector<std::uint8_t>> arrived;  // due frames the host has not taken
  };
  class SimChannel;

  platform::VirtualClock& clock_;
  std::vector<std::unique_ptr<Port>> ports_;
};

}  // namespace quorrel::sim
