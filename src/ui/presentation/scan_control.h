// What the pages need of the network scan, and what the scan tells them. The scan library
// implements the first and calls the second; tests put a scripted scan in its place.
#pragma once

#include <cstdint>

namespace quorrel::history {
class RateHistory;
}

namespace quorrel::ui {

// What the scan tells whoever shows the device table.
class ScanEvents {
 public:
  virtual ~ScanEvents() = default;
  // Phase 1 at the start of a cycle, 7 at its end, the current phase after a rate update.
  virtual void RefreshDeviceLists(int phase) = 0;
  virtual void enableUpgradeButton(bool enable) = 0;
  // The scan's timer started with `periodMs` or stopped; the toolkit timer follows it.
  virtual void scanTimerChanged(bool running, std::uint32_t periodMs) = 0;
};

class ScanControl {
 public:
  virtual ~ScanControl() = default;
  virtual void setEvents(ScanEvents* events) = 0;
  // True when a local adapter was found on any interface.
  virtual bool StartScan(std::uint32_t interval, int dropThreshold, bool autoscanEnabled) = 0;
  // true: autoscan runs. Returns the previous state.
  virtual bool SuspendAutoscan(bool on) = 0;
  // The next cycle runs even with autoscan off.
  virtual void requestUserScan() = 0;
  // Back to the start of a cycle with a fresh timer, even without a local adapter.
  virtual void restartScanCycle() = 0;
  // One step of the cycle: the timer's callback.
  virtual void ScanTick() = 0;
  // The rate history the scan records each cycle (read by the chart); none without one.
  virtual history::RateHistory* rateHistory() { return nullptr; }
};

}  // namespace quorrel::ui
