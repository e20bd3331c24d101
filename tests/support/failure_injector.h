// A failure injector over any transport backend: the Nth send fails, or the Nth frame received
// is dropped, corrupted or held back, counted from 0 over all interfaces. A sweep runs an
// operation with N = 0, 1, 2, ... until a run no longer reaches the Nth operation, so every
// step of an exchange or a transfer fails once.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/state_lock.h"
#include "transport/backend.h"
#include "transport/interface_table.h"

namespace quorrel::testing {

// Cancel: the user cancels the running operation as its Nth frame goes out.
enum class Fault { FailSend, DropAnswer, CorruptAnswer, DelayAnswer, Cancel };
constexpr Fault kEveryFault[] = {Fault::FailSend, Fault::DropAnswer, Fault::CorruptAnswer,
                                 Fault::DelayAnswer};

inline const char* faultName(Fault f) {
  constexpr const char* kNames[] = {"send fails", "answer dropped", "answer corrupted",
                                    "answer delayed", "cancelled"};
  return kNames[static_cast<int>(f)];
}

class FailureInjector final : public transport::Backend {
 public:
  // `delayMs` of `clock` time holds back the delayed answer; a corrupted answer has every byte
  // after the Ethernet header inverted.
  FailureInjector(transport::Backend& inner, Fault fault, std::uint32_t n,
                  platform::Clock* clock = nullptr, std::uint32_t delayMs = 150)
      : inner_(inner), fault_(fault), n_(n), clock_(clock), delayMs_(delayMs) {}

  // Whether the run reached the Nth operation of the kind this injector counts.
  bool triggered() const { return triggered_; }
  // Set by a Cancel fault; a sweep's runs see it as the user's cancel.
  const std::atomic<bool>& cancelFlag() const { return cancel_; }

  bool listInterfaces(std::vector<transport::InterfaceInfo>& out) override {
    return inner_.listInterfaces(out);
  }
  std::unique_ptr<transport::Channel> open(const transport::InterfaceInfo& iface) override {
    auto c = inner_.open(iface);
    return c ? std::make_unique<Injected>(*this, std::move(c)) : nullptr;
  }

 private:
  class Injected final : public transport::Channel {
   public:
    Injected(FailureInjector& owner, std::unique_ptr<transport::Channel> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    transport::SendStatus send(ByteSpan frame) override {
      if (owner_.fault_ == Fault::FailSend && owner_.hit()) return transport::SendStatus::Failed;
      if (owner_.fault_ == Fault::Cancel && owner_.hit()) owner_.cancel_ = true;
      return inner_->send(frame);
    }
    bool receive(std::vector<std::uint8_t>& out) override {
      if (owner_.releaseHeld(out)) return true;
      if (!inner_->receive(out)) return false;
      if (owner_.fault_ == Fault::FailSend || owner_.fault_ == Fault::Cancel || !owner_.hit())
        return true;
      if (owner_.fault_ == Fault::CorruptAnswer) {
        for (std::size_t i = 14; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
        return true;
      }
      if (owner_.fault_ == Fault::DelayAnswer) owner_.hold(std::move(out));
      return false;  // dropped, or held back
    }

   private:
    FailureInjector& owner_;
    std::unique_ptr<transport::Channel> inner_;
  };

  bool hit() {
    const bool now = count_ == n_;
    ++count_;
    if (now) triggered_ = true;
    return now;
  }
  void hold(std::vector<std::uint8_t> frame) {
    held_ = std::move(frame);
    heldUntil_ = clock_ != nullptr ? clock_->tickCount() + delayMs_ : 0;
    holding_ = true;
  }
  bool releaseHeld(std::vector<std::uint8_t>& out) {
    if (!holding_ || (clock_ != nullptr && clock_->tickCount() < heldUntil_)) return false;
    holding_ = false;
    out = std::move(held_);
    return true;
  }

  transport::Backend& inner_;
  Fault fault_;
  std::uint32_t n_;
  platform::Clock* clock_;
  std::uint32_t delayMs_;
  std::uint32_t count_ = 0;
  bool triggered_ = false;
  std::atomic<bool> cancel_{false};
  bool holding_ = false;
  std::vector<std::uint8_t> held_;
  std::uint32_t heldUntil_ = 0;
};

// Runs `run(injector)` for N = 0, 1, 2, ... with a fresh injector over `inner`, calling
// `check(n, injector)` after each run, until a run does not reach the Nth operation (that run
// is checked too, as the untouched one). Returns the number of runs; stops at `limit`.
template <typename Run, typename Check>
std::uint32_t sweep(transport::Backend& inner, Fault fault, platform::Clock* clock, Run run,
                    Check check, std::uint32_t limit = 5000) {
  std::uint32_t n = 0;
  for (; n < limit; ++n) {
    FailureInjector injector(inner, fault, n, clock);
    {
      const platform::CancelScope cancel(injector.cancelFlag());
      run(injector);
    }
    check(n, injector);
    if (!injector.triggered()) return n + 1;
  }
  return n;
}

// A sweep's run starts here: the interface table built again over `injector`, with interface 0
// open and current.
inline void reopenThrough(transport::Backend& injector) {
  transport::resetInterfaceTable();
  transport::setBackend(&injector);
  transport::EnumerateInterfaces();
  transport::OpenInterface(0);
  transport::setCurrentInterface(0);
}

}  // namespace quorrel::testing
