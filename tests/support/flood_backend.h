// A flood over any transport backend: every receive on interface `index` first gives the flood
// frame, a millisecond of `clock` time after the last, so a frame is always waiting. The inner
// backend's own frames come between them. After `limit` flood frames the flood stops, so a
// wait that never looks at its deadline still ends and its test fails instead of hanging.
#pragma once

#include <memory>
#include <vector>

#include "platform/clock.h"
#include "transport/backend.h"

namespace quorrel::testing {

class FloodBackend final : public transport::Backend {
 public:
  FloodBackend(transport::Backend& inner, platform::VirtualClock& clock,
               std::vector<std::uint8_t> frame, std::size_t index = 0,
               std::uint32_t limit = 100'000)
      : inner_(inner), clock_(clock), frame_(std::move(frame)), index_(index), left_(limit) {}

  bool listInterfaces(std::vector<transport::InterfaceInfo>& out) override {
    return inner_.listInterfaces(out);
  }
  std::unique_ptr<transport::Channel> open(const transport::InterfaceInfo& iface) override {
    std::vector<transport::InterfaceInfo> all;
    inner_.listInterfaces(all);
    auto c = inner_.open(iface);
    const bool flooded = index_ < all.size() && all[index_].name == iface.name;
    return c ? std::make_unique<Flooded>(*this, std::move(c), flooded) : nullptr;
  }

 private:
  class Flooded final : public transport::Channel {
   public:
    Flooded(FloodBackend& owner, std::unique_ptr<transport::Channel> inner, bool flooded)
        : owner_(owner), inner_(std::move(inner)), flooded_(flooded) {}
    transport::SendStatus send(ByteSpan frame) override { return inner_->send(frame); }
    bool receive(std::vector<std::uint8_t>& out) override {
      if (!flooded_ || owner_.left_ == 0) return inner_->receive(out);
      // The inner backend's frames take every other turn.
      turn_ = !turn_;
      if (turn_ && inner_->receive(out)) return true;
      --owner_.left_;
      owner_.clock_.advanceUs(1000);
      out = owner_.frame_;
      return true;
    }

   private:
    FloodBackend& owner_;
    std::unique_ptr<transport::Channel> inner_;
    bool flooded_;
    bool turn_ = false;
  };

  transport::Backend& inner_;
  platform::VirtualClock& clock_;
  std::vector<std::uint8_t> frame_;
  std::size_t index_;
  std::uint32_t left_;
};

}  // namespace quorrel::testing
