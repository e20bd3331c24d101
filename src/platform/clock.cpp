// The steady clock, the virtual clock and the process-wide choice between them.
#include "platform/clock.h"

#include <sys/prctl.h>

#include <chrono>
#include <thread>

#include "platform/state_lock.h"

namespace quorrel::platform {

namespace {
SteadyClock& steadyClock() {
  static SteadyClock instance;
  return instance;
}
Clock* installed = nullptr;
}  // namespace

std::uint32_t SteadyClock::tickCount() {
  return static_cast<std::uint32_t>(microseconds() / 1000);
}

std::uint64_t SteadyClock::microseconds() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<std::chrono::microseconds>(steady_clock::now().time_since_epoch()).count());
}

void SteadyClock::sleepMs(std::uint32_t ms) {
  // The default 50 us of timer slack would stretch every 1 ms poll pause by 5 %.
  thread_local const bool tightened = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
  (void)tightened;
  const BlockingSection idle;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock& clock() {
  return installed != nullptr ? *installed : steadyClock();
}
void setClock(Clock* c) {
  installed = c;
}

std::uint32_t tickCount() {
  return clock().tickCount();
}
void sleepMs(std::uint32_t ms) {
  clock().sleepMs(ms);
}

void delay(std::uint32_t ms) {
  const std::uint32_t start = tickCount();
  while (tickCount() - start < ms && !cancelRequested()) sleepMs(1);
}

}  // namespace quorrel::platform
