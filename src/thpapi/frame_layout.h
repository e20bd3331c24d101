// Byte layout of HomePlug AV vendor management frames: headers, message types, field offsets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "transport/ethertypes.h"

namespace quorrel::thpapi {

// Ethernet part, common to both header versions.
inline constexpr std::size_t kDestinationAt = 0;
inline constexpr std::size_t kSourceAt = 6;
inline constexpr std::size_t kEtherTypeAt = transport::kEtherTypeOffset;
inline constexpr std::size_t kEthernetHeaderLength = 14;

// Management header, message version 0: payload from byte 20.
inline constexpr std::size_t kMmvAt = 14;
inline constexpr std::size_t kMmtypeAt = 15;
inline constexpr std::size_t kOuiAtV0 = 17;
inline constexpr std::size_t kHeaderLengthV0 = 20;
inline constexpr std::uint8_t kMmvV0 = 0x00;

// Management header, message version 1: fragment word, OUI, four zero bytes; payload from 26.
inline constexpr std::size_t kFragmentAtV1 = 17;
inline constexpr std::size_t kOuiAtV1 = 19;
inline constexpr std::size_t kHeaderLengthV1 = 26;
inline constexpr std::uint8_t kMmvV1 = 0x01;

inline constexpr std::array<std::uint8_t, 3> kVendorOui{0x00, 0xB0, 0x52};

// The message version argument that selects the version-1 header (network information only).
inline constexpr int kMessageVersionV1 = 4;

// Every request is padded with zeros to this length; callers build into 1528-byte buffers.
inline constexpr std::size_t kMinRequestLength = 64;
inline constexpr std::size_t kRequestBufferSize = 1528;
inline constexpr std::size_t kMaxWireFrameLength = 1514;

// Message types. Requests end in binary 00; confirmation = request + 1, indication + 2,
// response + 3.
inline constexpr std::uint16_t kVersionRequest = 0xA000;
inline constexpr std::uint16_t kVersionConfirm = 0xA001;
inline constexpr std::uint16_t kWriteMemoryRequest = 0xA004;
inline constexpr std::uint16_t kWriteMemoryConfirm = 0xA005;
inline constexpr std::uint16_t kStartFirmwareRequest = 0xA00C;
inline constexpr std::uint16_t kStartFirmwareConfirm = 0xA00D;
inline constexpr std::uint16_t kResetConfirm = 0xA01D;
inline constexpr std::uint16_t kWriteModuleRequest = 0xA020;
inline constexpr std::uint16_t kWriteModuleConfirm = 0xA021;
inline constexpr std::uint16_t kReadModuleRequest = 0xA024;
inline constexpr std::uint16_t kReadModuleConfirm = 0xA025;
inline constexpr std::uint16_t kCommitModulesRequest = 0xA028;
inline constexpr std::uint16_t kCommitModulesConfirm = 0xA029;
inline constexpr std::uint16_t kLinkStatsConfirm = 0xA031;
inline constexpr std::uint16_t kSnifferConfirm = 0xA035;
inline constexpr std::uint16_t kSnifferIndication = 0xA036;
inline constexpr std::uint16_t kNetworkInfoRequest = 0xA038;
inline constexpr std::uint16_t kNetworkInfoConfirm = 0xA039;
inline constexpr std::uint16_t kSetKeyRequest = 0xA050;
inline constexpr std::uint16_t kSetKeyConfirm = 0xA051;
inline constexpr std::uint16_t kManufacturerTextConfirm = 0xA055;
inline constexpr std::uint16_t kConfigBlockRequest = 0xA058;
inline constexpr std::uint16_t kConfigBlockConfirm = 0xA059;
inline constexpr std::uint16_t kStatusConfirm5D = 0xA05D;
inline constexpr std::uint16_t kHostActionIndication = 0xA062;
inline constexpr std::uint16_t kHostActionResponse = 0xA063;
inline constexpr std::uint16_t kStatusConfirm6D = 0xA06D;
inline constexpr std::uint16_t kReportConfirm71 = 0xA071;
inline constexpr std::uint16_t kStatusConfirm7D = 0xA07D;
inline constexpr std::uint16_t kReportConfirm91 = 0xA091;
inline constexpr std::uint16_t kStatusConfirm95 = 0xA095;

// Payload offsets from the frame start (version-0 header unless named V1).
inline constexpr std::size_t kStatusAt = 20;

// 0xA001 version confirmation.
inline constexpr std::size_t kVersionDeviceIdAt = 21;
inline constexpr std::size_t kVersionTextLengthAt = 22;
inline constexpr std::size_t kVersionTextAt = 23;
inline constexpr std::size_t kVersionTextSize = 64;
inline constexpr std::size_t kVersionConfirmMin = 88;

// 0xA039 network information confirmation.
inline constexpr std::size_t kNetworkCountAtV0 = 20;
inline constexpr std::size_t kNetworkRecordsAtV0 = 21;
inline constexpr std::size_t kNetworkInfoConfirmMinV0 = 33;
inline constexpr std::size_t kNetworkCountAtV1 = 27;
inline constexpr std::size_t kNetworkRecordsAtV1 = 28;
inline constexpr std::size_t kNetworkInfoConfirmMinV1 = 56;
// Within the first network record: station count, first station, station size, and the
// station's MAC and average rate.
inline constexpr std::size_t kStationCountInRecordV0 = 17;
inline constexpr std::size_t kStationsInRecordV0 = 18;
inline constexpr std::size_t kStationSizeV0 = 15;
inline constexpr std::size_t kStationRateAtV0 = 13;  // 8-bit
inline constexpr std::size_t kStationCountInRecordV1 = 26;
inline constexpr std::size_t kStationsInRecordV1 = 32;
inline constexpr std::size_t kStationSizeV1 = 24;
inline constexpr std::size_t kStationRateAtV1 = 16;  // 16-bit
inline constexpr std::size_t kStationMacAt = 0;

// 0xA050 set-key request.
inline constexpr std::size_t kSetKeySelectionAt = 20;
inline constexpr std::uint8_t kKeySelectionNmk = 1;
inline constexpr std::size_t kSetKeyNmkAt = 21;
inline constexpr std::size_t kSetKeyDeviceSelectorAt = 37;
inline constexpr std::size_t kSetKeyTargetAt = 38;
inline constexpr std::size_t kSetKeyDakAt = 44;
inline constexpr std::size_t kKeyLength = 16;
inline constexpr std::uint8_t kDeviceSelectorRemote = 0x00;
inline constexpr std::uint8_t kDeviceSelectorLocal = 0x0F;

// 0xA024 read-module request and 0xA025 confirmation.
inline constexpr std::size_t kReadReqModuleAt = 20;
inline constexpr std::size_t kReadReqLengthAt = 22;
inline constexpr std::size_t kReadReqOffsetAt = 24;
inline constexpr std::size_t kReadConfModuleAt = 24;
inline constexpr std::size_t kReadConfLengthAt = 26;
inline constexpr std::size_t kReadConfOffsetAt = 28;
inline constexpr std::size_t kReadConfChecksumAt = 32;
inline constexpr std::size_t kReadConfDataAt = 36;
inline constexpr std::size_t kReadModuleConfirmMin = 36;

// 0xA020 write-module request and 0xA021 confirmation.
inline constexpr std::size_t kWriteReqChecksumAt = 28;
inline constexpr std::size_t kWriteReqDataAt = 32;
inline constexpr std::size_t kWriteConfModuleAt = 21;
inline constexpr std::size_t kWriteConfLengthAt = 23;
inline constexpr std::size_t kWriteConfOffsetAt = 25;
inline constexpr std::size_t kWriteModuleConfirmMin = 29;

// 0xA004 write-memory request and 0xA005 confirmation.
inline constexpr std::size_t kMemReqAddressAt = 20;
inline constexpr std::size_t kMemReqLengthAt = 24;
inline constexpr std::size_t kMemReqDataAt = 28;
inline constexpr std::size_t kMemConfAddressAt = 21;
inline constexpr std::size_t kMemConfLengthAt = 25;
inline constexpr std::size_t kWriteMemoryConfirmMin = 29;

// 0xA00C start-firmware request: module byte, three zeros, four header words.
inline constexpr std::size_t kStartReqModuleAt = 20;
inline constexpr std::size_t kStartReqWordsAt = 24;

// 0xA028 commit request.
inline constexpr std::size_t kCommitReqFlagsAt = 20;

// 0xA059 configuration block confirmation.
inline constexpr std::size_t kConfigLengthAt = 21;
inline constexpr std::size_t kConfigBlockAt = 22;
inline constexpr std::size_t kConfigBlockConfirmMin = 22;

// 0xA062 host action indication and its 0xA063 response.
inline constexpr std::size_t kHostActionCodeAt = 20;
inline constexpr std::size_t kHostActionIndicationMin = 21;
inline constexpr std::size_t kHostResponseResultAt = 20;

// 0xA031 link statistics: control, direction, link identifier, then a block per control.
inline constexpr std::size_t kLinkStatsControlAt = 21;
inline constexpr std::size_t kLinkStatsBlockAt = 24;
inline constexpr std::array<std::size_t, 3> kLinkStatsBlockSize{40, 247, 287};

// Minimum lengths of the confirmations that carry only their status or short fields.
inline constexpr std::size_t kStatusOnlyConfirmMin = 21;
inline constexpr std::size_t kStatusAndByteConfirmMin = 22;  // start firmware, commit
inline constexpr std::size_t kSnifferConfirmMin = 28;        // status, mode, address
inline constexpr std::size_t kSnifferIndicationMin = 185;    // mode, 8, 4, 16, 136 bytes
inline constexpr std::size_t kManufacturerTextMin = 86;      // status, length, 64 text bytes
inline constexpr std::size_t kStatus6DConfirmMin = 23;       // status and two bytes
inline constexpr std::size_t kReport71ConfirmMin = 603;
inline constexpr std::size_t kReport91ConfirmMin = 606;

// Module identifiers and piece size of module transfers.
inline constexpr std::uint8_t kModuleFirmware = 1;
inline constexpr std::uint8_t kModuleParameterBlock = 2;
inline constexpr std::uint32_t kPieceSize = 1024;

// Firmware image header: eleven little-endian words.
inline constexpr std::size_t kImageHeaderLength = 44;
inline constexpr std::size_t kImageLoadAddressAt = 8;
inline constexpr std::size_t kImageLengthAt = 12;
inline constexpr std::size_t kImageChecksumAt = 16;
inline constexpr std::size_t kImageEntryAddressAt = 20;
inline constexpr std::size_t kImageNextHeaderAt = 36;

// The parameter block states its own length 4 bytes into it (16-bit).
inline constexpr std::size_t kParameterBlockLengthAt = 4;
// Memory write target of the second buffer.
inline constexpr std::uint32_t kSecondBufferAddress = 0x01F00000;

}  // namespace quorrel::thpapi
