// Every HomePlug 1.0, Turbo and loader frame the host sends, each with its fixed sent length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"

namespace quorrel::brantleapi {

using Hp1Key = std::array<std::uint8_t, 8>;
using Hp1ModeBytes = std::array<std::uint8_t, 3>;

// Entry types (byte 15).
inline constexpr std::uint8_t kEntryVendor = 0x02;
inline constexpr std::uint8_t kEntrySetKey = 0x04;
inline constexpr std::uint8_t kEntrySetKeyAnswer = 0x06;
inline constexpr std::uint8_t kEntryStatisticsRequest = 0x07;
inline constexpr std::uint8_t kEntryStatisticsReply = 0x08;
inline constexpr std::uint8_t kEntryLoader = 0x10;
inline constexpr std::uint8_t kEntryPrivateRequest = 0x12;
inline constexpr std::uint8_t kEntryPrivateReply = 0x13;
inline constexpr std::uint8_t kEntryKeyEnvelope = 0x14;
inline constexpr std::uint8_t kEntryLocalParameters = 0x19;
inline constexpr std::uint8_t kEntryNetworkStatistics = 0x1A;
// The second network statistics type some adapters answer with; it names the local device but
// carries no class.
inline constexpr std::uint8_t kEntryNetworkStatisticsAlt = 0x1E;
inline constexpr std::uint8_t kEntryMode = 0x1F;

// The OUI that opens every vendor entry.
inline constexpr std::array<std::uint8_t, 3> kVendorOui{0x00, 0x04, 0x87};
inline constexpr std::uint8_t kVendorIdentity = 0x10;
inline constexpr std::uint8_t kVendorStatistics = 0x18;
inline constexpr std::uint8_t kVendorExtendedStatistics = 0x23;
inline constexpr std::uint8_t kVendorReplyBit = 0x80;

inline constexpr std::uint8_t kPrivateFirmwareText = 0x20;
inline constexpr std::uint8_t kPrivateNetworkKey = 0x21;
// One-byte private command: restart the local device into its secondary loader.
inline constexpr std::uint8_t kLocalCommandSecondaryLoader = 0x67;

inline constexpr std::uint8_t kLocalParametersSelectorStored = 0x00;
inline constexpr std::uint8_t kLocalParametersSelectorRam = 0x10;
inline constexpr std::uint8_t kLocalParametersRequestLength = 0x0F;
// The request's length byte announces a full station list it does not carry.
inline constexpr std::uint8_t kNetworkStatisticsRequestLength = 0xBB;
inline constexpr std::uint8_t kNetworkStatisticsRequestMark = 0x80;

inline constexpr std::uint8_t kLoaderModulePiece = 0x81;
inline constexpr std::uint8_t kLoaderCommit = 0x82;
inline constexpr std::uint8_t kLoaderChecksum = 0x83;
inline constexpr std::uint8_t kLoaderVerify = 0x84;
inline constexpr std::uint8_t kLoaderChecksumReport = 0x04;
inline constexpr std::uint8_t kLoaderHardwareReset = 0x7F;

// Bytes handed to SendFrame per kind of frame.
inline constexpr std::size_t kVendorRequestFrameLength = 35;
inline constexpr std::size_t kTurboLocalKeyFrameLength = 35;
inline constexpr std::size_t kHp1KeyEntryFrameLength = 31;
inline constexpr std::size_t kStatisticsRequestFrameLength = 17;
inline constexpr std::size_t kHardwareResetFrameLength = 20;
inline constexpr std::size_t kPrivateRequestFrameLength = 272;
inline constexpr std::size_t kLocalCommandFrameLength = 18;
inline constexpr std::size_t kKeyEnvelopeFrameLength = 41;
inline constexpr std::size_t kTurboKeyFrameLength = 26;  // without a device key
inline constexpr std::size_t kLocalParametersRequestFrameLength = 32;
inline constexpr std::size_t kNetworkStatisticsRequestFrameLength = 38;
inline constexpr std::size_t kModeEntryFrameLength = 20;
inline constexpr std::size_t kModulePieceFrameLength = 1054;
inline constexpr std::size_t kLoaderCommandFrameLength = 25;
inline constexpr std::size_t kChecksumRequestFrameLength = 28;

// Room for the longest of them.
inline constexpr std::size_t kHp1FrameCapacity = kModulePieceFrameLength;
using Hp1FrameBuffer = std::array<std::uint8_t, kHp1FrameCapacity>;

// Vendor request: the data bytes after the code (at most this many fit the 35 bytes).
inline constexpr std::size_t kVendorRequestMaxData = 14;
inline constexpr std::size_t kVendorCodeOffset = 20;

// Key envelope: a second block follows the device key.
inline constexpr std::size_t kKeyEnvelopeInnerBlockOffset = 27;
inline constexpr std::size_t kKeyEnvelopeDeviceKeyOffset = 19;
inline constexpr std::size_t kKeyEnvelopeNetworkKeyOffset = 33;
inline constexpr std::uint8_t kTurboKeySelector = 1;

// Loader module pieces.
inline constexpr std::size_t kModulePieceMaxData = 1024;
inline constexpr std::size_t kModulePieceDataOffset = 30;
inline constexpr std::uint16_t kModulePieceHeaderBytes = 10;  // bytes 20 to 29
inline constexpr std::uint32_t kModuleFirmwareImage = 0x100;
inline constexpr std::uint32_t kModuleIdentitySection = 0x10;
inline constexpr std::uint32_t kModuleOptionSection = 0x20;
inline constexpr std::uint32_t kModuleParameters = 0x80;

// Each builder writes into a zero-filled prefix of `buffer` and returns the length to send,
// or 0 when the buffer is too short or the arguments do not fit the frame.
std::size_t buildVendorRequest(MutableByteSpan buffer, const MacAddress& destination,
                               const MacAddress& source, std::uint8_t code, ByteSpan data);
std::size_t buildTurboLocalKey(MutableByteSpan buffer, const MacAddress& destination,
                               const MacAddress& source, const Hp1Key& key);
std::size_t buildHp1KeyEntry(MutableByteSpan buffer, const MacAddress& destination,
                             const MacAddress& source, std::uint8_t selector, const Hp1Key& key,
                             const Hp1ModeBytes& modes, bool twoEntries);
std::size_t buildStatisticsRequest(MutableByteSpan buffer, const MacAddress& destination,
                                   const MacAddress& source);
std::size_t buildHardwareReset(MutableByteSpan buffer, const MacAddress& destination,
                               const MacAddress& source);
std::size_t buildPrivateRequest(MutableByteSpan buffer, const MacAddress& destination,
                                const MacAddress& source, std::uint8_t subtype);
std::size_t buildLocalCommand(MutableByteSpan buffer, const MacAddress& destination,
                              const MacAddress& source, std::uint8_t type, std::uint8_t value);
// With a device key: the key envelope (41 bytes); without: the bare key entry (26 bytes).
std::size_t buildTurboKeyFrame(MutableByteSpan buffer, const MacAddress& source,
                               const MacAddress& destination, const Hp1Key& networkKey,
                               const Hp1Key* deviceKey);
std::size_t buildLocalParametersRequest(MutableByteSpan buffer, const MacAddress& destination,
                                        const MacAddress& source, std::uint8_t selector);
std::size_t buildNetworkStatisticsRequest(MutableByteSpan buffer, const MacAddress& destination,
                                          const MacAddress& source);
std::size_t buildModeEntry(MutableByteSpan buffer, const MacAddress& destination,
                           const MacAddress& source, const Hp1ModeBytes& modes);
std::size_t buildModulePiece(MutableByteSpan buffer, const MacAddress& destination,
                             const MacAddress& source, std::uint32_t moduleCode,
                             std::uint32_t offset, ByteSpan piece);
// `code` is kLoaderCommit (value: the module mask) or kLoaderVerify.
std::size_t buildLoaderCommand(MutableByteSpan buffer, const MacAddress& destination,
                               const MacAddress& source, std::uint8_t code, std::uint32_t value);
std::size_t buildChecksumRequest(MutableByteSpan buffer, const MacAddress& destination,
                                 const MacAddress& source, std::uint32_t moduleCode,
                                 std::uint32_t moduleLength);

}  // namespace quorrel::brantleapi
