// Arbitrary bytes as a parameter block image, and as a copy of each region on its own.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "paramblock/parameter_block.h"
#include "paramblock/region_map.h"
#include "platform/checksum32.h"

using namespace quorrel;
using namespace quorrel::paramblock;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy: any read past the caller's buffer is a heap overflow under ASan.
  std::vector<std::uint8_t> image(data, data + size);
  ParameterBlock view;
  const ParameterBlockResult first = view.attachImage(image);
  if (view.validated() != (first == ParameterBlockResult::kSuccess)) __builtin_trap();

  NetworkMembershipKey key{};
  view.getNetworkMembershipKey(key);
  view.setMacAddress({0x02, 0x00, 0x00, 0x00, 0x00, 0x01});

  const ParameterBlockResult renewed = view.updateChecksum(image);
  if (renewed == ParameterBlockResult::kSuccess || renewed == ParameterBlockResult::kWrongVersion ||
      renewed == ParameterBlockResult::kRegionInvalid) {
    // A renewed checksum makes the stated length's words check to 0.
    const std::size_t length = readLe16(image, kLengthOffset);
    if (length > image.size()) __builtin_trap();
    if (length >= kChecksumOffset + 4 && checksum32(ByteSpan(image).first(length)) != 0)
      __builtin_trap();
  }

  // Each region's rule over the input taken as a copy of that region alone.
  for (const ParameterRegion& region : kParameterRegions) {
    ImageWindow window(ByteSpan(data, size), region.offset);
    checkRegion(region, window);
  }
  return 0;
}
