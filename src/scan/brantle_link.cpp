// The vendor layer's poll hands the scan the HomePlug 1.0 frames it does not handle, and its
// key read-back switches the autoscan through the scan's own switch.
#include "scan/brantle_link.h"

#include "brantleapi/hooks.h"
#include "scan/hp1_intake.h"
#include "scan/scan.h"

namespace quorrel::scan {

void linkHp1Handler() {
  brantleapi::setHp1FrameHandler(&HandleHp1Frame);
  brantleapi::setAutoscanSwitch(&SuspendAutoscan);
}

}  // namespace quorrel::scan
