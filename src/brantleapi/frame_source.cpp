// Frames from every open interface in index order.
#include "brantleapi/frame_source.h"

#include "transport/interface_table.h"

namespace quorrel::brantleapi {

bool takeManagementFrame(std::vector<std::uint8_t>& frame) {
  const int count = transport::interfaceTable().interfaceCount;
  for (int i = 0; i < count; ++i) {
    const transport::ReceivedFrame* f = transport::ReceiveFrame(i);
    if (f == nullptr) continue;
    const ByteSpan b = f->bytes();
    frame.assign(b.begin(), b.end());
    return true;
  }
  return false;
}

}  // namespace quorrel::brantleapi
