// The Diagnostics page: the computer and its local adapters, the history of remote devices,
// and the Delete, Save Report and Print Report buttons. The decisions are
// DiagnosticsPageController's; this class lays out widgets and forwards events.
#pragma once

#include <memory>

#include "ui/presentation/diagnostics_page_controller.h"
#include "ui/quorrel/sheet_page.h"

class QPushButton;
class QTreeWidget;

namespace quorrel::qtui {

inline constexpr int kDiagnosticsPageWidthDlu = 378;
inline constexpr int kDiagnosticsPageHeightDlu = 215;

class DiagnosticsPage final : public SheetPage, public ui::DiagnosticsPageView {
 public:
  DiagnosticsPage(ui::ScanControl& scan, diagnostics::Printer& printer,
                  ui::DiagnosticsPageController::RowRemoved rowRemoved = {},
                  QWidget* parent = nullptr);
  ~DiagnosticsPage() override;

  void pageEntered() override;
  void pageLeft() override;

  ui::DiagnosticsPageController& controller() { return *controller_; }
  QTreeWidget* systemList() const { return systemList_; }
  QTreeWidget* historyList() const { return historyList_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* printButton() const { return print_; }

  // DiagnosticsPageView
  void setupDiagnosticsColumns(const diagnostics::ReportColumn& host,
                               const std::vector<diagnostics::ReportColumn>& remote) override;
  void showLists(const diagnostics::DiagnosticsLists& lists) override;
  std::optional<std::string> selectedMac() const override;
  std::optional<std::string> chooseReportFile() override;

 private:
  QTreeWidget* systemList_ = nullptr;
  QTreeWidget* historyList_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* print_ = nullptr;
  std::unique_ptr<ui::DiagnosticsPageController> controller_;
};

}  // namespace quorrel::qtui
