// Where the scan meets the HomePlug 1.0 and Turbo vendor layer.
#pragma once

namespace quorrel::scan {

// Makes the vendor layer's poll hand the frames it does not handle to HandleHp1Frame.
void linkHp1Handler();

}  // namespace quorrel::scan
