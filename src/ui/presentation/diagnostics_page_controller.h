// The Diagnostics and About pages without their widgets: what they show, and what their
// buttons do. The widgets implement the views and forward the user's actions here.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/report.h"
#include "diagnostics/report_output.h"
#include "platform/bytes.h"
#include "ui/presentation/scan_control.h"

namespace quorrel::ui {

namespace diagnostics_text {
inline constexpr const char* kDiagnosticsTab = "Diagnostics";
inline constexpr const char* kHistoryLabel = "Remote Device History (Log)";
inline constexpr const char* kDelete = "Delete";
inline constexpr const char* kSaveReport = "Save Report";
inline constexpr const char* kPrintReport = "Print Report";
inline constexpr const char* kSelectFirstText = "Please select a device first by clicking on it.";
inline constexpr const char* kAttentionCaption = "Attention!";
inline constexpr const char* kDeletePasswordText =
    "A Password for this device has been entered. \nAre you sure you want to delete it?";
inline constexpr const char* kReportFilters = "Diagnostics (*.TXT);;All (*.*)";
inline constexpr const char* kReportExtension = "TXT";
}  // namespace diagnostics_text

class DiagnosticsPageView {
 public:
  virtual ~DiagnosticsPageView() = default;
  virtual void setupDiagnosticsColumns(const diagnostics::ReportColumn& host,
                                       const std::vector<diagnostics::ReportColumn>& remote) = 0;
  // Refills both lists; the history keeps the selected device when it is still listed.
  virtual void showLists(const diagnostics::DiagnosticsLists& lists) = 0;
  // The MAC column of the selected history row, or none.
  virtual std::optional<std::string> selectedMac() const = 0;
  // The file the user names for the report, or none when cancelled.
  virtual std::optional<std::string> chooseReportFile() = 0;
};

class DiagnosticsPageController {
 public:
  // Tells the Main page which device a Delete took out of the known devices.
  using RowRemoved = std::function<void(const MacAddress&)>;

  DiagnosticsPageController(DiagnosticsPageView& view, ScanControl& scan,
                            diagnostics::Printer& printer, RowRemoved rowRemoved = {});

  void initialise();
  // The autoscan stays off while the page is shown, so the tables hold still under the lists.
  void pageEntered();
  void pageLeft();
  void refill();

  void deleteClicked();
  void saveClicked();
  void printClicked();

  // The report as it would be saved now.
  std::string reportText() const;

 private:
  DiagnosticsPageView& view_;
  ScanControl& scan_;
  diagnostics::Printer& printer_;
  RowRemoved rowRemoved_;
  diagnostics::HostInfo host_;
  bool savedAutoscan_ = true;
  bool shown_ = false;
};

}  // namespace quorrel::ui
