// checksum32 for the parameter block and firmware image headers.
#pragma once

#include <cstdint>

#include "platform/bytes.h"

namespace quorrel::paramblock {

// Complement of the exclusive-or of the block's little-endian 32-bit words, started from
// `seed`. Only whole words count; trailing bytes are ignored. A block followed by its own
// checksum32 word therefore XORs to 0xFFFFFFFF. The bytes need no alignment.
std::uint32_t checksum32(ByteSpan block, std::uint32_t seed = 0);

}  // namespace quorrel::paramblock
