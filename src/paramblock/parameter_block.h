// The checked view of a parameter block image: header, validation, checksum, MAC and key.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "paramblock/field_map.h"
#include "platform/bytes.h"

namespace quorrel::paramblock {

// Header layout; multi-byte values are little-endian.
inline constexpr std::size_t kVersionOffset = 0;   // two bytes, compared as a pair
inline constexpr std::size_t kLengthOffset = 4;    // 16-bit image length
inline constexpr std::size_t kChecksumOffset = 8;  // checksum32 of the image with this word 0
inline constexpr std::size_t kHeaderLength = 12;
inline constexpr std::size_t kMacAddressOffset = field::kMacAddress.offset;
inline constexpr std::size_t kNetworkMembershipKeyOffset = field::kNetworkMembershipKey.offset;
inline constexpr std::size_t kNetworkMembershipKeyLength = field::kNetworkMembershipKey.size;

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
// The oldest image that carries the identity settings and the network identifier.
inline constexpr BlockVersion kMinimumSettingsVersion{4, 1};
// Addresses the adapters answer at themselves; never a device's own address.
inline constexpr std::array<MacAddress, 3> kReservedMacAddresses{{
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x01},
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x02},
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x03},
}};

using NetworkMembershipKey = std::array<std::uint8_t, kNetworkMembershipKeyLength>;
using DeviceAccessKey = std::array<std::uint8_t, 16>;
using NetworkIdentifier = std::array<std::uint8_t, 7>;

// The security levels a network identifier may carry.
inline constexpr std::uint8_t kMaximumSecurityLevel = 1;

// One serial port's settings, as 8 bytes: speed, data bits, parity, stop bits, flow control.
struct SerialPortSetting {
  std::uint32_t speed = 115200;
  std::uint8_t dataBits = 8;
  std::uint8_t parity = 0;
  std::uint8_t stopBits = 1;
  std::uint8_t flowControl = 0;
};
inline constexpr std::size_t kSerialPortCount = field::kSerialPorts.capacity;

struct ParameterRegion;

enum class ParameterBlockResult : int {
  kSuccess = 0,
  kRegionInvalid = 2,  // a configuration region failed its checks
  kWrongVersion = 3,   // not kParameterBlockVersion; nothing further was checked
  kNotValidated = 4,   // field accessors: the image has not been validated
  kNoImage = 5,
  kVersionTooOld = 6,     // below kMinimumFieldVersion (field accessors: not the layout version)
  kBadLength = 7,         // length field wrong or beyond the buffer, or too long to checksum
  kInvalidValue = 8,      // a group or reserved MAC address; a value out of its range
  kChecksumMismatch = 9,  // a checksum given with a region does not match it
  kListFull = 10,
  kRegionDisabled = 11,    // the region's enable byte is not 1
  kIndexBeyondCount = 12,  // the index lies beyond the list's count
};

// A short English reason for a result, for people reading a refusal.
std::string_view describe(ParameterBlockResult r);

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

  // Identity accessors: 5 without image, 6 below kMinimumFieldVersion, 8 for a value out of
  // range, else the field is written (the checksum is not renewed). Names are texts of at most
  // 63 bytes without a zero byte, so that the field keeps its terminator.
  ParameterBlockResult setDeviceAccessKey(const DeviceAccessKey& key);
  ParameterBlockResult setManufacturerName(std::string_view name);
  // Stores the key and the network identifier derived from it with `level` (0 or 1) in its
  // upper four bits.
  ParameterBlockResult setNetworkMembershipKey(const NetworkMembershipKey& key, int level);
  ParameterBlockResult setUserDeviceName(std::string_view name);
  ParameterBlockResult setNetworkName(std::string_view name);
  // The switch is stored as 0 or 1; a group address is refused while it is on.
  ParameterBlockResult setAddressSwitch(bool on, const MacAddress& address);
  // The small identity settings (the three enumerations, the flags byte and the switch with
  // its setting) and the network identifier exist from kMinimumSettingsVersion on.
  ParameterBlockResult setIdentitySetting(const Field& f, std::uint32_t value);
  ParameterBlockResult getNetworkIdentifier(NetworkIdentifier& nid) const;

  // Configuration accessors, for the number, byte and text fields of the configuration
  // regions: 5 without image, 6 unless version (4, 4), 7 unless the length is 15560, 4 unless
  // validated, 11 when the field's enable byte is not 1, 8 out of range or not such a field.
  ParameterBlockResult readField(const Field& f, std::uint32_t& value) const;
  ParameterBlockResult writeField(const Field& f, std::uint32_t value);
  // A byte field's exact bytes, or a text (shorter than the field) zero-padded.
  ParameterBlockResult writeBytesField(const Field& f, ByteSpan bytes);
  ParameterBlockResult writeTextField(const Field& f, std::string_view text);
  // `index` below 3 (else 12); each value in its range (8).
  ParameterBlockResult setSerialPort(std::size_t index, const SerialPortSetting& port);

  // The station list: enable clears the region and writes its defaults; clear disables it.
  // Every other operation gives 11 while the list is off.
  ParameterBlockResult enableStationsWithDefaults();
  ParameterBlockResult clearStations();
  ParameterBlockResult setStationsSetting(std::uint8_t setting);
  ParameterBlockResult setStationsAddress(const MacAddress& address);
  // Lists: add appends at the count (10 when full), replace takes an index below the count
  // (12); an entry that breaks its rule, or is not exactly an entry long, gives 8.
  ParameterBlockResult addStation(ByteSpan entry);
  ParameterBlockResult replaceStation(std::size_t index, ByteSpan entry);
  ParameterBlockResult addClassifier(ByteSpan entry);
  ParameterBlockResult replaceClassifier(std::size_t index, ByteSpan entry);
  ParameterBlockResult replaceCarrier(std::size_t index, ByteSpan entry);

  // Loads a caller's copy of a region's used bytes (or of the whole image) whose first
  // used/4 words have checksum32 `checksum`: header check (an image not yet validated is
  // accepted), 8 when the copy is the wrong size or breaks the region's rule, 9 when the
  // checksum differs; then the copy replaces the region and the image is validated again.
  // A refused load leaves the image unchanged.
  ParameterBlockResult loadRegion(const ParameterRegion& region, ByteSpan copy,
                                  std::uint32_t checksum);
  ParameterBlockResult loadImage(ByteSpan copy, std::uint32_t checksum);

  // Clears the first 15560 bytes of `image`, writes the header and the defaults of every
  // region and keeps the view on it; the checksum is left 0 for updateChecksum.
  ParameterBlockResult resetToDefaults(MutableByteSpan image);

  bool validated() const { return validated_; }
  MutableByteSpan image() const { return image_; }
  BlockVersion version() const;

 private:
  // 5 without image, 7 when the buffer cannot hold `bytes` bytes, 6 below `oldest`.
  ParameterBlockResult checkFieldAccess(std::size_t bytes,
                                        BlockVersion oldest = kMinimumFieldVersion) const;
  // The configuration accessors' header check; `allowUnvalidated` skips the 4.
  ParameterBlockResult checkConfigAccess(bool allowUnvalidated = false) const;
  // checkConfigAccess, then 8 unless `f` lies inside a configuration region, then 11 when its
  // enable byte is not 1.
  ParameterBlockResult checkConfigField(const Field& f) const;
  ParameterBlockResult writeIdentityText(const Field& f, std::string_view text);
  ParameterBlockResult writeIdentityBytes(const Field& f, ByteSpan bytes);
  // checkConfigField of the list's count, then 11 when the list's region is off; `count` is
  // the list's count when the list may be changed.
  ParameterBlockResult changeableListCount(const ListLayout& list, std::uint32_t& count) const;
  ParameterBlockResult addListEntry(const ListLayout& list, ByteSpan entry,
                                    bool (*check)(ByteSpan entry));
  ParameterBlockResult replaceListEntry(const ListLayout& list, std::size_t index, ByteSpan entry,
                                        bool (*check)(ByteSpan entry));

  MutableByteSpan image_{};
  bool validated_ = false;
};

// True for addresses that may not be written as a device's own: group or reserved.
bool isRefusedDeviceMac(const MacAddress& mac);

}  // namespace quorrel::paramblock
