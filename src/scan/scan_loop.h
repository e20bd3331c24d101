// Runs the scan the way a timer would, for tools, benchmarks and tests: ScanTick at the scan's
// period on the platform clock, late ticks taken at once rather than piled up.
#pragma once

#include <cstdint>

namespace quorrel::scan {

struct LoopResult {
  std::uint32_t ticks = 0;
  std::uint32_t cycles = 0;
  std::uint64_t longestTickUs = 0;
  bool timedOut = false;
};

// Ticks until `cycles` more cycles have completed, the timer stops, or `limitMs` pass.
LoopResult RunScanCycles(std::uint32_t cycles, std::uint32_t limitMs);
// Ticks `ticks` times at the period (while the timer runs).
LoopResult RunScanTicks(std::uint32_t ticks);

}  // namespace quorrel::scan
