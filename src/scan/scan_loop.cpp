// A fixed-rate loop: each tick is due one period after the one before, as a toolkit timer
// schedules it; a tick that overran makes the next one start at once.
#include "scan/scan_loop.h"

#include "platform/clock.h"
#include "scan/scan.h"

namespace quorrel::scan {

namespace {

template <typename Done>
LoopResult run(Done done, std::uint64_t limitUs) {
  LoopResult r;
  platform::Clock& clock = platform::clock();
  const std::uint64_t start = clock.microseconds();
  const std::uint32_t startCycles = scanState().cyclesCompleted;
  std::uint64_t due = start + std::uint64_t{scanTimerPeriodMs()} * 1000;
  while (scanTimerRunning() && !done(r)) {
    const std::uint64_t now = clock.microseconds();
    if (now - start >= limitUs) {
      r.timedOut = true;
      break;
    }
    if (due > now) {
      // The clock sleeps in whole milliseconds: a fraction left counts as one.
      clock.sleepMs(static_cast<std::uint32_t>((due - now + 999) / 1000));
      continue;
    }
    const std::uint64_t before = clock.microseconds();
    ScanTick();
    const std::uint64_t after = clock.microseconds();
    if (after - before > r.longestTickUs) r.longestTickUs = after - before;
    ++r.ticks;
    r.cycles = scanState().cyclesCompleted - startCycles;
    due += std::uint64_t{scanTimerPeriodMs()} * 1000;
    if (due < after) due = after;
  }
  return r;
}

}  // namespace

LoopResult RunScanCycles(std::uint32_t cycles, std::uint32_t limitMs) {
  return run([cycles](const LoopResult& r) { return r.cycles >= cycles; },
             std::uint64_t{limitMs} * 1000);
}

LoopResult RunScanTicks(std::uint32_t ticks) {
  return run([ticks](const LoopResult& r) { return r.ticks >= ticks; }, UINT64_MAX);
}

}  // namespace quorrel::scan
