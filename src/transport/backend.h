// The seam under the interface table: real libpcap in the program, a simulation in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::transport {

struct InterfaceInfo {
  std::string name;
  MacAddress mac{};  // all zero when the address could not be read
};

enum class SendStatus { Sent, Failed };

// One open interface with the management-frame filter installed.
class Channel {
 public:
  virtual ~Channel() = default;
  // May throw; the interface table turns a throw into its send-fault message.
  virtual SendStatus send(ByteSpan frame) = 0;
  // Takes one admitted frame into `out` and returns true. Returns a pending frame at once and
  // waits at most about 1 ms when none is pending. May throw; treated as no frame.
  virtual bool receive(std::vector<std::uint8_t>& out) = 0;
  // As receive, but never waits: false at once when no frame is pending. A wait that looks at
  // every interface in turn takes this way and sleeps once when none has a frame, so that a
  // round costs one short sleep however many interfaces are open.
  virtual bool takePending(std::vector<std::uint8_t>& out) { return receive(out); }
};

class Backend {
 public:
  virtual ~Backend() = default;
  // The Ethernet interfaces in a stable order; false when the list cannot be had.
  virtual bool listInterfaces(std::vector<InterfaceInfo>& out) = 0;
  // Opens an interface for capture with the management filter; nullptr on failure.
  virtual std::unique_ptr<Channel> open(const InterfaceInfo& iface) = 0;
};

// The process-wide backend; libpcap unless a test installs another.
Backend& backend();
// Installs `b` (nullptr restores libpcap). The caller keeps ownership.
void setBackend(Backend* b);

// Why this user may not capture at all, said before anything is started or sent: the capture
// helper is theirs to run only as a member of its group. Empty when they may (or the reason
// will show otherwise, as a missing helper does when it is started).
std::string captureRefusal();

}  // namespace quorrel::transport
