// The seam through which every poll of this layer takes frames from an interface. The
// network scan installs its own intake (it keeps HomePlug 1.0 bookkeeping on the way).
#pragma once

#include "transport/interface_table.h"

namespace quorrel::thpapi {

// Takes at most one frame from interface `index`; nullptr when none is pending.
using FrameIntake = const transport::ReceivedFrame* (*)(int index);

// Installs `f`; nullptr restores the default, transport::ReceiveFrame.
void setFrameIntake(FrameIntake f);
// One frame from interface `index` through the installed intake.
const transport::ReceivedFrame* takeInterfaceFrame(int index);

}  // namespace quorrel::thpapi
