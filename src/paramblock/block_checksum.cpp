// checksum32 over whole little-endian words of a byte block.
#include "paramblock/block_checksum.h"

namespace quorrel::paramblock {

std::uint32_t checksum32(ByteSpan block, std::uint32_t seed) {
  std::uint32_t sum = seed;
  const std::size_t words = block.size() / 4;
  for (std::size_t i = 0; i < words; ++i) sum ^= readLe32(block, i * 4);
  return ~sum;
}

}  // namespace quorrel::paramblock
