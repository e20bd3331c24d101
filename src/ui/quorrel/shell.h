// The program's start-up: preferences, the single-instance rule, the sheet and its pages.
#pragma once

#include <functional>

#include "diagnostics/report_output.h"
#include "ui/presentation/main_page_controller.h"
#include "ui/presentation/scan_control.h"

namespace quorrel::qtui {

class PropertySheet;
class MainPage;
class DiagnosticsPage;
class AboutPage;
class PrivacyPage;
class QtNotice;

struct ShellOptions {
  // Runs once the sheet is shown and the Main page initialised (tools that take pictures).
  std::function<void(PropertySheet&, MainPage&)> afterStart;
};

// The whole run; 0 when the sheet closes or a second copy is refused.
int runShell(int& argc, char** argv, ui::ScanControl& scan, const ShellOptions& options = {});

// The sheet with the pages that exist, in tab order, over `scan`; the Main page first. The
// Diagnostics page prints on `printer`.
struct Sheet {
  PropertySheet* sheet = nullptr;
  MainPage* mainPage = nullptr;
  DiagnosticsPage* diagnosticsPage = nullptr;  // only when the diagnostics level is non-zero
  AboutPage* aboutPage = nullptr;
  PrivacyPage* privacyPage = nullptr;
};
Sheet buildSheet(ui::ScanControl& scan, ui::ShellState& shell, QtNotice& notice,
                 diagnostics::Printer& printer = diagnostics::systemPrinter());
// The pages' start-up work once the sheet is shown: the Main page's, then the About page's.
void initialisePages(const Sheet& sheet, const ui::ShellState& shell);

}  // namespace quorrel::qtui
