// Start-up in its fixed order.
#include "ui/quorrel/shell.h"

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>

#include "persistence/preferences.h"
#include "platform/adapter_lock.h"
#include "platform/notice.h"
#include "ui/presentation/about_page_text.h"
#include "ui/presentation/diagnostics_page_controller.h"
#include "ui/presentation/instance_lock.h"
#include "ui/presentation/main_page_text.h"
#include "ui/presentation/privacy_text.h"
#include "ui/qtplatform/qt_notice.h"
#include "ui/qtplatform/wire_window.h"
#include "ui/quorrel/about_page.h"
#include "ui/quorrel/diagnostics_page.h"
#include "ui/quorrel/main_page.h"
#include "ui/quorrel/privacy_page.h"
#include "ui/quorrel/property_sheet.h"

namespace quorrel::qtui {

Sheet buildSheet(ui::ScanControl& scan, ui::ShellState& shell, QtNotice& notice,
                 diagnostics::Printer& printer) {
  Sheet s;
  s.sheet = new PropertySheet(QString::fromUtf8(persistence::preferences().productName.c_str()));
  s.mainPage = new MainPage(scan, shell);
  s.sheet->addPage(s.mainPage, QString::fromUtf8(ui::main_text::kMainTab));
  s.privacyPage = new PrivacyPage(*s.mainPage, shell);
  s.sheet->addPage(s.privacyPage, QString::fromUtf8(ui::privacy_text::kPrivacyTab));
  MainPage* main = s.mainPage;
  if (persistence::preferences().diagnosticsLevel != 0) {
    s.diagnosticsPage = new DiagnosticsPage(
        scan, printer, [main](const MacAddress& mac) { main->controller().removeRemoteRow(mac); });
    s.sheet->addPage(s.diagnosticsPage, QString::fromUtf8(ui::diagnostics_text::kDiagnosticsTab));
  }
  s.aboutPage = new AboutPage(scan, [main](const std::string& text) { main->setStatusText(text); });
  s.sheet->addPage(s.aboutPage, QString::fromUtf8(ui::about_text::kAboutTab));
  s.sheet->tabs()->setCurrentIndex(0);
  // A default button belongs to its dialog, so it is named once the page is in the sheet.
  s.mainPage->scanButton()->setDefault(true);
  notice.setMainPage(s.mainPage);
  return s;
}

void initialisePages(const Sheet& s, const ui::ShellState& shell) {
  s.mainPage->initialise();
  s.aboutPage->initialise(shell.workingDirectory);
}

int runShell(int& argc, char** argv, ui::ScanControl& scan, const ShellOptions& options) {
  QApplication app(argc, argv);
  holdStateWhileAwake(app);
  QtNotice notice;
  platform::setNotice(&notice);
  ui::ShellState shell;  // firstActivation set
  persistence::LoadPreferences();
  const ui::InstanceLock lock;
  if (!ui::admitInstance(lock)) {
    platform::setNotice(nullptr);
    return 0;
  }
  platform::AdapterLock adapters;  // a monitor beside the window waits between its cycles
  adapters.claim(3000);
  // Frames are exchanged on a thread of their own; the window only shows and asks.
  scan.startWireThread(postToWindow);
  Sheet s = buildSheet(scan, shell, notice, diagnostics::systemPrinter());
  s.sheet->show();
  initialisePages(s, shell);
  s.mainPage->pageEntered();
  if (options.afterStart) options.afterStart(*s.sheet, *s.mainPage);
  app.exec();
  scan.stopWireThread();
  delete s.sheet;
  platform::setNotice(nullptr);
  return 0;
}

}  // namespace quorrel::qtui
