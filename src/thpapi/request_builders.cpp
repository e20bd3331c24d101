// Requests are built into a zero-filled prefix of the caller's buffer, padded to 64 bytes.
#include "thpapi/request_builders.h"

#include <algorithm>

#include "thpapi/last_error.h"

namespace quorrel::thpapi {

std::size_t writeManagementHeader(MutableByteSpan buffer, const MacAddress& destination,
                                  const MacAddress& source, std::uint16_t type,
                                  int messageVersion) {
  const bool v1 = messageVersion == kMessageVersionV1;
  const std::size_t length = v1 ? kHeaderLengthV1 : kHeaderLengthV0;
  if (buffer.size() < length) return 0;
  std::fill_n(buffer.begin(), length, std::uint8_t{0});
  writeMac(buffer, kDestinationAt, destination);
  writeMac(buffer, kSourceAt, source);
  writeBe16(buffer, kEtherTypeAt, transport::kEtherTypeHomePlugAv);
  writeU8(buffer, kMmvAt, v1 ? kMmvV1 : kMmvV0);
  writeLe16(buffer, kMmtypeAt, type);
  writeBytes(buffer, v1 ? kOuiAtV1 : kOuiAtV0, ByteSpan(kVendorOui));
  return length;
}

namespace {

// Zero-fills the minimum request and writes its header; false (error 34) for a small buffer.
bool startRequest(MutableByteSpan buffer, const MacAddress& source, const MacAddress& destination,
                  std::uint16_t type, int messageVersion = 0) {
  if (buffer.size() < kMinRequestLength) {
    setLastError(kErrorTooSmall);
    return false;
  }
  std::fill_n(buffer.begin(), kMinRequestLength, std::uint8_t{0});
  writeManagementHeader(buffer, destination, source, type, messageVersion);
  return true;
}

}  // namespace

std::size_t thpapi_EncodeVersionRequest(const MacAddress& source, const MacAddress& destination,
                                        MutableByteSpan buffer) {
  if (!startRequest(buffer, source, destination, kVersionRequest)) return 0;
  return kMinRequestLength;
}

std::size_t thpapi_EncodeNetworkInfoRequest(const MacAddress& source, const MacAddress& destination,
                                            MutableByteSpan buffer, int messageVersion) {
  if (!startRequest(buffer, source, destination, kNetworkInfoRequest, messageVersion)) return 0;
  return kMinRequestLength;
}

std::size_t thpapi_EncodeSetKeyRequest(const MacAddress& source, const MacAddress& destination,
                                       MutableByteSpan buffer, const SetKeyRecord& key) {
  if (key.deviceKeySelector != kDeviceSelectorLocal &&
      key.deviceKeySelector != kDeviceSelectorRemote) {
    setLastError(kErrorInvalid);
    return 0;
  }
  if (!startRequest(buffer, source, destination, kSetKeyRequest)) return 0;
  writeU8(buffer, kSetKeySelectionAt, kKeySelectionNmk);
  writeBytes(buffer, kSetKeyNmkAt, ByteSpan(key.networkMembershipKey));
  writeU8(buffer, kSetKeyDeviceSelectorAt, key.deviceKeySelector);
  writeMac(buffer, kSetKeyTargetAt, key.target);
  writeBytes(buffer, kSetKeyDakAt, ByteSpan(key.deviceAccessKey));
  return kMinRequestLength;
}

std::size_t thpapi_ReadConfigurationBlock(const MacAddress& source, const MacAddress& destination,
                                          MutableByteSpan buffer) {
  if (!startRequest(buffer, source, destination, kConfigBlockRequest)) return 0;
  return kMinRequestLength;
}

}  // namespace quorrel::thpapi
