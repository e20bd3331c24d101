// Header checks in a fixed order (the error number depends on it), a length check per type,
// then the type's fields copied into the result. Every read is bounded by the frame.
#include "thpapi/decoder.h"

#include <algorithm>

#include "thpapi/frame_layout.h"
#include "thpapi/last_error.h"

namespace quorrel::thpapi {

namespace {

int fail(ThapiResult& result, int error) {
  result.status = static_cast<std::uint8_t>(error);
  setLastError(error);
  return -1;
}

// Some short confirmations fail without touching the last error; their status still says
// why, so that no wait takes them for a success.
int failQuietly(ThapiResult& result) {
  result.status = static_cast<std::uint8_t>(kErrorMissingOrShort);
  return -1;
}

int checkHeader(ByteSpan frame, ThapiResult& result, bool v1) {
  if (readBe16(frame, kEtherTypeAt) != transport::kEtherTypeHomePlugAv ||
      frame.size() < kEthernetHeaderLength)
    return fail(result, kErrorNotAvFrame);
  const std::size_t header = v1 ? kHeaderLengthV1 : kHeaderLengthV0;
  const std::size_t ouiAt = v1 ? kOuiAtV1 : kOuiAtV0;
  if (frame.size() < header || readU8(frame, kMmvAt) != (v1 ? kMmvV1 : kMmvV0) ||
      !std::equal(kVendorOui.begin(), kVendorOui.end(), frame.begin() + ouiAt))
    return fail(result, kErrorMissingOrShort);
  return 0;
}

// Copies frame bytes [from, from + count) into data at `to`, as far as the frame holds them.
std::size_t copyHeld(ByteSpan frame, std::size_t from, std::size_t count, ThapiResult& result,
                     std::size_t to) {
  if (from >= frame.size() || to >= result.data.size()) return 0;
  const std::size_t n = std::min({count, frame.size() - from, result.data.size() - to});
  std::copy_n(frame.begin() + from, n, result.data.begin() + to);
  return n;
}

// Fixed fields copied after the status byte.
void copyFields(ByteSpan frame, std::size_t from, std::size_t count, ThapiResult& result) {
  result.dataLength = static_cast<std::uint32_t>(copyHeld(frame, from, count, result, 0));
  result.dataValid = 1;
}

struct StationLayout {
  std::size_t countIn;
  std::size_t stationsIn;
  std::size_t size;
  std::size_t rateAt;
  bool wideRate;
};

StationLayout stationLayout(int messageVersion) {
  if (messageVersion == kMessageVersionV1)
    return {kNetworkRecordsIn + kStationCountInRecordV1, kNetworkRecordsIn + kStationsInRecordV1,
            kStationSizeV1, kStationRateAtV1, true};
  return {kNetworkRecordsIn + kStationCountInRecordV0, kNetworkRecordsIn + kStationsInRecordV0,
          kStationSizeV0, kStationRateAtV0, false};
}

std::size_t stationsHeld(const StationLayout& l, std::size_t dataLength) {
  return dataLength > l.stationsIn ? (dataLength - l.stationsIn) / l.size : 0;
}

// The stations of the first network, as far as the record holds them.
void decodeStations(ThapiResult& result, bool v1) {
  if (result.data[kNetworkCountIn] == 0) return;
  const StationLayout l = stationLayout(v1 ? kMessageVersionV1 : 0);
  const std::size_t count =
      std::min<std::size_t>(result.data[l.countIn], stationsHeld(l, result.dataLength));
  const ByteSpan data(result.data);
  for (std::size_t i = 0; i < count; ++i) {
    const ByteSpan station = data.subspan(l.stationsIn + i * l.size, l.size);
    result.stations.push_back(
        {readMac(station, kStationMacAt),
         l.wideRate ? readLe16(station, l.rateAt) : std::uint16_t{readU8(station, l.rateAt)}});
  }
}

void decodeNetworkInfo(ByteSpan frame, ThapiResult& result, bool v1) {
  const std::size_t countAt = v1 ? kNetworkCountAtV1 : kNetworkCountAtV0;
  const std::size_t recordsAt = v1 ? kNetworkRecordsAtV1 : kNetworkRecordsAtV0;
  const std::size_t most = v1 ? kNetworkRecordsMaxV1 : kNetworkRecordsMaxV0;
  result.data[kNetworkCountIn] = readU8(frame, countAt);
  const std::size_t copied = copyHeld(frame, recordsAt, most, result, kNetworkRecordsIn);
  result.dataLength = static_cast<std::uint32_t>(kNetworkRecordsIn + copied);
  result.dataValid = 1;
  // A station count beyond the bytes received is cut, so readers of the list stay inside it.
  const StationLayout l = stationLayout(v1 ? kMessageVersionV1 : 0);
  const std::size_t held = stationsHeld(l, result.dataLength);
  if (result.data[l.countIn] > held) result.data[l.countIn] = static_cast<std::uint8_t>(held);
  decodeStations(result, v1);
}

void decodeConfigBlock(ByteSpan frame, ThapiResult& result) {
  result.data[kConfigStatusIn] = readU8(frame, kStatusAt);
  result.data[kConfigLengthIn] = readU8(frame, kConfigLengthAt);
  const std::size_t copied =
      copyHeld(frame, kConfigBlockAt, kConfigBlockMax, result, kConfigBlockIn);
  result.dataLength = static_cast<std::uint32_t>(kConfigBlockIn + copied);
  result.dataValid = 1;
}

void decodeVersion(ByteSpan frame, ThapiResult& result) {
  result.version.deviceId = readU8(frame, kVersionDeviceIdAt);
  // The length byte can claim up to 255 while the field holds 64.
  const std::size_t n =
      std::min<std::size_t>(readU8(frame, kVersionTextLengthAt), kVersionTextSize);
  const ByteSpan text = frame.subspan(kVersionTextAt, n);
  const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
  result.version.text.assign(text.begin(), end);
  result.dataValid = 1;
}

// A read confirmation's piece goes to the start of data, as far as the frame carried it.
void decodeTransfer(ByteSpan frame, ThapiResult& result) {
  TransferFields& t = result.transfer;
  switch (result.mmtype) {
    case kReadModuleConfirm:
      t.module = readU8(frame, kReadConfModuleAt);
      t.length = readLe16(frame, kReadConfLengthAt);
      t.offset = readLe32(frame, kReadConfOffsetAt);
      t.checksum = readLe32(frame, kReadConfChecksumAt);
      t.held = static_cast<std::uint32_t>(copyHeld(frame, kReadConfDataAt, t.length, result, 0));
      break;
    case kWriteModuleConfirm:
      t.module = readU8(frame, kWriteConfModuleAt);
      t.length = readLe16(frame, kWriteConfLengthAt);
      t.offset = readLe32(frame, kWriteConfOffsetAt);
      break;
    default:  // kWriteMemoryConfirm
      t.offset = readLe32(frame, kMemConfAddressAt);
      t.length = readLe32(frame, kMemConfLengthAt);
      break;
  }
}

int decodeLinkStats(ByteSpan frame, ThapiResult& result) {
  const std::uint8_t control = readU8(frame, kLinkStatsControlAt);
  if (control >= kLinkStatsBlockSize.size()) return fail(result, kErrorInvalid);
  const std::size_t need = kLinkStatsBlockAt + kLinkStatsBlockSize[control];
  if (frame.size() < need) return fail(result, kErrorMissingOrShort);
  copyFields(frame, kLinkStatsControlAt, need - kLinkStatsControlAt, result);
  return 0;
}

struct TypeRule {
  std::uint16_t type;
  std::uint32_t operation;
  std::uint32_t phase;
  std::size_t minLength;
  int shortError;  // 0: a short frame fails without setting the last error
};

// Operation, phase and minimum length of every type the decoder knows. Transfer
// confirmations take their operation from the transfer; the sniffer types leave it at 0.
constexpr TypeRule kRules[] = {
    {kVersionConfirm, THAPI_GETVERSION, kPhaseFinished, kVersionConfirmMin, kErrorMissingOrShort},
    {kWriteMemoryConfirm, 0, kPhaseFinished, kWriteMemoryConfirmMin, kErrorTooSmall},
    {kStartFirmwareConfirm, 0, kPhaseFinished, kStatusAndByteConfirmMin, kErrorTooSmall},
    {kResetConfirm, THAPI_RESET, kPhaseFinished, kStatusOnlyConfirmMin, kErrorMissingOrShort},
    {kWriteModuleConfirm, 0, kPhaseFinished, kWriteModuleConfirmMin, kErrorTooSmall},
    {kReadModuleConfirm, 0, kPhaseFinished, kReadModuleConfirmMin, kErrorMissingOrShort},
    {kCommitModulesConfirm, 0, kPhaseFinished, kStatusAndByteConfirmMin, 0},
    {kLinkStatsConfirm, THAPI_LINK_STATISTICS, kPhaseFinished, kLinkStatsBlockAt,
     kErrorMissingOrShort},
    {kSnifferConfirm, THAPI_NONE, kPhaseNone, kSnifferConfirmMin, kErrorMissingOrShort},
    {kSnifferIndication, THAPI_NONE, kPhaseNone, kSnifferIndicationMin, kErrorMissingOrShort},
    {kNetworkInfoConfirm, THAPI_NETWORK_INFO, kPhaseFinished, kNetworkInfoConfirmMinV0,
     kErrorMissingOrShort},
    {kSetKeyConfirm, THAPI_SET_KEY, kPhaseFinished, kStatusOnlyConfirmMin, kErrorTooSmall},
    {kManufacturerTextConfirm, THAPI_MANUFACTURER_TEXT, kPhaseFinished, kManufacturerTextMin, 0},
    {kConfigBlockConfirm, THAPI_CONFIG_BLOCK, kPhaseFinished, kConfigBlockConfirmMin,
     kErrorMissingOrShort},
    {kStatusConfirm5D, THAPI_STATUS_5D, kPhaseFinished, kStatusOnlyConfirmMin, kErrorTooSmall},
    {kHostActionIndication, THAPI_HOST_ACTION, kPhaseContinues, kHostActionIndicationMin, 0},
    {kStatusConfirm6D, THAPI_STATUS_6D, kPhaseFinished, kStatus6DConfirmMin, kErrorMissingOrShort},
    {kReportConfirm71, THAPI_REPORT_71, kPhaseFinished, kReport71ConfirmMin, 0},
    {kStatusConfirm7D, THAPI_STATUS_7D, kPhaseFinished, kStatusOnlyConfirmMin, kErrorTooSmall},
    {kReportConfirm91, THAPI_REPORT_91, kPhaseFinished, kReport91ConfirmMin, 0},
    {kStatusConfirm95, THAPI_STATUS_95, kPhaseFinished, kStatusOnlyConfirmMin,
     kErrorMissingOrShort},
};

const TypeRule* ruleFor(std::uint16_t type) {
  for (const TypeRule& r : kRules)
    if (r.type == type) return &r;
  return nullptr;
}

int decodeBody(ByteSpan frame, ThapiResult& result, const TypeRule& rule, bool v1) {
  switch (rule.type) {
    case kVersionConfirm:
      decodeVersion(frame, result);
      return 0;
    case kNetworkInfoConfirm:
      decodeNetworkInfo(frame, result, v1);
      return 0;
    case kConfigBlockConfirm:
      decodeConfigBlock(frame, result);
      return 0;
    case kReadModuleConfirm:
    case kWriteModuleConfirm:
    case kWriteMemoryConfirm:
      decodeTransfer(frame, result);
      return 0;
    case kLinkStatsConfirm:
      return decodeLinkStats(frame, result);
    case kSnifferConfirm:
      copyFields(frame, kStatusAt + 1, kSnifferConfirmMin - kStatusAt - 1, result);
      return 0;
    case kSnifferIndication:
      copyFields(frame, kStatusAt, kSnifferIndicationMin - kStatusAt, result);
      return 0;
    case kManufacturerTextConfirm:
      copyFields(frame, kStatusAt + 1, kManufacturerTextMin - kStatusAt - 1, result);
      return 0;
    case kStatusConfirm6D:
      copyFields(frame, kStatusAt + 1, kStatus6DConfirmMin - kStatusAt - 1, result);
      return 0;
    case kReportConfirm71:
      copyFields(frame, kStatusAt + 1, kReport71ConfirmMin - kStatusAt - 1, result);
      return 0;
    case kReportConfirm91:
      copyFields(frame, kStatusAt + 1, kReport91ConfirmMin - kStatusAt - 1, result);
      return 0;
    default:
      return 0;  // status only
  }
}

bool carriesStatus(std::uint16_t type) {
  return type != kSnifferIndication && type != kHostActionIndication;
}

}  // namespace

int thpapi_DecodeFrame(ByteSpan frame, ThapiResult& result, int expectedVersion) {
  result = ThapiResult{};
  // No frame, or one of no bytes: nothing to decode.
  if (frame.data() == nullptr || frame.empty()) return fail(result, kErrorMissingOrShort);
  const bool v1 = expectedVersion == kMessageVersionV1;
  if (checkHeader(frame, result, v1) != 0) return -1;

  const std::uint16_t type = readLe16(frame, kMmtypeAt);
  result.destination = readMac(frame, kDestinationAt);
  result.source = readMac(frame, kSourceAt);
  const TypeRule* rule = ruleFor(type);
  if (rule == nullptr) return fail(result, kErrorUnknownType);
  result.mmtype = type;
  result.operation = rule->operation;
  result.phase = rule->phase;
  if (type == kHostActionIndication) {
    // A short one is still answered by the wait; the response then says so.
    if (frame.size() < kHostActionIndicationMin) return failQuietly(result);
    result.hostActionCode = readU8(frame, kHostActionCodeAt);
    result.dataValid = 1;
    return 0;
  }

  const std::size_t minLength =
      type == kNetworkInfoConfirm && v1 ? kNetworkInfoConfirmMinV1 : rule->minLength;
  if (frame.size() < minLength)
    return rule->shortError != 0 ? fail(result, rule->shortError) : failQuietly(result);
  if (carriesStatus(type)) result.status = readU8(frame, kStatusAt);
  return decodeBody(frame, result, *rule, v1);
}

}  // namespace quorrel::thpapi
