// Stands in for the network scan in a build without it: finds no adapter, never ticks.
#include "app/desktop_scan.h"

namespace quorrel::app {

namespace {
class OfflineScan final : public ui::ScanControl {
 public:
  void setEvents(ui::ScanEvents* events) override { events_ = events; }
  void StartScan(std::uint32_t, int, bool autoscanEnabled) override {
    on_ = autoscanEnabled;
    if (events_ != nullptr) events_->localSearchEnded(false);
  }
  bool SuspendAutoscan(bool on) override {
    const bool previous = on_;
    on_ = on;
    return previous;
  }
  void requestUserScan() override {}
  void restartScanCycle() override {}
  void ScanTick() override {}

 private:
  ui::ScanEvents* events_ = nullptr;
  bool on_ = true;
};
}  // namespace

ui::ScanControl& desktopScan() {
  static OfflineScan scan;
  return scan;
}

}  // namespace quorrel::app
