// Send hands the frame to the network at the clock's time; receive gives a due frame at once,
// else lets 1 ms pass and looks again, as a real capture with its 1 ms wait would.
#include "adapter-sim/core/in_process_backend.h"

#include <stdexcept>

#include "transport/interface_table.h"

namespace quorrel::sim {

class InProcessBackend::SimChannel final : public transport::Channel {
 public:
  SimChannel(Port& port, platform::VirtualClock& clock) : port_(port), clock_(clock) {}

  transport::SendStatus send(ByteSpan frame) override {
    port_.sent.emplace_back(frame.begin(), frame.end());
    if (port_.network != nullptr) port_.network->receive(frame, clock_.microseconds());
    return transport::SendStatus::Sent;
  }

  bool receive(std::vector<std::uint8_t>& out) override {
    if (take(out)) return true;
    clock_.sleepMs(1);
    return take(out);
  }

 private:
  // What the real capture admits: the management ethertypes, addressed to this interface or
  // to a group (the capture is not promiscuous), or looped back to their own sender, which a
  // HomePlug 1.0 adapter does with an answer to a request sent from its address.
  bool admitted(const std::vector<std::uint8_t>& f) const {
    if (f.size() < transport::kEtherTypeOffset + 2) return false;
    const std::uint16_t type = readBe16(f, transport::kEtherTypeOffset);
    if (type != transport::kEtherTypeHomePlugAv && type != transport::kEtherTypeHomePlug1)
      return false;
    const MacAddress to = readMac(f, 0);
    return to == port_.info.mac || isGroupMac(to) || to == readMac(f, 6);
  }

  bool take(std::vector<std::uint8_t>& out) {
    if (port_.network != nullptr)
      for (auto& f : port_.network->takeDue(clock_.microseconds()))
        if (admitted(f)) port_.arrived.push_back(std::move(f));
    if (port_.arrived.empty()) return false;
    out = std::move(port_.arrived.front());
    port_.arrived.pop_front();
    return true;
  }

  Port& port_;
  platform::VirtualClock& clock_;
};

InProcessBackend::InProcessBackend(platform::VirtualClock& clock) : clock_(clock) {}

void InProcessBackend::addInterface(std::string name, const MacAddress& mac, Network* network) {
  auto p = std::make_unique<Port>();
  p->info = transport::InterfaceInfo{std::move(name), mac};
  p->network = network;
  ports_.push_back(std::move(p));
}

const std::vector<std::vector<std::uint8_t>>& InProcessBackend::sent(std::size_t index) const {
  return ports_.at(index)->sent;
}

void InProcessBackend::setOpenFails(std::size_t index, bool fails) {
  ports_.at(index)->openFails = fails;
}

bool InProcessBackend::listInterfaces(std::vector<transport::InterfaceInfo>& out) {
  for (const auto& p : ports_) out.push_back(p->info);
  return true;
}

std::unique_ptr<transport::Channel> InProcessBackend::open(const transport::InterfaceInfo& iface) {
  for (auto& p : ports_)
    if (p->info.name == iface.name)
      return p->openFails ? nullptr : std::make_unique<SimChannel>(*p, clock_);
  return nullptr;
}

}  // namespace quorrel::sim
