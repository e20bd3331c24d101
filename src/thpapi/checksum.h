// The 32-bit block checksum of management frames, image headers and the parameter block.
#pragma once

#include <cstdint>

#include "platform/bytes.h"

namespace quorrel::thpapi {

// Complement of the exclusive-or of the block's whole little-endian words, starting from
// `seed`; a trailing part shorter than a word is ignored. A received block checks out when
// checksum32(block, receivedChecksum) is 0.
std::uint32_t checksum32(ByteSpan block, std::uint32_t seed = 0);

}  // namespace quorrel::thpapi
