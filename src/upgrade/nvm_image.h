// The firmware image file: a chain of images, each behind a 44-byte header of eleven
// little-endian words whose checksum32 is 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/bytes.h"

namespace quorrel::upgrade {

inline constexpr std::size_t kNvmHeaderLength = 44;
inline constexpr std::size_t kNvmLoadAddressAt = 8;
inline constexpr std::size_t kNvmImageLengthAt = 12;
inline constexpr std::size_t kNvmImageChecksumAt = 16;
inline constexpr std::size_t kNvmEntryAddressAt = 20;
inline constexpr std::size_t kNvmNextHeaderAt = 36;  // from the file start; 0 for the last
inline constexpr std::size_t kNvmHeaderChecksumAt = 40;

struct NvmImageHeader {
  std::size_t offset = 0;  // where the header stands in the file
  std::uint32_t loadAddress = 0;
  std::uint32_t imageLength = 0;
  std::uint32_t imageChecksum = 0;
  std::uint32_t entryAddress = 0;
  std::uint32_t nextHeaderOffset = 0;
  std::uint32_t headerChecksum = 0;
};

// The last header of the chain, or none when a header does not fit, its checksum is wrong,
// the next one does not lie beyond it, or an image runs past the end of the buffer (an
// adapter refuses such a chain only after it has been sent whole). Offsets only move forward,
// so the walk always ends.
std::optional<NvmImageHeader> walkImageChain(ByteSpan buffer);

}  // namespace quorrel::upgrade
