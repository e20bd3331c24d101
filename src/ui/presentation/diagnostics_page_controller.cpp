// The Diagnostics page's decisions.
#include "ui/presentation/diagnostics_page_controller.h"

#include <ctime>

#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/preferences.h"
#include "platform/notice.h"

namespace quorrel::ui {

using platform::NoticeAnswer;
using platform::NoticeButtons;
using platform::NoticeIcon;
using platform::NoticeOwner;

DiagnosticsPageController::DiagnosticsPageController(DiagnosticsPageView& view, ScanControl& scan,
                                                     diagnostics::Printer& printer,
                                                     RowRemoved rowRemoved)
    : view_(view),
      scan_(scan),
      printer_(printer),
      rowRemoved_(std::move(rowRemoved)),
      host_(diagnostics::readHostInfo()) {}

void DiagnosticsPageController::initialise() {
  view_.setupDiagnosticsColumns(
      diagnostics::kHostColumn,
      diagnostics::remoteColumns(persistence::preferences().diagnosticsLevel));
}

void DiagnosticsPageController::pageEntered() {
  if (!shown_) savedAutoscan_ = scan_.SuspendAutoscan(false);
  shown_ = true;
  refill();
}

void DiagnosticsPageController::pageLeft() {
  if (!shown_) return;
  shown_ = false;
  scan_.SuspendAutoscan(savedAutoscan_);
}

void DiagnosticsPageController::refill() {
  view_.showLists(diagnostics::fillDiagnosticsLists(host_));
}

void DiagnosticsPageController::deleteClicked() {
  const std::optional<std::string> mac = view_.selectedMac();
  if (!mac) {
    platform::showNotice(diagnostics_text::kSelectFirstText, diagnostics_text::kAttentionCaption,
                         NoticeIcon::Warning, NoticeButtons::Ok, NoticeOwner::ActiveDialog);
  } else if (const int k = persistence::FindKnownByMacText(*mac); k >= 1) {
    const persistence::KnownDevice* record = persistence::knownAt(k);
    const bool keep =
        record != nullptr && !record->password.empty() &&
        platform::showNotice(diagnostics_text::kDeletePasswordText,
                             diagnostics_text::kAttentionCaption, NoticeIcon::Warning,
                             NoticeButtons::YesNo, NoticeOwner::MainPage) == NoticeAnswer::No;
    if (!keep) {
      const MacAddress removed = record->mac;
      persistence::RemoveKnownDevice(k);
      if (rowRemoved_) rowRemoved_(removed);
      refill();
    }
  }
  persistence::SaveDeviceData();
}

std::string DiagnosticsPageController::reportText() const {
  return diagnostics::composeDiagnosticsReport(host_, std::time(nullptr));
}

void DiagnosticsPageController::saveClicked() {
  const std::optional<std::string> path = view_.chooseReportFile();
  if (path) diagnostics::writeDiagnosticsReport(*path, reportText());
}

void DiagnosticsPageController::printClicked() {
  diagnostics::printDiagnosticsReport(reportText(), printer_);
}

}  // namespace quorrel::ui
