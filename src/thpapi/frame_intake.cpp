// Defaults to the interface table's own receive.
#include "thpapi/frame_intake.h"

namespace quorrel::thpapi {

namespace {
FrameIntake installed = nullptr;
}  // namespace

void setFrameIntake(FrameIntake f) {
  installed = f;
}

const transport::ReceivedFrame* takeInterfaceFrame(int index) {
  return installed != nullptr ? installed(index) : transport::ReceiveFrame(index);
}

}  // namespace quorrel::thpapi
