// The values a fresh parameter block starts from.
#pragma once

#include <string_view>

#include "paramblock/parameter_block.h"

namespace quorrel::paramblock {

inline constexpr std::string_view kDefaultManufacturerName = "Velmora HomePlug AV Device";
inline constexpr std::string_view kDefaultDeviceName = "Velmora Enabled Product";
inline constexpr std::string_view kDefaultNetworkName = "Velmora Enabled Network";
inline constexpr std::string_view kDefaultTimeZoneRule = "EST5EDT4,M4.1.0/2,M10.5.0/2";

// deriveNMK(kDefaultNetworkName): the default key belongs to the default network name, so a
// fresh block's name and key agree.
inline constexpr NetworkMembershipKey kDefaultNetworkMembershipKey{
    0x6B, 0x3B, 0x33, 0xFB, 0x14, 0x00, 0xC3, 0x75, 0xB7, 0x2F, 0xFC, 0xAC, 0x06, 0xE0, 0x84, 0xEC};
// deriveDAK(kDefaultDeviceName): a fresh block has no printed password of its own, so its
// device name stands in for one.
inline constexpr DeviceAccessKey kDefaultDeviceAccessKey{
    0x9B, 0x9C, 0x0D, 0xFD, 0x4E, 0xBA, 0xEE, 0x56, 0x3E, 0x4C, 0xF0, 0xEC, 0xDB, 0x37, 0xF7, 0x60};

}  // namespace quorrel::paramblock
