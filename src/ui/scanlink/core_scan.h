// The network scan library behind the pages' scan seam.
#pragma once

#include "ui/presentation/scan_control.h"

namespace quorrel::ui {

// The one scan of the process; it reports to the events given to setEvents.
ScanControl& coreScan();

}  // namespace quorrel::ui
