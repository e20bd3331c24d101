// Keys from typed text: the HomePlug AV network membership and device access keys, the
// HomePlug 1.0/Turbo 8-byte key, the network identifier digest, and random network keys.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "crypto/digest.h"
#include "platform/bytes.h"

namespace quorrel::crypto {

// Which adapters the computer currently talks to; it decides key widths and recipes.
enum class DeviceFamily { HomePlugAV, Turbo, HomePlug1 };

// A Turbo local device is never an AV one, so that flag decides first.
constexpr DeviceFamily familyFromFlags(bool avLocal, bool turboLocal) {
  if (turboLocal) return DeviceFamily::Turbo;
  return avLocal ? DeviceFamily::HomePlugAV : DeviceFamily::HomePlug1;
}

inline constexpr std::size_t kAvKeyWidth = 16;
inline constexpr std::size_t kHp1KeyWidth = 8;

// Every key lives in 16 bytes; HomePlug 1.0 and Turbo use the first 8 of them.
using Key = std::array<std::uint8_t, kAvKeyWidth>;
using Salt = std::array<std::uint8_t, 8>;

constexpr std::size_t keyWidth(DeviceFamily family) {
  return family == DeviceFamily::HomePlugAV ? kAvKeyWidth : kHp1KeyWidth;
}

inline constexpr Salt kNmkSalt{0x08, 0x85, 0x6D, 0xAF, 0x7C, 0xF5, 0x81, 0x86};
inline constexpr Salt kDakSalt{0x08, 0x85, 0x6D, 0xAF, 0x7C, 0xF5, 0x81, 0x85};
// HomePlug 1.0 salts network names and device passwords alike, with the DAK's bytes.
inline constexpr Salt kHp1Salt = kDakSalt;

inline constexpr char kDefaultAvNetworkPassword[] = "HomePlugAV";
inline constexpr char kDefaultHp1NetworkPassword[] = "HomePlug";

inline constexpr int kAvIterations = 1000;
inline constexpr int kHp1Iterations = 1000;
inline constexpr int kNidIterations = 5;

// The text is hashed exactly as given, every byte of it: no trimming, folding or terminator.
Key deriveNMK(std::string_view networkName);
Key deriveDAK(std::string_view devicePassword);
// Bytes 0-7 are the key, each with DES odd parity; bytes 8-15 are the unadjusted rest of the
// digest and are never key material.
Key deriveNEK(std::string_view text);
// The parameter block takes its network identifier from the first 7 bytes.
Sha256Digest deriveNID(const Key& nmk);

// deriveNMK / deriveDAK for HomePlug AV, deriveNEK for HomePlug 1.0 and Turbo.
Key networkKeyFromPassword(std::string_view networkName, DeviceFamily family);
Key deviceKeyFromPassword(std::string_view devicePassword, DeviceFamily family);

// Copies keyWidth(family) bytes, fewer if either side is shorter; returns the count copied.
// The two may overlap.
std::size_t copyKey(MutableByteSpan destination, ByteSpan source, DeviceFamily family);

// A fresh key from the OS generator whose first 8 bytes never equal those of the family's
// default network key: 8 random bytes (the rest zero) for Turbo, 16 otherwise. Empty only if
// the generator fails, and then no key must be set.
std::optional<Key> makeRandomNetworkKey(DeviceFamily family);

}  // namespace quorrel::crypto
