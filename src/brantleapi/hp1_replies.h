// Decoders of the 0x887B frames adapters send: vendor, private, parameter, statistics and
// loader replies. Each reads only within the captured bytes; a malformed reply gives none.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "brantleapi/hp1_frame.h"
#include "brantleapi/hp1_requests.h"
#include "platform/bytes.h"

namespace quorrel::brantleapi {

// Texts kept from Turbo replies, in characters (their fields add a terminator).
inline constexpr std::size_t kTurboVersionTextMax = 64;
inline constexpr std::size_t kTurboVendorTextMax = 79;
inline constexpr std::size_t kTurboFirmwareTextMax = 64;

// Vendor reply (type 0x02): the code at byte 20 carries bit 7.
inline constexpr std::size_t kVendorReplyCodeOffset = 20;
inline constexpr std::size_t kVendorReplyValueOffset = 17;  // the number echoed in trace texts

// Identity reply (code 0x10).
inline constexpr std::size_t kIdentityFlagsOffset = 21;  // bit 0: sent by a remote device
inline constexpr std::size_t kIdentityVersionKindOffset = 23;
inline constexpr std::size_t kIdentityMajorOffset = 24;
inline constexpr std::size_t kIdentityMinorOffset = 25;
inline constexpr std::size_t kIdentityFirstTextLengthOffset = 26;
inline constexpr std::uint8_t kIdentityMinorOldest = 0x15;

// Statistics reply (code 0x18): 14-byte station entries after the code.
inline constexpr std::size_t kTurboStatisticsFirstEntry = 21;
inline constexpr std::size_t kTurboStatisticsEntrySize = 14;
inline constexpr std::size_t kTurboStatisticsRateAt = 6;
inline constexpr int kTurboStatisticsHeader = 3;  // length-byte bytes before the entries
inline constexpr std::size_t kTurboStatisticsMaxEntries = 15;

// Private reply (type 0x13): byte 16 is the text length, byte 17 the subtype.
inline constexpr std::size_t kPrivateReplySubtypeOffset = 17;
inline constexpr std::size_t kPrivateReplyTextOffset = 18;
inline constexpr std::size_t kPrivateReplyKeyOffset = 19;
// A firmware text of version 1.5 or 1.6 carries "1" and "5"/"6" at these places.
inline constexpr std::size_t kFirmwareMajorAt = 14;
inline constexpr std::size_t kFirmwareMinorAt = 16;

// Local parameters reply (type 0x19, length 0x33).
inline constexpr std::uint8_t kLocalParametersReplyLength = 0x33;
inline constexpr std::size_t kLocalParametersSelectorOffset = 17;
inline constexpr std::size_t kLocalParametersDataOffset = 18;
inline constexpr std::size_t kLocalParametersCount = 50;
inline constexpr std::uint8_t kLocalParametersStored = 1;
inline constexpr std::uint8_t kLocalParametersRam = 2;
// Places within the 50 parameter bytes.
inline constexpr std::size_t kParamSelectorZeroKey = 6;
inline constexpr std::size_t kParamKeySelector = 14;
inline constexpr std::size_t kParamNetworkKey = 15;
inline constexpr std::size_t kParamModeBytes = 23;

// Network statistics reply (type 0x1A).
inline constexpr std::size_t kNetworkStatisticsClassOffset = 17;  // bit 7 set on the request
inline constexpr std::size_t kNetworkStatisticsFailsOffset = 20;
inline constexpr std::size_t kNetworkStatisticsDropsOffset = 22;
inline constexpr std::size_t kNetworkStatisticsFirstStation = 24;
inline constexpr std::size_t kNetworkStatisticsStationSize = 12;
inline constexpr std::size_t kNetworkStatisticsMaxStations = 15;

// Loader reply (type 0x10).
inline constexpr std::size_t kLoaderCodeOffset = 17;
inline constexpr std::size_t kLoaderStatusOffset = 20;
inline constexpr std::size_t kLoaderChecksumOffset = 29;

using LocalParameters = std::array<std::uint8_t, kLocalParametersCount>;

// The code of a vendor reply with bit 7 cleared; none for another type, bit 7 clear or a
// frame too short to hold the code.
std::optional<std::uint8_t> vendorReplyCode(const Hp1FrameView& reply);

struct TurboIdentity {
  bool fromRemote = false;
  std::string version;      // at most kTurboVersionTextMax characters
  std::string vendorText1;  // at most kTurboVendorTextMax characters each
  std::string vendorText2;
};
// Identity reply. None when a text or its length byte lies beyond the captured bytes.
std::optional<TurboIdentity> decodeTurboIdentity(const Hp1FrameView& reply);
// "Version 1.2", "Version 1.4" or "Version %d.%d".
std::string turboVersionText(std::uint8_t kind, std::uint8_t major, std::uint8_t minor);

struct TurboStationRate {
  MacAddress mac{};
  std::uint16_t rawRate = 0;
};
struct TurboStatistics {
  std::array<TurboStationRate, kTurboStatisticsMaxEntries> stations{};
  std::size_t count = 0;
};
// (length byte - 3) / 14 entries, none when that is below 1, at most 15 (a reply announcing
// more breaks the format and is cut), and only those whole within the captured bytes.
std::optional<TurboStatistics> decodeTurboStatistics(const Hp1FrameView& reply);

// Private replies: subtype 0x20 firmware text, 0x21 network key.
std::optional<std::uint8_t> privateReplySubtype(const Hp1FrameView& reply);
// Byte 16 counts the characters from byte 18; cut at the captured bytes, at a zero byte, and
// at kTurboFirmwareTextMax.
std::optional<std::string> decodeTurboFirmwareText(const Hp1FrameView& reply);
std::optional<Hp1Key> decodeTurboNetworkKey(const Hp1FrameView& reply);
// Version 1.5 or 1.6 firmware, which cannot take a key through the add and password dialogs.
bool isOldTurboFirmware(std::string_view firmwareText);

struct LocalParametersReply {
  std::uint8_t selector = 0;  // 1 stored, 2 working copy
  LocalParameters parameters{};
};
std::optional<LocalParametersReply> decodeLocalParametersReply(const Hp1FrameView& reply);

struct Hp1Station {
  MacAddress mac{};  // bit 0 of the first byte cleared
  std::uint16_t rawRate = 0;
  std::uint16_t count1 = 0;
  std::uint16_t count2 = 0;
};
struct NetworkStatistics {
  std::uint8_t classByte = 0;  // byte 17 as sent
  std::uint16_t fails = 0;
  std::uint16_t drops = 0;
  std::array<Hp1Station, kNetworkStatisticsMaxStations> stations{};
  std::size_t count = 0;  // stations within the captured bytes, at most 15
  bool isRequest() const { return (classByte & kNetworkStatisticsRequestMark) != 0; }
  std::uint8_t localClass() const {
    return static_cast<std::uint8_t>(classByte & ~kNetworkStatisticsRequestMark);
  }
};
std::optional<NetworkStatistics> decodeNetworkStatistics(const Hp1FrameView& reply);

struct LoaderReply {
  std::uint8_t code = 0;
  std::uint8_t status = 0;
  std::optional<std::uint32_t> checksum;  // 0x83 and 0x04 replies
};
// A loader reply addressed to `host`; none for anything else.
std::optional<LoaderReply> decodeLoaderReply(const Hp1FrameView& reply, const MacAddress& host);

// A frame whose destination is its own source (and not broadcast): the local HomePlug 1.0
// device answering a request sent from its own address.
bool isLoopbackFrame(const Hp1FrameView& frame);

// What the bookkeeping, the scan and the operations read of a received 0x887B frame, decoded
// once. It holds no view into the frame.
struct Hp1Reply {
  MacAddress destination{};
  MacAddress source{};
  std::uint8_t type = 0;  // of the first entry; 0 when the block holds none
  bool loopback = false;
  // A network statistics reply (either type; bit 7 of byte 17 marks a request, which is none)
  // names its source as the local device. Only type 0x1A carries the class.
  bool namesLocalDevice = false;
  std::optional<std::uint8_t> localClass;
  std::optional<NetworkStatistics> networkStatistics;  // such a reply long enough for its counts
  std::optional<LocalParametersReply> localParameters;
};
// None for a frame that is not 0x887B or ends before its entry count.
std::optional<Hp1Reply> decodeHp1Reply(ByteSpan frame);

}  // namespace quorrel::brantleapi
