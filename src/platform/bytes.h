// Bounds-checked little- and big-endian reads and writes over byte spans.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace quorrel {

using MacAddress = std::array<std::uint8_t, 6>;
using ByteSpan = std::span<const std::uint8_t>;
using MutableByteSpan = std::span<std::uint8_t>;

inline constexpr MacAddress kNoMac{};
inline constexpr MacAddress kBroadcastMac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// The address at which a HomePlug AV adapter answers the host attached to it.
inline constexpr MacAddress kLocalDeviceMac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x01};

inline bool isZeroMac(const MacAddress& m) { return m == kNoMac; }
inline bool isGroupMac(const MacAddress& m) { return (m[0] & 0x01) != 0; }

// Six pairs of upper-case hex digits separated by colons.
std::string formatMac(const MacAddress& m);
// Accepts "AA:BB:CC:DD:EE:FF" or "AA-BB-..." in either case; false on anything else.
bool parseMac(std::string_view text, MacAddress& out);

// Readers return 0 for any byte outside the span; callers check lengths first, this keeps a
// missed check from ever reading out of bounds.
inline std::uint8_t readU8(ByteSpan b, std::size_t at) { return at < b.size() ? b[at] : 0; }
inline std::uint16_t readLe16(ByteSpan b, std::size_t at) {
  return static_cast<std::uint16_t>(readU8(b, at) | (readU8(b, at + 1) << 8));
}
inline std::uint16_t readBe16(ByteSpan b, std::size_t at) {
  return static_cast<std::uint16_t>((readU8(b, at) << 8) | readU8(b, at + 1));
}
inline std::uint32_t readLe32(ByteSpan b, std::size_t at) {
  return std::uint32_t{readLe16(b, at)} | (std::uint32_t{readLe16(b, at + 2)} << 16);
}
inline std::uint32_t readBe32(ByteSpan b, std::size_t at) {
  return (std::uint32_t{readBe16(b, at)} << 16) | std::uint32_t{readBe16(b, at + 2)};
}
inline std::uint64_t readLe64(ByteSpan b, std::size_t at) {
  return std::uint64_t{readLe32(b, at)} | (std::uint64_t{readLe32(b, at + 4)} << 32);
}
inline MacAddress readMac(ByteSpan b, std::size_t at) {
  MacAddress m{};
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = readU8(b, at + i);
  return m;
}

// Writers drop any byte that would fall outside the span.
inline void writeU8(MutableByteSpan b, std::size_t at, std::uint8_t v) {
  if (at < b.size()) b[at] = v;
}
inline void writeLe16(MutableByteSpan b, std::size_t at, std::uint16_t v) {
  writeU8(b, at, static_cast<std::uint8_t>(v));
  writeU8(b, at + 1, static_cast<std::uint8_t>(v >> 8));
}
inline void writeBe16(MutableByteSpan b, std::size_t at, std::uint16_t v) {
  writeU8(b, at, static_cast<std::uint8_t>(v >> 8));
  writeU8(b, at + 1, static_cast<std::uint8_t>(v));
}
inline void writeLe32(MutableByteSpan b, std::size_t at, std::uint32_t v) {
  writeLe16(b, at, static_cast<std::uint16_t>(v));
  writeLe16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void writeLe64(MutableByteSpan b, std::size_t at, std::uint64_t v) {
  writeLe32(b, at, static_cast<std::uint32_t>(v));
  writeLe32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void writeBe32(MutableByteSpan b, std::size_t at, std::uint32_t v) {
  writeBe16(b, at, static_cast<std::uint16_t>(v >> 16));
  writeBe16(b, at + 2, static_cast<std::uint16_t>(v));
}
inline void writeBytes(MutableByteSpan b, std::size_t at, ByteSpan src) {
  for (std::size_t i = 0; i < src.size(); ++i) writeU8(b, at + i, src[i]);
}
inline void writeMac(MutableByteSpan b, std::size_t at, const MacAddress& m) {
  writeBytes(b, at, ByteSpan(m));
}

// Copies a zero-terminated text of at most `fieldSize - 1` bytes into a field, zero-filling
// the rest, so the field always ends in a terminator.
inline void writeText(MutableByteSpan b, std::size_t at, std::size_t fieldSize,
                      std::string_view text) {
  if (fieldSize == 0) return;
  for (std::size_t i = 0; i < fieldSize; ++i) {
    const bool inText = i + 1 < fieldSize && i < text.size();
    writeU8(b, at + i, inText ? static_cast<std::uint8_t>(text[i]) : 0);
  }
}
// Reads a text field up to its first zero byte or its end, never past either.
inline std::string readText(ByteSpan b, std::size_t at, std::size_t fieldSize) {
  std::string s;
  for (std::size_t i = 0; i < fieldSize && at + i < b.size(); ++i) {
    const std::uint8_t c = b[at + i];
    if (c == 0) break;
    s.push_back(static_cast<char>(c));
  }
  return s;
}

}  // namespace quorrel
