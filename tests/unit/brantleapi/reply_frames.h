// Adapter replies as byte vectors, for the HomePlug 1.0 decoder and poll tests.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::brantleapi::testing {

inline const MacAddress kTestHost{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
inline const MacAddress kTestLocal{0x00, 0x04, 0x87, 0x00, 0x00, 0x01};
inline const MacAddress kTestRemote{0x00, 0x04, 0x87, 0x00, 0x00, 0x02};

// A frame of `size` zero bytes with the addresses, ethertype, one entry's type and length.
inline std::vector<std::uint8_t> replyFrame(const MacAddress& src, const MacAddress& dst,
                                            std::uint8_t type, std::uint8_t length,
                                            std::size_t size = 60) {
  std::vector<std::uint8_t> f(size);
  writeMac(f, 0, dst);
  writeMac(f, 6, src);
  writeBe16(f, 12, 0x887B);
  writeU8(f, 14, 1);
  writeU8(f, 15, type);
  writeU8(f, 16, length);
  return f;
}

inline void putText(std::vector<std::uint8_t>& f, std::size_t at, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    writeU8(f, at + i, static_cast<std::uint8_t>(text[i]));
}

// Identity reply: version bytes 23..25, two counted texts from byte 26.
inline std::vector<std::uint8_t> identityReply(const MacAddress& src, bool remote,
                                               std::uint8_t kind, std::uint8_t major,
                                               std::uint8_t minor, std::string_view text1,
                                               std::string_view text2) {
  const std::size_t size = std::max<std::size_t>(60, 28 + text1.size() + text2.size());
  auto f = replyFrame(src, kTestHost, 0x02,
                      static_cast<std::uint8_t>(std::min<std::size_t>(255, size - 17)), size);
  putText(f, 17, std::string_view("\x00\x04\x87\x90", 4));
  f[21] = remote ? 1 : 0;
  f[23] = kind;
  f[24] = major;
  f[25] = minor;
  f[26] = static_cast<std::uint8_t>(text1.size());
  putText(f, 27, text1);
  f[27 + text1.size()] = static_cast<std::uint8_t>(text2.size());
  putText(f, 28 + text1.size(), text2);
  return f;
}

struct StationRate {
  MacAddress mac;
  std::uint16_t raw;
};

// Statistics reply whose length byte is `length`, with the stations from byte 21.
inline std::vector<std::uint8_t> statisticsReply(const MacAddress& src, std::uint8_t length,
                                                 const std::vector<StationRate>& stations,
                                                 std::size_t size = 0) {
  if (size == 0) size = std::max<std::size_t>(60, 17 + std::size_t{length} + 1);
  auto f = replyFrame(src, kTestHost, 0x02, length, size);
  putText(f, 17, std::string_view("\x00\x04\x87\x98", 4));
  for (std::size_t k = 0; k < stations.size(); ++k) {
    writeMac(f, 21 + 14 * k, stations[k].mac);
    writeBe16(f, 21 + 14 * k + 6, stations[k].raw);
  }
  return f;
}

inline std::vector<std::uint8_t> firmwareReply(const MacAddress& src, std::string_view text,
                                               std::uint8_t length) {
  auto f = replyFrame(src, kTestHost, 0x13, length, std::max<std::size_t>(60, 18 + text.size()));
  f[17] = 0x20;
  putText(f, 18, text);
  return f;
}

inline std::vector<std::uint8_t> networkKeyReply(const MacAddress& src,
                                                 const std::array<std::uint8_t, 8>& key) {
  auto f = replyFrame(src, kTestHost, 0x13, 10);
  f[17] = 0x21;
  writeBytes(f, 19, key);
  return f;
}

inline std::vector<std::uint8_t> localParametersReply(const MacAddress& src, std::uint8_t selector,
                                                      const std::array<std::uint8_t, 50>& p) {
  auto f = replyFrame(src, kBroadcastMac, 0x19, 0x33, 70);
  f[17] = selector;
  writeBytes(f, 18, p);
  return f;
}

}  // namespace quorrel::brantleapi::testing
