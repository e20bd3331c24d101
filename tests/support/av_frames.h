// Hand-built HomePlug AV frames for tests: bytes written at literal offsets, independent of
// the code under test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr MacAddress kHostMac{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
inline constexpr MacAddress kAdapterMac{0x00, 0xB0, 0x52, 0xAA, 0xBB, 0xCC};

inline void put(Bytes& f, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
  if (f.size() < at + bytes.size()) f.resize(at + bytes.size());
  std::copy(bytes.begin(), bytes.end(), f.begin() + at);
}
inline void putLe16(Bytes& f, std::size_t at, std::uint32_t v) {
  put(f, at, {std::uint8_t(v), std::uint8_t(v >> 8)});
}
inline void putLe32(Bytes& f, std::size_t at, std::uint32_t v) {
  put(f, at, {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
}
inline void putMac(Bytes& f, std::size_t at, const MacAddress& m) {
  put(f, at, {m[0], m[1], m[2], m[3], m[4], m[5]});
}
inline Bytes with(Bytes f, std::size_t at, std::uint8_t value) {
  f[at] = value;
  return f;
}

// A frame of `length` bytes with a version-0 header: 88 E1, MMV 0, type, OUI 00 B0 52.
inline Bytes avFrame(std::uint16_t type, std::size_t length, const MacAddress& from = kAdapterMac,
                     const MacAddress& to = kHostMac) {
  Bytes f(20, 0);
  putMac(f, 0, to);
  putMac(f, 6, from);
  put(f, 12, {0x88, 0xE1, 0x00, std::uint8_t(type), std::uint8_t(type >> 8), 0x00, 0xB0, 0x52});
  f.resize(length);
  return f;
}

// A request from the host to the adapter: `fields` from byte 20, zeros to 64 bytes.
inline Bytes request(std::uint16_t type, std::initializer_list<std::uint8_t> fields = {}) {
  Bytes f = avFrame(type, 64, kHostMac, kAdapterMac);
  put(f, 20, fields);
  return f;
}

// The same with a version-1 header: MMV 1, fragment 0 0, OUI at 19, four zeros.
inline Bytes avFrameV1(std::uint16_t type, std::size_t length, const MacAddress& from = kAdapterMac,
                       const MacAddress& to = kHostMac) {
  Bytes f = avFrame(type, 20, from, to);
  put(f, 14,
      {0x01, std::uint8_t(type), std::uint8_t(type >> 8), 0, 0, 0x00, 0xB0, 0x52, 0, 0, 0, 0});
  f.resize(length);
  return f;
}

// Independent reference of the block checksum: ~(xor of little-endian words).
inline std::uint32_t referenceChecksum(const Bytes& b, std::size_t from, std::size_t length) {
  std::uint32_t x = 0;
  for (std::size_t a = from; a + 4 <= from + length; a += 4)
    x ^= std::uint32_t(b[a]) | std::uint32_t(b[a + 1]) << 8 | std::uint32_t(b[a + 2]) << 16 |
         std::uint32_t(b[a + 3]) << 24;
  return ~x;
}

// 0xA001 with status 0, device identifier and version text.
inline Bytes versionConfirm(std::uint8_t deviceId, const char* text,
                            const MacAddress& from = kAdapterMac) {
  Bytes f = avFrame(0xA001, 88, from);
  f[21] = deviceId;
  std::size_t n = 0;
  for (; text[n] != 0 && n < 64; ++n) f[23 + n] = std::uint8_t(text[n]);
  f[22] = std::uint8_t(n);
  return f;
}

// 0xA025 carrying `piece` of module `module` at `offset`, with its correct checksum.
inline Bytes readConfirm(std::uint8_t module, std::uint32_t offset, const Bytes& piece) {
  Bytes f = avFrame(0xA025, std::max<std::size_t>(60, 36 + piece.size()));
  f[24] = module;
  putLe16(f, 26, std::uint32_t(piece.size()));
  putLe32(f, 28, offset);
  std::copy(piece.begin(), piece.end(), f.begin() + 36);
  putLe32(f, 32, referenceChecksum(f, 36, piece.size()));
  return f;
}

// 0xA021 for a piece of module `module`.
inline Bytes writeConfirm(std::uint8_t module, std::uint32_t length, std::uint32_t offset,
                          std::uint8_t status = 0) {
  Bytes f = avFrame(0xA021, 60);
  put(f, 20, {status, module});
  putLe16(f, 23, length);
  putLe32(f, 25, offset);
  return f;
}

// A status-only confirmation (commit, start, set key ...).
inline Bytes statusConfirm(std::uint16_t type, std::uint8_t status = 0) {
  Bytes f = avFrame(type, 60);
  f[20] = status;
  return f;
}

// A 44-byte image header whose eleventh word makes the words xor to 0xFFFFFFFF.
inline Bytes imageHeader(std::uint32_t loadAddress, std::uint32_t imageLength,
                         std::uint32_t nextHeader) {
  Bytes h(44, 0);
  putLe32(h, 0, 1);
  putLe32(h, 8, loadAddress);
  putLe32(h, 12, imageLength);
  putLe32(h, 36, nextHeader);
  putLe32(h, 40, referenceChecksum(h, 0, 40));
  return h;
}

}  // namespace quorrel::testing
