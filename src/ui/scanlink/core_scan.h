// The network scan library behind the pages' scan seam.
#pragma once

#include "scan/scan_report.h"
#include "ui/presentation/scan_control.h"

namespace quorrel::ui {

// The one scan of the process; it reports to the events given to setEvents.
ScanControl& coreScan();
// Acts on `report` as on the one taken after a step of the scan: the pages, the scan log, the
// rate history and the parameter log hear of what it holds.
void publishScanReport(const scan::ScanReport& report);

}  // namespace quorrel::ui
