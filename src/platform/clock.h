// Millisecond tick count and sleeps behind one seam, so waits cost nothing in tests.
#pragma once

#include <cstdint>

namespace quorrel::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; wraps like a 32-bit tick counter.
  virtual std::uint32_t tickCount() = 0;
  // Microseconds since the same start, for measurements that need finer steps.
  virtual std::uint64_t microseconds() = 0;
  virtual void sleepMs(std::uint32_t ms) = 0;
};

// steady_clock and nanosleep.
class SteadyClock final : public Clock {
 public:
  std::uint32_t tickCount() override;
  std::uint64_t microseconds() override;
  void sleepMs(std::uint32_t ms) override;
};

// Time moves only when someone sleeps or advances it.
class VirtualClock final : public Clock {
 public:
  std::uint32_t tickCount() override { return static_cast<std::uint32_t>(nowUs_ / 1000); }
  std::uint64_t microseconds() override { return nowUs_; }
  void sleepMs(std::uint32_t ms) override { advanceUs(std::uint64_t{ms} * 1000); }
  void advanceUs(std::uint64_t us) { nowUs_ += us; }

 private:
  std::uint64_t nowUs_ = 0;
};

// The process-wide clock; a SteadyClock unless a test installs another.
Clock& clock();
// Installs `c` (nullptr restores the steady clock). The caller keeps ownership.
void setClock(Clock* c);

std::uint32_t tickCount();
void sleepMs(std::uint32_t ms);
// A wait made of 1 ms sleeps against the tick count, as every fixed wait of the key
// operations is; it ends early once the running operation is cancelled.
void delay(std::uint32_t ms);

}  // namespace quorrel::platform
