// What the pages need of the network scan, and what the scan tells them. The scan library
// implements the first and calls the second on the window's thread; tests put a scripted scan
// in its place.
#pragma once

#include <cstdint>
#include <functional>

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
  // The local search StartScan began has ended: whether a local adapter was found.
  virtual void localSearchEnded(bool found) = 0;
};

class ScanControl {
 public:
  virtual ~ScanControl() = default;
  virtual void setEvents(ScanEvents* events) = 0;
  // Runs the local search on every interface and starts the cycle; localSearchEnded tells
  // whether a local adapter was found.
  virtual void StartScan(std::uint32_t interval, int dropThreshold, bool autoscanEnabled) = 0;
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

  // From here on the scan and the operations run on a thread of their own, which reports to
  // the window through `poster` (it carries a task to the window's thread). Without this call
  // they run on the caller's thread.
  virtual void startWireThread(std::function<void(std::function<void()>)> poster) {
    (void)poster;
  }
  // Cancels what runs and ends that thread.
  virtual void stopWireThread() {}

  // Runs `operation` where frames are exchanged, after what was asked before and with no scan
  // tick until it ends; what it has to show it carries to the window with toWindow. In tests
  // and without a wire thread it runs at once.
  virtual void runOperation(std::function<void()> operation) { operation(); }
  // Ends the running operation at its next wait.
  virtual void cancelOperation() {}
  // Carries `task` to the window's thread; at once when the caller is there already.
  virtual void toWindow(std::function<void()> task) { task(); }
};

}  // namespace quorrel::ui
