// The simulated powerline network: takes the host's frames with the time they were sent and
// schedules the adapters' answers, misbehaving as its scenario says.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "adapter-sim/core/scenario.h"
#include "adapter-sim/core/scenario_set.h"
#include "adapter-sim/core/wire.h"

namespace quorrel::sim {

// One frame an adapter sends in reply to a request.
struct Answer {
  std::vector<std::uint8_t> frame;
  std::uint32_t latencyUs = 0;  // after the request arrived
  // Where the frame's OUI and checksum32 word lie, for the corruption knob.
  std::optional<std::size_t> ouiOffset;
  std::optional<std::size_t> checksumOffset;
};

class Network;
using Handler = std::function<void(Network&, const wire::Request&, std::vector<Answer>&)>;

// Handlers by ethertype and message type (MMTYPE, or the HomePlug 1.0 entry type). Each
// message family fills it from its own file under core/families.
class HandlerTable {
 public:
  void add(std::uint16_t etherType, std::uint16_t type, Handler h);
  const Handler* find(std::uint16_t etherType, std::uint16_t type) const;

 private:
  std::map<std::uint32_t, Handler> handlers_;
};

// Every family's handlers (generated from the files in core/families).
void registerAllFamilies(HandlerTable& table);

struct NetworkStats {
  std::uint64_t received = 0;  // frames handed to receive()
  std::uint64_t ignored = 0;   // of those, no handler or not a management frame
  std::uint64_t answers = 0;   // answers the handlers produced
  std::uint64_t dropped = 0;   // of those, dropped by the drop knob
  std::uint64_t decoys = 0;    // corrupted copies sent first
  std::uint64_t noise = 0;     // noise frames sent
};

class Network {
 public:
  explicit Network(Scenario scenario);

  // A frame the host sent, at `nowUs` on the caller's clock.
  void receive(ByteSpan frame, std::uint64_t nowUs);
  // The frames due at `nowUs`, in the order they are due, removed from the schedule.
  std::vector<std::vector<std::uint8_t>> takeDue(std::uint64_t nowUs);
  // When the next frame falls due, if any is scheduled (noise included).
  std::optional<std::uint64_t> nextDueUs() const;

  Scenario& scenario() { return scenario_; }
  const Scenario& scenario() const { return scenario_; }
  Behaviour& behaviour() { return scenario_.behaviour; }
  const NetworkStats& stats() const { return stats_; }
  // Stations that join, leave and change rate: one timeline per remote, in scenario order.
  void setTimelines(std::vector<StationTimeline> timelines);
  // Time zero of the timelines; without a call, the first frame received or taken sets it.
  void startTimeline(std::uint64_t nowUs);
  // Replaces or adds a handler (further families, tests).
  void addHandler(std::uint16_t etherType, std::uint16_t type, Handler h);

  // For handlers. The adapter that answers at `mac`: the local one at its own address and at
  // the local-device address, a remote one at its own address while it is present and in the
  // local adapter's network. Null when nobody answers there, or the adapter is restarting.
  Adapter* adapterAt(const MacAddress& mac);
  // The time of the request being handled (of the last one received).
  std::uint64_t nowUs() const { return nowUs_; }
  bool isLocal(const Adapter& a) const { return &a == &scenario_.local; }
  bool inLocalNetwork(const Adapter& remote) const;
  // The status byte an answer of `confirmationType` carries (the status knob, else 0).
  std::uint8_t statusFor(std::uint16_t confirmationType) const;
  // The latency of an answer from `a`, before the delay knob.
  std::uint32_t latencyOf(const Adapter& a) const;
  // The latency of a remote's answer to a request the local adapter relays: with relayMs set,
  // requests are relayed one at a time, each taking that long, so answers queue behind each
  // other.
  std::uint32_t relayedLatencyOf(const Adapter& a);
  // The host's address as last seen in a request (zero before the first).
  const MacAddress& hostMac() const { return hostMac_; }

 private:
  struct Pending {
    std::uint64_t dueUs;
    std::uint64_t order;
    std::vector<std::uint8_t> frame;
  };
  void schedule(std::uint64_t dueUs, std::vector<std::uint8_t> frame);
  void scheduleAnswer(Answer a, std::uint64_t nowUs);
  void makeNoise(std::uint64_t nowUs);
  void applyTimeline(std::uint64_t nowUs);
  void applyDailyPattern(std::uint64_t nowUs);

  Scenario scenario_;
  HandlerTable handlers_;
  std::vector<Pending> pending_;  // kept sorted by due time, then order of scheduling
  std::uint64_t nextOrder_ = 0;
  std::uint64_t answerCount_ = 0;
  std::uint64_t relayFreeUs_ = 0;  // when the local adapter can relay the next request
  std::optional<std::uint64_t> nextNoiseUs_;
  MacAddress hostMac_{};
  std::uint64_t nowUs_ = 0;
  NetworkStats stats_;
  struct Base {
    bool present;
    std::uint16_t txRate, rxRate;
  };
  std::vector<StationTimeline> timelines_;
  std::vector<Base> base_;  // what the scenario said before any timeline applied
  std::optional<std::uint64_t> timelineStartUs_;
  // The rates the daily pattern scales when no timeline sets them afresh each frame.
  std::vector<std::pair<std::uint16_t, std::uint16_t>> patternBase_;
};

}  // namespace quorrel::sim
