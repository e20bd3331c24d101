// quorrel-utility: the desktop program.
#include "app/desktop_scan.h"
#include "ui/quorrel/shell.h"

int main(int argc, char** argv) {
  return quorrel::qtui::runShell(argc, argv, quorrel::app::desktopScan());
}
