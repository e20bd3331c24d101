// A fixed-rate loop: each tick is due one period after the one before, as a toolkit timer
// schedules it; a tick that overran makes the next one start at once.
#include "scan/scan_loop.h"

#include "platform/clock.h"
#include "scan/scan.h"

namespace quorrel::scan {

ScanLoop::ScanLoop(std::uint32_t cycles, std::uint32_t ticks, std::uint64_t limitUs)
    : cycles_(cycles),
      ticks_(ticks),
      limitUs_(limitUs),
      start_(platform::clock().microseconds()),
      startCycles_(scanState().cyclesCompleted),
      due_(start_ + std::uint64_t{scanTimerPeriodMs()} * 1000) {}

ScanLoop ScanLoop::forCycles(std::uint32_t cycles, std::uint32_t limitMs) {
  return ScanLoop(cycles, UINT32_MAX, std::uint64_t{limitMs} * 1000);
}

ScanLoop ScanLoop::forTicks(std::uint32_t ticks) {
  return ScanLoop(UINT32_MAX, ticks, UINT64_MAX);
}

bool ScanLoop::done() const {
  return result_.cycles >= cycles_ || result_.ticks >= ticks_;
}

bool ScanLoop::next() {
  platform::Clock& clock = platform::clock();
  while (scanTimerRunning() && !done()) {
    const std::uint64_t now = clock.microseconds();
    if (now - start_ >= limitUs_) {
      result_.timedOut = true;
      return false;
    }
    if (due_ > now) {
      // The clock sleeps in whole milliseconds: a fraction left counts as one.
      clock.sleepMs(static_cast<std::uint32_t>((due_ - now + 999) / 1000));
      continue;
    }
    const std::uint64_t before = clock.microseconds();
    ScanTick();
    const std::uint64_t after = clock.microseconds();
    if (after - before > result_.longestTickUs) result_.longestTickUs = after - before;
    ++result_.ticks;
    result_.cycles = scanState().cyclesCompleted - startCycles_;
    due_ += std::uint64_t{scanTimerPeriodMs()} * 1000;
    if (due_ < after) due_ = after;
    return true;
  }
  return false;
}

namespace {
LoopResult runUnshown(ScanLoop loop) {
  while (loop.next()) loop.report();
  return loop.result();
}
}  // namespace

LoopResult runScanCycles(std::uint32_t cycles, std::uint32_t limitMs) {
  return runUnshown(ScanLoop::forCycles(cycles, limitMs));
}

LoopResult runScanTicks(std::uint32_t ticks) {
  return runUnshown(ScanLoop::forTicks(ticks));
}

}  // namespace quorrel::scan
