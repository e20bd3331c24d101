// MAC address text in the form users read.
#include "platform/bytes.h"

#include <cstdio>

namespace quorrel {

std::string formatMac(const MacAddress& m) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4],
                m[5]);
  return text;
}

namespace {
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

bool parseMac(std::string_view text, MacAddress& out) {
  if (text.size() != 17) return false;
  MacAddress m{};
  for (std::size_t i = 0; i < 6; ++i) {
    const int hi = hexValue(text[i * 3]);
    const int lo = hexValue(text[i * 3 + 1]);
    if (hi < 0 || lo < 0) return false;
    if (i < 5 && text[i * 3 + 2] != ':' && text[i * 3 + 2] != '-') return false;
    m[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  out = m;
  return true;
}

}  // namespace quorrel
