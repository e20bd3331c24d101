// The network scan behind the pages' scan seam: calls go to the scan library, and what the
// scan reports comes back to the Main page.
#include "ui/scanlink/core_scan.h"

#include <ctime>

#include "diagnostics/logs.h"
#include "persistence/preferences.h"
#include "scan/scan.h"
#include "scan/scan_services.h"

namespace quorrel::ui {

namespace {
class CoreScan final : public ScanControl, public scan::ScanListener {
 public:
  void setEvents(ScanEvents* events) override {
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
  void remotesAgeing() override {
    if (diagnostics::scanLogWanted(persistence::preferences().diagnosticsLevel))
      diagnostics::writeScanLog(scanLog_, true, std::time(nullptr));
  }
  void logParameters(int kind, ByteSpan parameters) override {
    diagnostics::appendDeviceLog(diagnostics::programDeviceLog(), kind, parameters,
                                 std::time(nullptr));
  }

 private:
  ScanEvents* events_ = nullptr;
  diagnostics::ScanLog scanLog_;
};
}  // namespace

ScanControl& coreScan() {
  static CoreScan scan;
  return scan;
}

}  // namespace quorrel::ui
