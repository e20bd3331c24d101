// The libpcap backend: immediate-mode, non-blocking capture with a 1 ms poll. Used directly by
// a process that holds CAP_NET_RAW, and by the capture helper for everyone else.
#pragma once

#include <pcap/pcap.h>

#include <string>

#include "transport/backend.h"

namespace quorrel::transport {

// How long a receive waits for a frame when none is pending.
inline constexpr int kReceiveWaitMs = 1;

enum class OpenError { None, PermissionDenied, Other };

// One interface open for capture with the management filter installed.
class PcapChannel final : public Channel {
 public:
  // Nullptr on failure, with the reason in `error`.
  static std::unique_ptr<PcapChannel> open(const std::string& name, OpenError& error);
  explicit PcapChannel(pcap_t* handle);
  ~PcapChannel() override;
  PcapChannel(const PcapChannel&) = delete;
  PcapChannel& operator=(const PcapChannel&) = delete;

  SendStatus send(ByteSpan frame) override;
  bool receive(std::vector<std::uint8_t>& out) override;
  // Takes a pending frame without waiting.
  bool takePending(std::vector<std::uint8_t>& out) override;
  // Readable when frames are pending.
  int selectableFd() const { return fd_; }

 private:
  pcap_t* handle_;
  int fd_;
};

class PcapBackend final : public Backend {
 public:
  bool listInterfaces(std::vector<InterfaceInfo>& out) override;
  std::unique_ptr<Channel> open(const InterfaceInfo& iface) override;
};

}  // namespace quorrel::transport
