// Stands in for the network scan in a build without it: finds no adapter, never ticks.
#include "app/desktop_scan.h"

namespace quorrel::app {

namespace {
class OfflineScan final : public ui::ScanControl {
 public:
  void setEvents(ui::ScanEvents*) override {}
  bool StartScan(std::uint32_t, int, bool autoscanEnabled) override {
    on_ = autoscanEnabled;
    return false;
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
  bool on_ = true;
};
}  // namespace

ui::ScanControl& desktopScan() {
  static OfflineScan scan;
  return scan;
}

}  // namespace quorrel::app
