// Frames come through the management poll, so the scan's intake sees every one of them.
#include "brantleapi/frame_source.h"

#include <array>

#include "thpapi/exchange.h"
#include "transport/interface_table.h"

namespace quorrel::brantleapi {

bool takeManagementFrame(std::vector<std::uint8_t>& frame) {
  std::array<std::uint8_t, transport::kMaxFrameLength> buffer{};
  std::size_t length = 0;
  if (thpapi::PollManagementFrame(buffer, length) != 1) return false;
  frame.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
  return true;
}

}  // namespace quorrel::brantleapi
