// The network scan the desktop program runs.
#pragma once

#include "ui/presentation/scan_control.h"

namespace quorrel::app {

ui::ScanControl& desktopScan();

}  // namespace quorrel::app
