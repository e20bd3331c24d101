// The 32-bit block checksum of management frames, firmware image headers and the parameter
// block: one implementation for every layer that seals or checks such a block.
#pragma once

#include <cstdint>

#include "platform/bytes.h"

namespace quorrel {

// Complement of the exclusive-or of the block's whole little-endian 32-bit words, started
// from `seed`; a trailing part shorter than a word is ignored and the bytes need no
// alignment. A block followed by its own checksum32 word therefore XORs to 0xFFFFFFFF, and a
// received block checks out when checksum32(block, receivedChecksum) is 0.
std::uint32_t checksum32(ByteSpan block, std::uint32_t seed = 0);

}  // namespace quorrel
