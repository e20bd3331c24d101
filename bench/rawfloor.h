// The floor that network benchmarks are measured against: one raw AF_PACKET request/answer
// round trip on the veth pair of a namespace pair, with a bare echo responder on the far end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "e2e/netns.h"

namespace quorrel::bench {

struct Timings {
  std::vector<double> us;  // each round trip, in microseconds, in the order measured
  double median = 0, p10 = 0, p90 = 0, min = 0, max = 0;
};

// Fills the order statistics of `t.us`.
void summarise(Timings& t);
// "name: median 25.3 us, p10 .., p90 .., min .., max .. (n=2000)"
void printTimings(const std::string& name, const Timings& t);

// Measures `rounds` round trips (after a short warm-up) of a 60-byte 0x88E1 frame from the
// host end to an echo responder in the sim namespace. Enters the host namespace (and stays);
// the responder is stopped before returning. False with `error` on failure.
bool measureRawFloor(e2e::NetnsPair& pair, int rounds, Timings& out, std::string& error);

// The same on a namespace pair made for it and removed afterwards.
bool measureRawFloorOnNewPair(int rounds, Timings& out, std::string& error);

// Writes `scenarioText` to a temporary file and runs `body` with a new namespace pair and the
// file's path; both are removed afterwards. Returns body's result.
using ScenarioBody =
    std::function<bool(e2e::NetnsPair& pair, const std::string& scenarioPath, std::string& error)>;
bool withScenarioPair(const std::string& scenarioText, const ScenarioBody& body,
                      std::string& error);

// A network benchmark's main: says it is skipped (exit 0) where namespaces cannot be made,
// else runs `run` and exits 1 with its error when it fails.
int runNetworkBench(const char* name, bool (*run)(std::string& error));

}  // namespace quorrel::bench
