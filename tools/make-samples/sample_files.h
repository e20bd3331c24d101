// Builds sample parameter blocks and firmware image files in memory, from our own values only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "paramblock/defaults.h"
#include "paramblock/parameter_block.h"
#include "platform/bytes.h"

namespace quorrel::samples {

using paramblock::NetworkMembershipKey;

// Firmware image file: a chain of images, each behind a header of eleven little-endian words.
inline constexpr std::size_t kNvmHeaderLength = 44;
inline constexpr std::size_t kNvmHeaderVersionOffset = 0;
inline constexpr std::size_t kNvmRomAddressOffset = 4;
inline constexpr std::size_t kNvmLoadAddressOffset = 8;
inline constexpr std::size_t kNvmImageLengthOffset = 12;
inline constexpr std::size_t kNvmImageChecksumOffset = 16;
inline constexpr std::size_t kNvmEntryAddressOffset = 20;
inline constexpr std::size_t kNvmNextHeaderOffset = 36;  // from the file start; 0 for the last
inline constexpr std::size_t kNvmHeaderChecksumOffset = 40;

struct NvmImageHeader {
  std::uint32_t headerVersion = 1;
  std::uint32_t romAddress = 0;
  std::uint32_t loadAddress = 0;
  std::uint32_t imageLength = 0;
  std::uint32_t imageChecksum = 0;
  std::uint32_t entryAddress = 0;
  std::array<std::uint32_t, 3> further{};
  std::uint32_t nextHeaderOffset = 0;
  std::uint32_t headerChecksum = 0;
};

// Writes the header's 44 bytes at `at` with a header checksum that makes its words XOR to
// 0xFFFFFFFF (the given headerChecksum is ignored). False when the header does not fit.
bool encodeNvmImageHeader(const NvmImageHeader& header, MutableByteSpan file, std::size_t at);
// Reads the header at `at` as it stands, checksum included. False when it does not fit.
bool decodeNvmImageHeader(ByteSpan file, std::size_t at, NvmImageHeader& header);
// True when the 44 bytes at `at` fit and their eleven words give checksum32 0.
bool nvmHeaderChecksumOk(ByteSpan file, std::size_t at);

struct FirmwareImage {
  std::uint32_t loadAddress = 0;
  std::uint32_t entryAddress = 0;
  std::vector<std::uint8_t> bytes;
};

inline constexpr std::uint32_t kSampleLoadAddress = 0x01000000;
inline constexpr std::uint32_t kSampleLoadStride = 0x00100000;
inline constexpr std::size_t kMaxSampleImages = 8;
inline constexpr std::size_t kMaxSampleImageSize = kSampleLoadStride;

// `count` images of `size` bytes of a pattern that differs per image and per position, loaded
// and entered at kSampleLoadAddress + i * kSampleLoadStride. Empty when count is 0 or above
// kMaxSampleImages, or size above kMaxSampleImageSize.
std::vector<FirmwareImage> sampleFirmwareImages(std::size_t count, std::size_t size);
// The chain file: each header followed by its image, the image checksum being checksum32 of
// the image's whole words. Empty when there are no images or the file would pass 4 GiB.
std::vector<std::uint8_t> buildFirmwareFile(std::span<const FirmwareImage> images);

// Identity written into every sample block: the defaults of a fresh block.
inline constexpr std::string_view kSampleManufacturerName = paramblock::kDefaultManufacturerName;

// A default parameter block (resetToDefaults) with the given device MAC address and network
// membership key and a renewed checksum. Empty when the
// address is a group address or a reserved one.
std::vector<std::uint8_t> buildParameterBlock(const MacAddress& mac,
                                              const NetworkMembershipKey& nmk);

// Ways to break a chain file of at least two images, each with its header checksum renewed
// unless the checksum is what is broken: the second header points at itself (Loop),
// into the first image (Backward), or past the end of the file (PastEnd); or the first
// header's checksum is wrong (Checksum).
enum class ChainBreak { Loop, Backward, PastEnd, Checksum };
// The file broken `how`; empty for a file of fewer than two images.
std::vector<std::uint8_t> breakFirmwareFile(std::vector<std::uint8_t> file, ChainBreak how);

// Ways to break a parameter block: cut to 16 bytes (Short); cut to half of what its length
// field states, version (1, 4) so that validation passes over it (Truncated); a group address
// as the device MAC with the layout version (GroupMac), which validation refuses.
enum class BlockBreak { Short, Truncated, GroupMac };
std::vector<std::uint8_t> breakParameterBlock(std::vector<std::uint8_t> block, BlockBreak how);

// 32 hexadecimal digits, either case, into a 16-byte key; false on anything else.
bool parseKeyHex(std::string_view text, NetworkMembershipKey& key);

}  // namespace quorrel::samples
