// The decoded form of one received HomePlug AV frame, and the layout of its data per type.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// A version confirmation (0xA001): the device identifier and the firmware text up to its
// first zero byte, never longer than the 64-byte field or the bytes received.
struct VersionInfo {
  std::uint8_t deviceId = 0;
  std::string text;
};

// One station of the first network of a network information confirmation (0xA039).
struct StationEntry {
  MacAddress mac{};
  std::uint16_t rate = 0;  // 8-bit raw rate for version 0, 16-bit for version 1
};

// The fields of a module transfer confirmation (0xA005, 0xA021, 0xA025). A read confirmation's
// piece bytes, as far as the frame held them, stand at the start of `data`.
struct TransferFields {
  std::uint8_t module = 0;
  std::uint32_t length = 0;  // confirmed piece length
  std::uint32_t offset = 0;  // confirmed offset, or the memory address of 0xA005
  std::uint32_t checksum = 0;
  std::uint32_t held = 0;  // piece bytes the frame really carried
  bool last = false;       // set by the transfer when it accepts the last piece
};

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
  VersionInfo version;                 // 0xA001
  std::vector<StationEntry> stations;  // 0xA039: the first network's, as far as received
  TransferFields transfer;             // 0xA005, 0xA021, 0xA025
  std::uint8_t hostActionCode = 0;     // 0xA062

  ByteSpan bytes() const { return ByteSpan(data).first(dataLength); }
};

// data of a 0xA039 network information confirmation: the network count, then the records as
// received (only as many bytes as the frame held; the rest is zero).
inline constexpr std::size_t kNetworkCountIn = 0;
inline constexpr std::size_t kNetworkRecordsIn = 1;
inline constexpr std::size_t kNetworkRecordsMaxV0 = 1507;
inline constexpr std::size_t kNetworkRecordsMaxV1 = 1501;

// data of a 0xA059 configuration block confirmation: status, length, the block as received.
inline constexpr std::size_t kConfigStatusIn = 0;
inline constexpr std::size_t kConfigLengthIn = 1;
inline constexpr std::size_t kConfigBlockIn = 2;
inline constexpr std::size_t kConfigBlockMax = 1504;

}  // namespace quorrel::thpapi
