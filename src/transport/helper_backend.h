// The backend of a program without CAP_NET_RAW: it starts the capture helper `quorrel-capture`
// on a socket pair and asks it to list, open, send and deliver frames. A helper that is
// missing, lacks the capability, dies or stops answering is reported once through the notice,
// and every operation then fails at once; nothing waits longer than a few seconds.
#pragma once

#include <memory>
#include <string>

#include "transport/backend.h"

namespace quorrel::transport {

class HelperSession;

// How long the helper may take to answer a request before it counts as stopped.
inline constexpr int kHelperAnswerMs = 3000;

class HelperBackend final : public Backend {
 public:
  // The helper is started by the first listInterfaces.
  explicit HelperBackend(std::string helperPath);
  ~HelperBackend() override;
  HelperBackend(const HelperBackend&) = delete;
  HelperBackend& operator=(const HelperBackend&) = delete;

  bool listInterfaces(std::vector<InterfaceInfo>& out) override;
  std::unique_ptr<Channel> open(const InterfaceInfo& iface) override;

 private:
  std::shared_ptr<HelperSession> session_;
};

}  // namespace quorrel::transport
