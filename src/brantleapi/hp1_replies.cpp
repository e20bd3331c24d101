// Reply decoders; every count and length from the wire is checked in signed arithmetic
// against its cap and the captured bytes before use.
#include "brantleapi/hp1_replies.h"

#include <algorithm>
#include <cstdio>

namespace quorrel::brantleapi {

namespace {

std::size_t capturedFrom(const Hp1FrameView& f, std::size_t at) {
  return at < f.bytes.size() ? f.bytes.size() - at : 0;
}

// Up to `count` characters from `at`, stopping at a zero byte and after `cap` characters.
std::string countedText(ByteSpan b, std::size_t at, std::size_t count, std::size_t cap) {
  return readText(b, at, std::min(count, cap));
}

bool isType(const Hp1FrameView& f, std::uint8_t type) {
  return f.hasEntry() && f.first().type == type;
}

}  // namespace

std::optional<std::uint8_t> vendorReplyCode(const Hp1FrameView& reply) {
  if (!isType(reply, kEntryVendor) || reply.bytes.size() <= kVendorReplyCodeOffset)
    return std::nullopt;
  const std::uint8_t code = reply.bytes[kVendorReplyCodeOffset];
  if ((code & kVendorReplyBit) == 0) return std::nullopt;
  return static_cast<std::uint8_t>(code & ~kVendorReplyBit);
}

std::string turboVersionText(std::uint8_t kind, std::uint8_t major, std::uint8_t minor) {
  if (kind == 1) return minor == kIdentityMinorOldest ? "Version 1.2" : "Version 1.4";
  char text[32];
  std::snprintf(text, sizeof text, "Version %d.%d", major, minor);
  return text;
}

std::optional<TurboIdentity> decodeTurboIdentity(const Hp1FrameView& reply) {
  if (vendorReplyCode(reply) != kVendorIdentity) return std::nullopt;
  const ByteSpan b = reply.bytes;
  if (b.size() <= kIdentityFirstTextLengthOffset) return std::nullopt;

  const std::size_t firstAt = kIdentityFirstTextLengthOffset + 1;
  const std::size_t firstLength = b[kIdentityFirstTextLengthOffset];
  const std::size_t secondLengthAt = firstAt + firstLength;
  // The second length byte must be there, and both texts within the captured bytes.
  if (secondLengthAt >= b.size()) return std::nullopt;
  const std::size_t secondAt = secondLengthAt + 1;
  const std::size_t secondLength = b[secondLengthAt];
  if (secondLength > b.size() - secondAt) return std::nullopt;

  TurboIdentity id;
  id.fromRemote = (b[kIdentityFlagsOffset] & 0x01) != 0;
  id.version = turboVersionText(b[kIdentityVersionKindOffset], b[kIdentityMajorOffset],
                                b[kIdentityMinorOffset]);
  id.vendorText1 =
      firstLength == 0 ? " " : countedText(b, firstAt, firstLength, kTurboVendorTextMax);
  id.vendorText2 =
      secondLength == 0 ? " " : countedText(b, secondAt, secondLength, kTurboVendorTextMax);
  return id;
}

std::optional<TurboStatistics> decodeTurboStatistics(const Hp1FrameView& reply) {
  if (vendorReplyCode(reply) != kVendorStatistics) return std::nullopt;
  const int announced = (int{reply.first().length} - kTurboStatisticsHeader) /
                        static_cast<int>(kTurboStatisticsEntrySize);
  const int captured =
      static_cast<int>(capturedFrom(reply, kTurboStatisticsFirstEntry) / kTurboStatisticsEntrySize);
  const int n =
      std::clamp(std::min(announced, captured), 0, static_cast<int>(kTurboStatisticsMaxEntries));
  TurboStatistics s;
  for (int k = 0; k < n; ++k) {
    const std::size_t at = kTurboStatisticsFirstEntry + kTurboStatisticsEntrySize * k;
    s.stations[s.count].mac = readMac(reply.bytes, at);
    s.stations[s.count].rawRate = readBe16(reply.bytes, at + kTurboStatisticsRateAt);
    ++s.count;
  }
  return s;
}

std::optional<std::uint8_t> privateReplySubtype(const Hp1FrameView& reply) {
  if (!isType(reply, kEntryPrivateReply) || reply.bytes.size() <= kPrivateReplySubtypeOffset)
    return std::nullopt;
  return reply.bytes[kPrivateReplySubtypeOffset];
}

std::optional<std::string> decodeTurboFirmwareText(const Hp1FrameView& reply) {
  if (privateReplySubtype(reply) != kPrivateFirmwareText) return std::nullopt;
  const std::size_t count =
      std::min<std::size_t>(reply.first().length, capturedFrom(reply, kPrivateReplyTextOffset));
  return countedText(reply.bytes, kPrivateReplyTextOffset, count, kTurboFirmwareTextMax);
}

std::optional<Hp1Key> decodeTurboNetworkKey(const Hp1FrameView& reply) {
  if (privateReplySubtype(reply) != kPrivateNetworkKey) return std::nullopt;
  Hp1Key key{};
  if (capturedFrom(reply, kPrivateReplyKeyOffset) < key.size()) return std::nullopt;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = reply.bytes[kPrivateReplyKeyOffset + i];
  return key;
}

bool isOldTurboFirmware(std::string_view text) {
  return text.size() > kFirmwareMinorAt && text[kFirmwareMajorAt] == '1' &&
         (text[kFirmwareMinorAt] == '5' || text[kFirmwareMinorAt] == '6');
}

std::optional<LocalParametersReply> decodeLocalParametersReply(const Hp1FrameView& reply) {
  if (!isType(reply, kEntryLocalParameters) || reply.first().length != kLocalParametersReplyLength)
    return std::nullopt;
  if (capturedFrom(reply, kLocalParametersDataOffset) < kLocalParametersCount) return std::nullopt;
  LocalParametersReply r;
  r.selector = reply.bytes[kLocalParametersSelectorOffset];
  for (std::size_t i = 0; i < kLocalParametersCount; ++i)
    r.parameters[i] = reply.bytes[kLocalParametersDataOffset + i];
  return r;
}

std::optional<NetworkStatistics> decodeNetworkStatistics(const Hp1FrameView& reply) {
  if (!isType(reply, kEntryNetworkStatistics) ||
      reply.bytes.size() < kNetworkStatisticsFirstStation)
    return std::nullopt;
  NetworkStatistics s;
  s.classByte = reply.bytes[kNetworkStatisticsClassOffset];
  s.fails = readBe16(reply.bytes, kNetworkStatisticsFailsOffset);
  s.drops = readBe16(reply.bytes, kNetworkStatisticsDropsOffset);
  const std::size_t n =
      std::min(kNetworkStatisticsMaxStations,
               capturedFrom(reply, kNetworkStatisticsFirstStation) / kNetworkStatisticsStationSize);
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t at = kNetworkStatisticsFirstStation + kNetworkStatisticsStationSize * k;
    Hp1Station& st = s.stations[k];
    st.mac = readMac(reply.bytes, at);
    st.mac[0] &= 0xFE;
    st.rawRate = readBe16(reply.bytes, at + 6);
    st.count1 = readBe16(reply.bytes, at + 8);
    st.count2 = readBe16(reply.bytes, at + 10);
  }
  s.count = n;
  return s;
}

std::optional<LoaderReply> decodeLoaderReply(const Hp1FrameView& reply, const MacAddress& host) {
  if (!isType(reply, kEntryLoader) || reply.destination != host ||
      reply.bytes.size() <= kLoaderStatusOffset)
    return std::nullopt;
  LoaderReply r;
  r.code = reply.bytes[kLoaderCodeOffset];
  switch (r.code) {
    case kLoaderChecksumReport:
    case kLoaderChecksum:
      if (capturedFrom(reply, kLoaderChecksumOffset) < 4) return std::nullopt;
      r.checksum = readBe32(reply.bytes, kLoaderChecksumOffset);
      break;
    case kLoaderModulePiece:
    case kLoaderCommit:
    case kLoaderVerify:
      break;
    default:
      return std::nullopt;
  }
  r.status = reply.bytes[kLoaderStatusOffset];
  return r;
}

bool isLoopbackFrame(const Hp1FrameView& frame) {
  return frame.destination == frame.source && frame.destination != kBroadcastMac;
}

std::optional<Hp1Reply> decodeHp1Reply(ByteSpan frame) {
  const auto view = parseHp1Frame(frame);
  if (!view) return std::nullopt;
  Hp1Reply r;
  r.destination = view->destination;
  r.source = view->source;
  r.type = view->entryType();
  r.loopback = isLoopbackFrame(*view);
  if ((r.type == kEntryNetworkStatistics || r.type == kEntryNetworkStatisticsAlt) &&
      frame.size() > kNetworkStatisticsClassOffset) {
    const std::uint8_t classByte = frame[kNetworkStatisticsClassOffset];
    r.namesLocalDevice = (classByte & kNetworkStatisticsRequestMark) == 0;
    if (r.namesLocalDevice && r.type == kEntryNetworkStatistics) {
      r.localClass = classByte;
      r.networkStatistics = decodeNetworkStatistics(*view);
    }
  }
  r.localParameters = decodeLocalParametersReply(*view);
  return r;
}

}  // namespace quorrel::brantleapi
