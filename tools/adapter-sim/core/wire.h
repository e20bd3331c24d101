// The simulation's own frame encoder: headers, padding and checksum of the answers it sends.
// Kept apart from the host's message layer on purpose, so each checks the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::sim::wire {

inline constexpr std::uint16_t kEtherTypeAv = 0x88E1;
inline constexpr std::uint16_t kEtherTypeHp1 = 0x887B;

inline constexpr std::size_t kDestinationOffset = 0;
inline constexpr std::size_t kSourceOffset = 6;
inline constexpr std::size_t kEtherTypeOffset = 12;
inline constexpr std::size_t kEthernetHeaderLength = 14;
inline constexpr std::size_t kMinFrameLength = 60;  // Ethernet minimum without the FCS
inline constexpr std::size_t kMaxFrameLength = 1514;

// Vendor management header, message version 0: payload from byte 20.
inline constexpr std::size_t kMmvOffset = 14;
inline constexpr std::size_t kMmTypeOffset = 15;
inline constexpr std::size_t kOuiOffsetV0 = 17;
inline constexpr std::size_t kPayloadOffsetV0 = 20;
// Message version 1 adds two bytes of fragment information before the OUI and four zero
// bytes after it: payload from byte 26.
inline constexpr std::size_t kFragmentOffsetV1 = 17;
inline constexpr std::size_t kOuiOffsetV1 = 19;
inline constexpr std::size_t kPayloadOffsetV1 = 26;
inline constexpr std::uint8_t kOui[3] = {0x00, 0xB0, 0x52};

// HomePlug 1.0 management frames: entry count at 14, first entry type at 15.
inline constexpr std::size_t kHp1EntryCountOffset = 14;
inline constexpr std::size_t kHp1EntryTypeOffset = 15;
inline constexpr std::size_t kHp1HeaderLength = 17;

inline std::size_t ouiOffset(std::uint8_t mmv) {
  return mmv == 1 ? kOuiOffsetV1 : kOuiOffsetV0;
}
inline std::size_t payloadOffset(std::uint8_t mmv) {
  return mmv == 1 ? kPayloadOffsetV1 : kPayloadOffsetV0;
}

// A zero-filled vendor management frame of `payloadLength` bytes after the header, at least
// the Ethernet minimum long, with the header written.
std::vector<std::uint8_t> avFrame(const MacAddress& destination, const MacAddress& source,
                                  std::uint8_t mmv, std::uint16_t mmType,
                                  std::size_t payloadLength);

// A zero-filled frame of any ethertype with the Ethernet header written.
std::vector<std::uint8_t> ethernetFrame(const MacAddress& destination, const MacAddress& source,
                                        std::uint16_t etherType, std::size_t length);

// Complement of the exclusive-or of the block's little-endian 32-bit words, starting from
// `seed`; trailing bytes short of a whole word are ignored.
std::uint32_t checksum32(ByteSpan block, std::uint32_t seed = 0);

// A request from the host, with its header read once.
struct Request {
  ByteSpan frame;
  MacAddress destination{};
  MacAddress source{};
  std::uint16_t etherType = 0;
  std::uint8_t mmv = 0;     // vendor frames only
  std::uint16_t type = 0;   // MMTYPE, or the first entry type of a HomePlug 1.0 frame
  std::size_t payload = 0;  // offset of the first payload byte
  ByteSpan payloadBytes() const { return frame.subspan(payload); }
};

// Reads the header of a frame the simulation may answer: vendor management frames of version
// 0 or 1 with the vendor OUI, and HomePlug 1.0 frames with at least one entry. Anything else,
// or too short for its header, gives nothing.
std::optional<Request> parseRequest(ByteSpan frame);

}  // namespace quorrel::sim::wire
