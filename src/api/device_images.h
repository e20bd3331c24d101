// Byte images of the device records as the device data file stores them, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "api/device_table.h"

namespace quorrel::api {

inline constexpr std::size_t kInterfaceDevicesSize = 16491, kRemoteDeviceSize = 509,
                             kRateStatsSize = 33;
// The 8 interface records one after the other.
inline constexpr std::size_t kDeviceTableBlockSize = kInterfaceCount * kInterfaceDevicesSize;

namespace rate_image {
inline constexpr std::size_t kFails = 0;        // u32
inline constexpr std::size_t kDrops = 4;        // u32
inline constexpr std::size_t kCurrentRate = 8;  // IEEE double
inline constexpr std::size_t kLowestRate = 16;
inline constexpr std::size_t kHighestRate = 24;
inline constexpr std::size_t kRateChanged = 32;  // u8
}  // namespace rate_image

namespace remote_image {
inline constexpr std::size_t kInUse = 0;  // u32
inline constexpr std::size_t kMac = 4;
inline constexpr std::size_t kReservedA = 10, kReservedASize = 50;
inline constexpr std::size_t kScansLeft = 60;    // i8
inline constexpr std::size_t kDeviceClass = 61;  // u32
inline constexpr std::size_t kVendorText1 = 65;
inline constexpr std::size_t kVendorText2 = 145;
inline constexpr std::size_t kFirmware = 225;
inline constexpr std::size_t kReservedB = 290, kReservedBSize = 121;
inline constexpr std::size_t kTimesSeen = 411;     // u32
inline constexpr std::size_t kScansMissed = 415;   // u32
inline constexpr std::size_t kClassChanged = 419;  // u8
inline constexpr std::size_t kRateStats = 420;
inline constexpr std::size_t kCurrentRate = kRateStats + rate_image::kCurrentRate;  // 428
inline constexpr std::size_t kNetworkKey = 453;
inline constexpr std::size_t kNetworkName = 469;
}  // namespace remote_image

namespace interface_image {
inline constexpr std::size_t kInterfaceMac = 0;
inline constexpr std::size_t kLocalPresent = 6;  // u32
inline constexpr std::size_t kLocalClass = 10;   // u32
inline constexpr std::size_t kLocalMac = 14;
inline constexpr std::size_t kReserved = 20, kReservedSize = 25;
inline constexpr std::size_t kRemotes = 45;  // kMaxRemotes entries of kRemoteDeviceSize
inline constexpr std::size_t kRateStats = 16333;
inline constexpr std::size_t kLocalFirmware = 16366;
inline constexpr std::size_t kRemoteCount = 16431;  // i32
inline constexpr std::size_t kLocalNetworkKey = 16435;
inline constexpr std::size_t kLocalNetworkName = 16451;
}  // namespace interface_image

static_assert(rate_image::kRateChanged + 1 == kRateStatsSize);
static_assert(remote_image::kNetworkName + kNetworkNameSize == kRemoteDeviceSize);
static_assert(interface_image::kRemotes + kMaxRemotes * kRemoteDeviceSize ==
              interface_image::kRateStats);
static_assert(interface_image::kLocalNetworkName + kNetworkNameSize == kInterfaceDevicesSize);

// Encoders write every byte of the image; reserved bytes are zero.
void encodeRateStats(const RateStats& in, std::span<std::uint8_t, kRateStatsSize> out);
void encodeRemoteDevice(const RemoteDevice& in, std::span<std::uint8_t, kRemoteDeviceSize> out);
void encodeInterfaceDevices(const InterfaceDevices& in,
                            std::span<std::uint8_t, kInterfaceDevicesSize> out);
void encodeDeviceTableBlock(const std::array<InterfaceDevices, kInterfaceCount>& in,
                            std::span<std::uint8_t, kDeviceTableBlockSize> out);

// Decoders take the bytes as untrusted file input: every text ends inside its field, a class
// the table does not know reads as 0, a rate no conversion can give (negative, not finite, too
// high) reads as 0, and `remoteCount` is held to 0..32.
void decodeRateStats(std::span<const std::uint8_t, kRateStatsSize> in, RateStats& out);
void decodeRemoteDevice(std::span<const std::uint8_t, kRemoteDeviceSize> in, RemoteDevice& out);
void decodeInterfaceDevices(std::span<const std::uint8_t, kInterfaceDevicesSize> in,
                            InterfaceDevices& out);
void decodeDeviceTableBlock(std::span<const std::uint8_t, kDeviceTableBlockSize> in,
                            std::array<InterfaceDevices, kInterfaceCount>& out);

}  // namespace quorrel::api
