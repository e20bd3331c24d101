// Word-wise exclusive-or, complemented.
#include "platform/checksum32.h"

namespace quorrel {

std::uint32_t checksum32(ByteSpan block, std::uint32_t seed) {
  std::uint32_t x = seed;
  const std::size_t words = block.size() / 4;
  for (std::size_t i = 0; i < words; ++i) x ^= readLe32(block, i * 4);
  return ~x;
}

}  // namespace quorrel
