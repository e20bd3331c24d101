// Runs the scan the way a timer would, for tools, benchmarks and tests: ScanTick at the scan's
// period on the platform clock, late ticks taken at once rather than piled up.
#pragma once

#include <cstdint>

#include "scan/scan_report.h"

namespace quorrel::scan {

struct LoopResult {
  std::uint32_t ticks = 0;
  std::uint32_t cycles = 0;
  std::uint64_t longestTickUs = 0;
  bool timedOut = false;
};

// One run, a tick at a time: `next` waits for the next tick's time and runs it, and the caller
// shows the tick's report before asking for the next one.
class ScanLoop {
 public:
  // Until `cycles` more cycles have completed, the timer stops, or `limitMs` pass.
  static ScanLoop forCycles(std::uint32_t cycles, std::uint32_t limitMs);
  // `ticks` ticks at the period (while the timer runs).
  static ScanLoop forTicks(std::uint32_t ticks);

  // Runs the next tick; false when the run is over (nothing was run then).
  bool next();
  // What the tick just run changed (see takeScanReport).
  ScanReport report() { return takeScanReport(); }
  const LoopResult& result() const { return result_; }

 private:
  ScanLoop(std::uint32_t cycles, std::uint32_t ticks, std::uint64_t limitUs);
  bool done() const;

  std::uint32_t cycles_;
  std::uint32_t ticks_;
  std::uint64_t limitUs_;
  std::uint64_t start_;
  std::uint32_t startCycles_;
  std::uint64_t due_;
  LoopResult result_;
};

// A whole run whose reports nobody shows.
LoopResult runScanCycles(std::uint32_t cycles, std::uint32_t limitMs);
LoopResult runScanTicks(std::uint32_t ticks);

}  // namespace quorrel::scan
