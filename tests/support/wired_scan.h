// A scripted scan whose operations run on a wire thread, as the desktop program's do: what
// they report reaches the test's event loop as queued calls.
#pragma once

#include "support/desktop_fixture.h"
#include "ui/qtplatform/wire_window.h"
#include "ui/scanlink/wire_thread.h"

namespace quorrel::ui::testing {

class WiredScan final : public ScanControl {
 public:
  explicit WiredScan(FakeScan& fake) : fake_(fake) {}
  void setEvents(ScanEvents* e) override { fake_.setEvents(e); }
  void StartScan(std::uint32_t interval, int threshold, bool enabled) override {
    fake_.StartScan(interval, threshold, enabled);
  }
  bool SuspendAutoscan(bool on) override { return fake_.SuspendAutoscan(on); }
  void requestUserScan() override { fake_.requestUserScan(); }
  void restartScanCycle() override { fake_.restartScanCycle(); }
  void ScanTick() override { fake_.ScanTick(); }
  void runOperation(std::function<void()> operation) override {
    wire_.submit(std::move(operation));
  }
  void cancelOperation() override { wire_.cancel(); }
  void toWindow(std::function<void()> task) override {
    if (wire_.onWireThread())
      wire_.post(std::move(task));
    else
      task();
  }

 private:
  FakeScan& fake_;
  WireThread wire_{qtui::postToWindow, [] {}};
};

}  // namespace quorrel::ui::testing
