// The block is collected into a buffer of exactly one parameter block; the transfer refuses a
// block that announces more, so nothing is ever stored past it.
#include "api/local_network_key.h"

#include <algorithm>
#include <array>

#include "paramblock/parameter_block.h"
#include "thpapi/frame_layout.h"
#include "thpapi/transfer_loop.h"
#include "transport/interface_table.h"

namespace quorrel::api {

int ReadLocalNetworkKey(transport::ReceivePath& path, const MacAddress& localDevice,
                        std::span<std::uint8_t, kNetworkKeySize> key) {
  const MacAddress source = transport::SourceAddress();
  if (isZeroMac(source)) return -1;
  std::array<std::uint8_t, paramblock::kParameterBlockLength> block{};
  std::size_t received = 0;
  if (thpapi::readModuleBlock(path, source, localDevice, thpapi::kModuleParameterBlock, block,
                              received) != 0)
    return -1;

  using paramblock::ParameterBlockResult;
  paramblock::ParameterBlock view;
  // Only the bytes that came are looked at: a short block must not yield zeros as its key.
  const ParameterBlockResult attached = view.attachImage(MutableByteSpan(block).first(received));
  if (attached != ParameterBlockResult::kSuccess && attached != ParameterBlockResult::kWrongVersion)
    return -1;
  paramblock::NetworkMembershipKey nmk{};
  if (view.getNetworkMembershipKey(nmk) != ParameterBlockResult::kSuccess) return -1;
  std::copy(nmk.begin(), nmk.end(), key.begin());
  return 1;
}

}  // namespace quorrel::api
