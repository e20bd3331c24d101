// A scripted transport backend: records every frame sent, plays back queued frames.
#pragma once

#include <deque>
#include <stdexcept>
#include <vector>

#include "transport/backend.h"

namespace quorrel::testing {

class FakeBackend final : public transport::Backend {
 public:
  struct Port {
    std::vector<std::vector<std::uint8_t>> sent;
    std::deque<std::vector<std::uint8_t>> incoming;
    bool failSend = false;
    bool throwOnSend = false;
    bool throwOnReceive = false;
    int waitingReceives = 0;  // calls of the receive that may wait
  };

  std::vector<transport::InterfaceInfo> interfaces;
  std::vector<Port> ports = std::vector<Port>(16);
  bool listFails = false;
  int opens = 0;

  bool listInterfaces(std::vector<transport::InterfaceInfo>& out) override {
    if (listFails) return false;
    out = interfaces;
    return true;
  }

  std::unique_ptr<transport::Channel> open(const transport::InterfaceInfo& iface) override {
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
      if (interfaces[i].name == iface.name) {
        ++opens;
        return std::make_unique<FakeChannel>(ports[i]);
      }
    }
    return nullptr;
  }

 private:
  class FakeChannel final : public transport::Channel {
   public:
    explicit FakeChannel(Port& p) : port_(p) {}
    transport::SendStatus send(ByteSpan frame) override {
      if (port_.throwOnSend) throw std::runtime_error("driver fault");
      if (port_.failSend) return transport::SendStatus::Failed;
      port_.sent.emplace_back(frame.begin(), frame.end());
      return transport::SendStatus::Sent;
    }
    bool receive(std::vector<std::uint8_t>& out) override {
      ++port_.waitingReceives;
      return takePending(out);
    }
    bool takePending(std::vector<std::uint8_t>& out) override {
      if (port_.throwOnReceive) throw std::runtime_error("capture fault");
      if (port_.incoming.empty()) return false;
      out = std::move(port_.incoming.front());
      port_.incoming.pop_front();
      return true;
    }

   private:
    Port& port_;
  };
};

}  // namespace quorrel::testing
