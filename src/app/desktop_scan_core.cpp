// The desktop program scans the network.
#include "app/desktop_scan.h"
#include "ui/scanlink/core_scan.h"

namespace quorrel::app {

ui::ScanControl& desktopScan() {
  return ui::coreScan();
}

}  // namespace quorrel::app
