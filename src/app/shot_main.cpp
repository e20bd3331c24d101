// quorrel-utility-shot OUTPUT.png [SECONDS]: runs the desktop program for a while (default 5
// seconds) and saves a picture of its window before it closes. The desktop demo uses it
// where no one watches the screen.
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/desktop_scan.h"
#include "ui/quorrel/main_page.h"
#include "ui/quorrel/property_sheet.h"
#include "ui/quorrel/shell.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: quorrel-utility-shot OUTPUT.png [SECONDS]\n");
    return 2;
  }
  const std::string output = argv[1];
  const int seconds = argc == 3 ? std::atoi(argv[2]) : 5;
  if (seconds < 1 || seconds > 600) {
    std::fprintf(stderr, "quorrel-utility-shot: SECONDS must be 1 to 600\n");
    return 2;
  }
  int qtArgc = 1;
  bool saved = false;
  quorrel::qtui::ShellOptions options;
  options.afterStart = [&](quorrel::qtui::PropertySheet& sheet, quorrel::qtui::MainPage&) {
    QTimer::singleShot(seconds * 1000, &sheet, [&sheet, &output, &saved] {
      saved = sheet.grab().save(QString::fromStdString(output), "PNG");
      sheet.closeButton()->click();
    });
  };
  quorrel::qtui::runShell(qtArgc, argv, quorrel::app::desktopScan(), options);
  if (!saved) {
    std::fprintf(stderr, "quorrel-utility-shot: no picture was saved to %s\n", output.c_str());
    return 1;
  }
  std::printf("%s\n", output.c_str());
  return 0;
}
