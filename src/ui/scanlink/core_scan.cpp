// The network scan behind the pages' scan seam: calls go to the scan library, and what the
// scan reports comes back to the Main page.
#include "ui/scanlink/core_scan.h"

#include <ctime>
#include <memory>
#include <span>
#include <variant>

#include "api/device_table.h"
#include "diagnostics/logs.h"
#include "history/rate_history.h"
#include "history/recording.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "ui/scanlink/wire_thread.h"

namespace quorrel::ui {

namespace {
// Every call into the scan is followed by taking its report and acting on it, in the order the
// scan made the changes, so the Main page's refresh, its message boxes and its data-file saves
// never run inside a receive.
class CoreScan final : public ScanControl {
 public:
  void setEvents(ScanEvents* events) override { events_ = events; }
  void startWireThread(WireThread::Poster poster) override {
    wire_ = std::make_unique<WireThread>(std::move(poster), [this] {
      scan::ScanTick();
      publish();
    });
  }
  void stopWireThread() override {
    if (wire_) wire_->stop();
    wire_.reset();
  }
  void StartScan(std::uint32_t interval, int threshold, bool autoscanEnabled) override {
    onWire([this, interval, threshold, autoscanEnabled] {
      const bool found = scan::StartScan(interval, threshold, autoscanEnabled);
      publish();
      toWindow([this, found] {
        if (events_ != nullptr) events_->localSearchEnded(found);
      });
    });
  }
  bool SuspendAutoscan(bool on) override { return scan::SuspendAutoscan(on); }
  void requestUserScan() override { scan::requestUserScan(); }
  void restartScanCycle() override {
    onWire([this] {
      scan::restartScanCycle();
      publish();
    });
  }
  void ScanTick() override {
    onWire([this] {
      scan::ScanTick();
      publish();
    });
  }
  void runOperation(std::function<void()> operation) override { onWire(std::move(operation)); }
  void cancelOperation() override {
    if (wire_) wire_->cancel();
  }
  void toWindow(std::function<void()> task) override {
    if (wire_ && wire_->onWireThread())
      wire_->post(std::move(task));
    else
      task();
  }
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

 private:
  // Without a wire thread (tests) the work runs at once on the caller's thread.
  void onWire(std::function<void()> work) {
    if (wire_ && !wire_->onWireThread())
      wire_->submit(std::move(work));
    else
      work();
  }
  // The scan's timer is the wire thread's; the rest of the report goes to the window.
  void publish() {
    scan::ScanReport report = scan::takeScanReport();
    if (report.changes.empty()) return;
    if (wire_) {
      for (const scan::ScanChange& change : report.changes)
        if (const auto* t = std::get_if<scan::TimerChanged>(&change))
          wire_->setTimer(t->running, t->periodMs);
    }
    toWindow([this, r = std::move(report)] { publishReport(r); });
  }

 public:
  void publishReport(const scan::ScanReport& report) {
    for (const scan::ScanChange& change : report.changes) std::visit(*this, change);
  }
  // The report's changes, one by one.
  void operator()(const scan::ListsChanged& c) {
    if (events_ != nullptr) events_->RefreshDeviceLists(c.phase);
  }
  void operator()(const scan::UpgradeButtonChanged& c) {
    if (events_ != nullptr) events_->enableUpgradeButton(c.enable);
  }
  void operator()(const scan::TimerChanged& c) {
    if (!wire_ && events_ != nullptr) events_->scanTimerChanged(c.running, c.periodMs);
  }
  void operator()(const scan::AgeingReached& c) {
    const scan::AgeingReached::Before& before = *c.before;
    if (diagnostics::scanLogWanted(persistence::preferences().diagnosticsLevel))
      diagnostics::writeScanLog(
          scanLog_,
          std::span(before.devices).first(static_cast<std::size_t>(before.interfaceCount)), true,
          std::time(nullptr));
    // Once per cycle, as the table stood before ageing dropped anyone: the rates of the
    // interface this cycle scanned. The other interfaces' entries keep the rates of their last
    // scan; recording them would repeat old rates as new samples.
    if (history::RateHistory* h = rateHistory())
      h->record(
          history::listedRates(before.devices[before.currentInterface % api::kInterfaceCount]),
          std::time(nullptr));
  }
  void operator()(const scan::ParametersRepeated& c) {
    diagnostics::appendDeviceLog(diagnostics::programDeviceLog(), c.kind, c.bytes,
                                 std::time(nullptr));
  }
  void operator()(const scan::RemoteListReset&) {}

 private:
  ScanEvents* events_ = nullptr;
  std::unique_ptr<WireThread> wire_;
  diagnostics::ScanLog scanLog_;
  std::unique_ptr<history::RateHistory> history_;
};

CoreScan& theCoreScan() {
  static CoreScan scan;
  return scan;
}
}  // namespace

ScanControl& coreScan() {
  return theCoreScan();
}

void publishScanReport(const scan::ScanReport& report) {
  theCoreScan().publishReport(report);
}

}  // namespace quorrel::ui
