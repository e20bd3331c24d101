// The host's transport on an in-process simulated network over a virtual clock: interface 0
// ("sim0", sim::kDefaultHostMac) is open and current for as long as the object lives.
#pragma once

#include <utility>

#include "adapter-sim/core/in_process_backend.h"
#include "transport/interface_table.h"

namespace quorrel::testing {

inline constexpr MacAddress kSimLocalMac{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
inline constexpr sim::NetworkKey kSimLocalKey{0x50, 0xD3, 0xE4, 0x93, 0x3F, 0x85, 0x5B, 0x70,
                                              0x40, 0x78, 0x4D, 0xF8, 0x15, 0xAA, 0x8D, 0xB7};

// A first-generation local adapter with the modules given (empty: its defaults).
inline sim::Scenario simScenario(std::vector<std::uint8_t> firmware = {},
                                 std::vector<std::uint8_t> block = {}) {
  sim::Scenario s;
  s.local.mac = kSimLocalMac;
  s.local.chipId = 1;
  s.local.firmware = "LQA-100-FW-2-4-0517-TEST";
  s.local.networkKey = kSimLocalKey;
  s.local.modules.firmware = std::move(firmware);
  s.local.modules.parameterBlock = std::move(block);
  return s;
}

class SimHost {
 public:
  explicit SimHost(sim::Scenario scenario) : network(std::move(scenario)), backend(clock) {
    platform::setClock(&clock);
    backend.addInterface("sim0", sim::kDefaultHostMac, &network);
    transport::setBackend(&backend);
    transport::EnumerateInterfaces();
    transport::OpenInterface(0);
    transport::setCurrentInterface(0);
  }
  ~SimHost() {
    transport::resetInterfaceTable();
    transport::setBackend(nullptr);
    platform::setClock(nullptr);
  }
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  sim::Adapter& local() { return network.scenario().local; }
  sim::Behaviour& behaviour() { return network.behaviour(); }
  const std::vector<std::vector<std::uint8_t>>& sent() const { return backend.sent(0); }

  platform::VirtualClock clock;
  sim::Network network;
  sim::InProcessBackend backend;
};

// A request the host sent, read at the offsets every transfer request shares.
struct SentRequest {
  std::uint32_t length = 0;  // 16-bit at 22 for module requests, 32-bit at 24 for memory
  std::uint32_t offset = 0;  // or the memory address at 20
};

inline std::vector<SentRequest> sentRequests(const SimHost& host, std::uint16_t type) {
  std::vector<SentRequest> out;
  const bool memory = type == 0xA004;
  for (const auto& f : host.sent())
    if (f.size() >= 64 && readLe16(f, 15) == type)
      out.push_back({memory ? readLe32(f, 24) : readLe16(f, 22), readLe32(f, memory ? 20 : 24)});
  return out;
}

// A block of `size` bytes of a position pattern that states `size` as its length, version (1, 4).
inline std::vector<std::uint8_t> patternBlock(std::size_t size, std::uint32_t stated) {
  std::vector<std::uint8_t> b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
  writeU8(b, 0, 1);
  writeU8(b, 1, 4);
  writeLe16(b, 4, static_cast<std::uint16_t>(stated));
  return b;
}

}  // namespace quorrel::testing
