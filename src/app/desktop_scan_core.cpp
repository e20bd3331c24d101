// The network scan behind the pages' scan seam: calls go to the scan library, and what the
// scan reports comes back to the Main page.
#include "app/desktop_scan.h"
#include "scan/scan.h"
#include "scan/scan_services.h"

namespace quorrel::app {

namespace {
class CoreScan final : public ui::ScanControl, public scan::ScanListener {
 public:
  void setEvents(ui::ScanEvents* events) override {
    events_ = events;
    scan::setScanListener(events != nullptr ? this : nullptr);
  }
  bool StartScan(std::uint32_t interval, int threshold, bool autoscanEnabled) override {
    return scan::StartScan(interval, threshold, autoscanEnabled);
  }
  bool SuspendAutoscan(bool on) override { return scan::SuspendAutoscan(on); }
  void RequestUserScan() override { scan::RequestUserScan(); }
  void RestartScanCycle() override { scan::RestartScanCycle(); }
  void ScanTick() override { scan::ScanTick(); }

  void RefreshDeviceLists(int phase) override {
    if (events_ != nullptr) events_->RefreshDeviceLists(phase);
  }
  void enableUpgradeButton(bool enable) override {
    if (events_ != nullptr) events_->enableUpgradeButton(enable);
  }
  void scanTimerChanged(bool running, std::uint32_t periodMs) override {
    if (events_ != nullptr) events_->scanTimerChanged(running, periodMs);
  }

 private:
  ui::ScanEvents* events_ = nullptr;
};
}  // namespace

ui::ScanControl& desktopScan() {
  static CoreScan scan;
  return scan;
}

}  // namespace quorrel::app
