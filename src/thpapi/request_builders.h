// Builders of the HomePlug AV requests that the system sends outside module transfers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"
#include "thpapi/frame_layout.h"

namespace quorrel::thpapi {

using AvKey = std::array<std::uint8_t, kKeyLength>;

// What a set-key request carries.
struct SetKeyRecord {
  AvKey networkMembershipKey{};
  std::uint8_t deviceKeySelector = kDeviceSelectorLocal;  // 0x0F local, 0 remote
  MacAddress target{};                                    // the adapter that takes the key
  AvKey deviceAccessKey{};                                // zero for the local adapter
};

// Writes the management header (version 1 when messageVersion is 4, else version 0) and
// returns its length, or 0 when the buffer cannot hold it.
std::size_t writeManagementHeader(MutableByteSpan buffer, const MacAddress& destination,
                                  const MacAddress& source, std::uint16_t type,
                                  int messageVersion = 0);

// Each builder zero-fills and writes a whole request into `buffer` and returns its length
// (64 or more), or 0 with the last error set (34 for a buffer under 64 bytes).

// 0xA000 firmware version request.
std::size_t thpapi_EncodeVersionRequest(const MacAddress& source, const MacAddress& destination,
                                        MutableByteSpan buffer);
// 0xA038 network information request; messageVersion 4 builds the version-1 header.
std::size_t thpapi_EncodeNetworkInfoRequest(const MacAddress& source, const MacAddress& destination,
                                            MutableByteSpan buffer, int messageVersion);
// 0xA050 set-key request; a selector other than 0 or 0x0F is error 22.
std::size_t thpapi_EncodeSetKeyRequest(const MacAddress& source, const MacAddress& destination,
                                       MutableByteSpan buffer, const SetKeyRecord& key);
// 0xA058 configuration block request.
std::size_t thpapi_ReadConfigurationBlock(const MacAddress& source, const MacAddress& destination,
                                          MutableByteSpan buffer);

}  // namespace quorrel::thpapi
