// The checked view of a parameter block image: header, validation, checksum, MAC and key.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/bytes.h"

namespace quorrel::paramblock {

// Header layout; multi-byte values are little-endian.
inline constexpr std::size_t kVersionOffset = 0;   // two bytes, compared as a pair
inline constexpr std::size_t kLengthOffset = 4;    // 16-bit image length
inline constexpr std::size_t kChecksumOffset = 8;  // checksum32 of the image with this word 0
inline constexpr std::size_t kHeaderLength = 12;
inline constexpr std::size_t kMacAddressOffset = 12;
inline constexpr std::size_t kNetworkMembershipKeyOffset = 100;
inline constexpr std::size_t kNetworkMembershipKeyLength = 16;

inline constexpr std::size_t kParameterBlockLength = 15560;
// The longest image whose checksum is recomputed.
inline constexpr std::size_t kMaximumChecksumLength = 16384;

struct BlockVersion {
  std::uint8_t first;
  std::uint8_t second;
  friend constexpr auto operator<=>(const BlockVersion&, const BlockVersion&) = default;
};

// The only layout that validation examines.
inline constexpr BlockVersion kParameterBlockVersion{4, 4};
// The oldest image whose MAC address and keys the accessors touch.
inline constexpr BlockVersion kMinimumFieldVersion{1, 4};
// Addresses the adapters answer at themselves; never a device's own address.
inline constexpr std::array<MacAddress, 3> kReservedMacAddresses{{
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x01},
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x02},
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x03},
}};

using NetworkMembershipKey = std::array<std::uint8_t, kNetworkMembershipKeyLength>;

enum class ParameterBlockResult : int {
  kSuccess = 0,
  kRegionInvalid = 2,  // a configuration region failed its checks
  kWrongVersion = 3,   // not kParameterBlockVersion; nothing further was checked
  kNotValidated = 4,   // field accessors: the image has not been validated
  kNoImage = 5,
  kVersionTooOld = 6,  // below kMinimumFieldVersion (field accessors: not the layout version)
  kBadLength = 7,      // length field wrong or beyond the buffer, or too long to checksum
  kInvalidValue = 8,   // a group or reserved MAC address; a value out of its range
  kChecksumMismatch = 9,
  kListFull = 10,
  kRegionDisabled = 11,
  kIndexBeyondCount = 12,
};

inline constexpr int toInt(ParameterBlockResult r) {
  return static_cast<int>(r);
}

// A view of one caller-owned image. The view never owns or frees the bytes and never touches a
// byte outside the span it was given, whatever the image's own length field claims.
class ParameterBlock {
 public:
  // Keeps the view on `image` (a null span detaches) and validates it.
  ParameterBlockResult attachImage(MutableByteSpan image);
  // Header and region checks: 0 valid, 2 a region failed, 3 another version (nothing else
  // checked), 5 no image, 7 length field not kParameterBlockLength or the buffer too short.
  ParameterBlockResult validateImage();
  // Attaches and validates `image`, then rewrites its checksum over the length its header
  // states. Returns the validation result (0, 2 or 3) once the checksum is written; 5 or 7
  // from validation leave the image untouched; a stated length past 16384 bytes or past the
  // buffer gives 7 with the checksum field left 0.
  ParameterBlockResult updateChecksum(MutableByteSpan image);
  // Writes the device's MAC address at offset 12; the checksum is not renewed.
  ParameterBlockResult setMacAddress(const MacAddress& mac);
  // Copies the 16-byte network membership key at offset 100.
  ParameterBlockResult getNetworkMembershipKey(std::span<std::uint8_t, 16> key) const;

  bool validated() const { return validated_; }
  MutableByteSpan image() const { return image_; }
  BlockVersion version() const;

 private:
  // 5 without image, 7 when the buffer cannot hold `bytes` bytes, 6 below the field version.
  ParameterBlockResult checkFieldAccess(std::size_t bytes) const;

  MutableByteSpan image_{};
  bool validated_ = false;
};

// True for addresses that may not be written as a device's own: group or reserved.
bool isRefusedDeviceMac(const MacAddress& mac);

}  // namespace quorrel::paramblock
