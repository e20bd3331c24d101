// Several simulated networks in one scenario file, one per interface, and the timeline of
// stations that join, leave and change rate while the simulation runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "adapter-sim/core/scenario.h"

namespace quorrel::sim {

inline constexpr std::size_t kMaxNetworks = 8;

struct RateStep {
  std::uint32_t atMs = 0;
  std::uint16_t txRate = 0;
  std::uint16_t rxRate = 0;
};

// What happens to one station over time, in ms from the network's start.
struct StationTimeline {
  std::optional<std::uint32_t> joinAtMs;   // absent before
  std::optional<std::uint32_t> leaveAtMs;  // absent from then on
  std::vector<RateStep> rates;             // in the order given; each holds from its time on
  bool empty() const { return !joinAtMs && !leaveAtMs && rates.empty(); }
};

struct NetworkScenario {
  std::string name;  // as given after "network", may be empty
  Scenario scenario;
  std::vector<StationTimeline> timelines;  // one per remote, in scenario order
};

struct ScenarioSet {
  std::vector<NetworkScenario> networks;
};

// A file without [network] headers is one network; with them, each header starts the next
// network, with its own [local], [remote] and [behaviour] sections. Errors read
// "line N: what is wrong" with N counted in the whole text. Relative file names are taken from
// `directory`, as parseScenario does.
bool parseScenarioSet(std::string_view text, ScenarioSet& out, std::string& error,
                      std::string_view directory = {});
bool loadScenarioSetFile(const std::string& path, ScenarioSet& out, std::string& error);

}  // namespace quorrel::sim
