// The libpcap backend: immediate-mode, non-blocking capture with a 1 ms poll.
#pragma once

#include "transport/backend.h"

namespace quorrel::transport {

class PcapBackend final : public Backend {
 public:
  bool listInterfaces(std::vector<InterfaceInfo>& out) override;
  std::unique_ptr<Channel> open(const InterfaceInfo& iface) override;
};

// How long a receive waits for a frame when none is pending.
inline constexpr int kReceiveWaitMs = 1;

}  // namespace quorrel::transport
