// PBKDF1 with SHA-256 for HomePlug AV and with MD5 for HomePlug 1.0, salts and counts fixed by
// the HomePlug standards.
#include "crypto/keys.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "crypto/random.h"

namespace quorrel::crypto {

namespace {

ByteSpan bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

Key avKey(std::string_view text, const Salt& salt) {
  const Sha256Digest digest = pbkdf1Sha256(bytesOf(text), salt, kAvIterations);
  Key key{};
  std::copy_n(digest.begin(), key.size(), key.begin());
  return key;
}

// Bits 1-7 stay; bit 0 makes the count of set bits odd.
std::uint8_t withOddParity(std::uint8_t b) {
  const auto high = static_cast<std::uint8_t>(b & 0xFE);
  return static_cast<std::uint8_t>(high | (std::popcount(high) % 2 == 0 ? 1 : 0));
}

// A broken source that keeps drawing the default key must not hang the caller; a real one
// repeats it with probability 2^-64.
constexpr int kMaxDraws = 16;

}  // namespace

Key deriveNMK(std::string_view networkName) {
  return avKey(networkName, kNmkSalt);
}

Key deriveDAK(std::string_view devicePassword) {
  return avKey(devicePassword, kDakSalt);
}

Key deriveNEK(std::string_view text) {
  Key key = pbkdf1Md5(bytesOf(text), kHp1Salt, kHp1Iterations);
  for (std::size_t i = 0; i < kHp1KeyWidth; ++i) key[i] = withOddParity(key[i]);
  return key;
}

Sha256Digest deriveNID(const Key& nmk) {
  return pbkdf1Sha256(nmk, {}, kNidIterations);
}

Key networkKeyFromPassword(std::string_view networkName, DeviceFamily family) {
  return family == DeviceFamily::HomePlugAV ? deriveNMK(networkName) : deriveNEK(networkName);
}

Key deviceKeyFromPassword(std::string_view devicePassword, DeviceFamily family) {
  return family == DeviceFamily::HomePlugAV ? deriveDAK(devicePassword) : deriveNEK(devicePassword);
}

std::size_t copyKey(MutableByteSpan destination, ByteSpan source, DeviceFamily family) {
  const std::size_t n = std::min({keyWidth(family), destination.size(), source.size()});
  if (n > 0) std::memmove(destination.data(), source.data(), n);
  return n;
}

std::optional<Key> makeRandomNetworkKey(DeviceFamily family) {
  const Key defaultKey = family == DeviceFamily::HomePlugAV ? deriveNMK(kDefaultAvNetworkPassword)
                                                            : deriveNEK(kDefaultHp1NetworkPassword);
  const std::size_t width = family == DeviceFamily::Turbo ? kHp1KeyWidth : kAvKeyWidth;
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    Key key{};
    if (!fillRandom(MutableByteSpan(key).first(width))) return std::nullopt;
    if (!std::equal(key.begin(), key.begin() + kHp1KeyWidth, defaultKey.begin())) return key;
  }
  return std::nullopt;
}

}  // namespace quorrel::crypto
