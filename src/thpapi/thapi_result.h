// The decoded form of one received HomePlug AV frame, and the layout of its data per type.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"

namespace quorrel::thpapi {

// Operation codes carried in ThapiResult::operation.
inline constexpr std::uint32_t THAPI_NONE = 0;
inline constexpr std::uint32_t THAPI_LINK_STATISTICS = 1;
inline constexpr std::uint32_t THAPI_MANUFACTURER_TEXT = 2;
inline constexpr std::uint32_t THAPI_NETWORK_INFO = 3;
inline constexpr std::uint32_t THAPI_GETVERSION = 4;
inline constexpr std::uint32_t THAPI_RESET = 5;
inline constexpr std::uint32_t THAPI_HOST_ACTION = 6;
inline constexpr std::uint32_t THAPI_WRITE_MODULES = 7;
inline constexpr std::uint32_t THAPI_SET_KEY = 8;
inline constexpr std::uint32_t THAPI_READ_MODULES = 9;
inline constexpr std::uint32_t THAPI_REPORT_71 = 10;
inline constexpr std::uint32_t THAPI_STATUS_6D = 11;
inline constexpr std::uint32_t THAPI_STATUS_5D = 12;
inline constexpr std::uint32_t THAPI_STATUS_7D = 13;
inline constexpr std::uint32_t THAPI_REPORT_91 = 14;
inline constexpr std::uint32_t THAPI_STATUS_95 = 15;
inline constexpr std::uint32_t THAPI_CONFIG_BLOCK = 16;

// ThapiResult::phase values.
inline constexpr std::uint32_t kPhaseNone = 0;
inline constexpr std::uint32_t kPhaseContinues = 1;  // a frame waits to be sent
inline constexpr std::uint32_t kPhaseFinished = 2;

inline constexpr std::uint16_t kNoMessageType = 0xFFFF;
inline constexpr std::size_t kResultDataSize = 1513;

// Cleared before every decode; `status` holds this layer's error number when a decode fails.
struct ThapiResult {
  std::uint32_t operation = THAPI_NONE;
  std::uint32_t phase = kPhaseNone;
  std::uint16_t mmtype = kNoMessageType;
  std::uint8_t status = 0;
  MacAddress destination{};
  MacAddress source{};
  std::uint8_t dataValid = 0;
  std::uint32_t dataLength = 0;
  std::array<std::uint8_t, kResultDataSize> data{};

  ByteSpan bytes() const { return ByteSpan(data).first(dataLength); }
};

// data of a 0xA001 version confirmation.
inline constexpr std::size_t kVersionDeviceIdIn = 0;
inline constexpr std::size_t kVersionTextLengthIn = 1;
inline constexpr std::size_t kVersionTextIn = 2;
inline constexpr std::uint32_t kVersionDataLength = 67;

// data of a 0xA039 network information confirmation: the network count, then the records as
// received (only as many bytes as the frame held; the rest is zero).
inline constexpr std::size_t kNetworkCountIn = 0;
inline constexpr std::size_t kNetworkRecordsIn = 1;
inline constexpr std::size_t kNetworkRecordsMaxV0 = 1507;
inline constexpr std::size_t kNetworkRecordsMaxV1 = 1501;

// data of a 0xA025 read-module confirmation. The confirmed offset stands after the room of
// the longest piece, so a collector can place each accepted piece where it belongs.
inline constexpr std::size_t kPieceModuleIn = 0;  // 32-bit
inline constexpr std::size_t kPieceLastIn = 4;    // 1 on the last piece of the transfer
inline constexpr std::size_t kPieceLengthIn = 5;  // 32-bit
inline constexpr std::size_t kPieceBytesIn = 9;
inline constexpr std::size_t kPieceOffsetIn = kPieceBytesIn + 1024;  // 32-bit

// data of a 0xA059 configuration block confirmation: status, length, the block as received.
inline constexpr std::size_t kConfigStatusIn = 0;
inline constexpr std::size_t kConfigLengthIn = 1;
inline constexpr std::size_t kConfigBlockIn = 2;
inline constexpr std::size_t kConfigBlockMax = 1504;

// data of a 0xA062 host action indication: the requested action code (32-bit).
inline constexpr std::size_t kHostActionCodeIn = 0;

}  // namespace quorrel::thpapi
