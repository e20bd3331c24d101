// The one way HomePlug 1.0 code takes received frames: the next management frame of any
// interface, through the frame intake.
#pragma once

#include <cstdint>
#include <vector>

namespace quorrel::brantleapi {

// True with the frame copied into `frame`; false when no interface has one now.
bool takeManagementFrame(std::vector<std::uint8_t>& frame);

}  // namespace quorrel::brantleapi
