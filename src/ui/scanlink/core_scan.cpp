// The network scan behind the pages' scan seam: calls go to the scan library, and what the
// scan reports comes back to the Main page.
#include "ui/scanlink/core_scan.h"

#include <ctime>
#include <memory>

#include "api/device_table.h"
#include "diagnostics/logs.h"
#include "history/rate_history.h"
#include "history/recording.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "platform/notice.h"
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
  // Opened on first use, once the data directory is chosen; a file set aside is told once.
  history::RateHistory* rateHistory() override {
    if (history_ == nullptr && !persistence::dataDirectory().empty()) {
      history_ = std::make_unique<history::RateHistory>(
          history::historyPath(persistence::dataDirectory()));
      if (history_->open(std::time(nullptr)) == history::OpenOutcome::SetAside)
        platform::showNotice(history::setAsideMessage(history_->path()), history::kNoticeCaption,
                             platform::NoticeIcon::Warning);
    }
    return history_.get();
  }

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
    // Once per cycle, before ageing drops anyone: the rates of the interface this cycle
    // scanned. The other interfaces' entries keep the rates of their last scan; recording them
    // would repeat old rates as new samples.
    if (history::RateHistory* h = rateHistory())
      h->record(history::listedRates(api::currentDevices()), std::time(nullptr));
  }
  void logParameters(int kind, ByteSpan parameters) override {
    diagnostics::appendDeviceLog(diagnostics::programDeviceLog(), kind, parameters,
                                 std::time(nullptr));
  }

 private:
  ScanEvents* events_ = nullptr;
  diagnostics::ScanLog scanLog_;
  std::unique_ptr<history::RateHistory> history_;
};
}  // namespace

ScanControl& coreScan() {
  static CoreScan scan;
  return scan;
}

}  // namespace quorrel::ui
