// Builders of the host's 0x887B frames, all over the one block encoder.
#include "brantleapi/hp1_requests.h"

#include <vector>

#include "brantleapi/hp1_frame.h"

namespace quorrel::brantleapi {

namespace {

std::size_t oneEntry(MutableByteSpan buffer, const MacAddress& destination,
                     const MacAddress& source, const Hp1Entry& entry, std::size_t sentLength) {
  return encodeHp1Frame(buffer, destination, source, std::span<const Hp1Entry>(&entry, 1),
                        sentLength);
}

// Loader entries announce a length of 1 and carry the code, a 16-bit count of the bytes that
// follow it, and those bytes.
std::size_t loaderEntry(MutableByteSpan buffer, const MacAddress& destination,
                        const MacAddress& source, std::uint8_t code, std::uint16_t count,
                        ByteSpan payload, std::size_t sentLength) {
  std::vector<std::uint8_t> data(3 + payload.size());
  data[0] = code;
  writeBe16(data, 1, count);
  writeBytes(data, 3, payload);
  return oneEntry(buffer, destination, source, Hp1Entry{kEntryLoader, 1, data}, sentLength);
}

std::array<std::uint8_t, 9> selectorAndKey(std::uint8_t selector, const Hp1Key& key) {
  std::array<std::uint8_t, 9> d{};
  d[0] = selector;
  writeBytes(d, 1, key);
  return d;
}

}  // namespace

std::size_t buildVendorRequest(MutableByteSpan buffer, const MacAddress& destination,
                               const MacAddress& source, std::uint8_t code, ByteSpan data) {
  if (data.size() > kVendorRequestMaxData) return 0;
  std::vector<std::uint8_t> body(kVendorOui.begin(), kVendorOui.end());
  body.push_back(code);
  body.insert(body.end(), data.begin(), data.end());
  return oneEntry(buffer, destination, source, makeEntry(kEntryVendor, body),
                  kVendorRequestFrameLength);
}

std::size_t buildTurboLocalKey(MutableByteSpan buffer, const MacAddress& destination,
                               const MacAddress& source, const Hp1Key& key) {
  const auto d = selectorAndKey(kTurboKeySelector, key);
  return oneEntry(buffer, destination, source, makeEntry(kEntrySetKey, d),
                  kTurboLocalKeyFrameLength);
}

std::size_t buildHp1KeyEntry(MutableByteSpan buffer, const MacAddress& destination,
                             const MacAddress& source, std::uint8_t selector, const Hp1Key& key,
                             const Hp1ModeBytes& modes, bool twoEntries) {
  const auto d = selectorAndKey(selector, key);
  const std::array<Hp1Entry, 2> entries{makeEntry(kEntrySetKey, d), makeEntry(kEntryMode, modes)};
  return encodeHp1Frame(buffer, destination, source,
                        std::span<const Hp1Entry>(entries).first(twoEntries ? 2 : 1),
                        kHp1KeyEntryFrameLength);
}

std::size_t buildStatisticsRequest(MutableByteSpan buffer, const MacAddress& destination,
                                   const MacAddress& source) {
  return oneEntry(buffer, destination, source, makeEntry(kEntryStatisticsRequest, {}),
                  kStatisticsRequestFrameLength);
}

std::size_t buildHardwareReset(MutableByteSpan buffer, const MacAddress& destination,
                               const MacAddress& source) {
  return loaderEntry(buffer, destination, source, kLoaderHardwareReset, 0, {},
                     kHardwareResetFrameLength);
}

std::size_t buildPrivateRequest(MutableByteSpan buffer, const MacAddress& destination,
                                const MacAddress& source, std::uint8_t subtype) {
  const std::array<std::uint8_t, 1> d{subtype};
  return oneEntry(buffer, destination, source, makeEntry(kEntryPrivateRequest, d),
                  kPrivateRequestFrameLength);
}

std::size_t buildLocalCommand(MutableByteSpan buffer, const MacAddress& destination,
                              const MacAddress& source, std::uint8_t type, std::uint8_t value) {
  const std::array<std::uint8_t, 1> d{value};
  return oneEntry(buffer, destination, source, makeEntry(type, d), kLocalCommandFrameLength);
}

std::size_t buildTurboKeyFrame(MutableByteSpan buffer, const MacAddress& source,
                               const MacAddress& destination, const Hp1Key& networkKey,
                               const Hp1Key* deviceKey) {
  const auto inner = selectorAndKey(kTurboKeySelector, networkKey);
  const Hp1Entry keyEntry = makeEntry(kEntrySetKey, inner);
  if (deviceKey == nullptr)
    return oneEntry(buffer, destination, source, keyEntry, kTurboKeyFrameLength);

  std::array<std::uint8_t, 10> envelope{0x01, 0x00};
  writeBytes(envelope, 2, *deviceKey);
  const std::size_t n = oneEntry(buffer, destination, source,
                                 makeEntry(kEntryKeyEnvelope, envelope), kKeyEnvelopeFrameLength);
  if (n == 0) return 0;
  if (writeHp1Block(buffer.first(n), kKeyEnvelopeInnerBlockOffset,
                    std::span<const Hp1Entry>(&keyEntry, 1)) == 0)
    return 0;
  return n;
}

std::size_t buildLocalParametersRequest(MutableByteSpan buffer, const MacAddress& destination,
                                        const MacAddress& source, std::uint8_t selector) {
  std::array<std::uint8_t, kLocalParametersRequestLength> d{};
  d[0] = selector;
  return oneEntry(buffer, destination, source, makeEntry(kEntryLocalParameters, d),
                  kLocalParametersRequestFrameLength);
}

std::size_t buildNetworkStatisticsRequest(MutableByteSpan buffer, const MacAddress& destination,
                                          const MacAddress& source) {
  const std::array<std::uint8_t, 1> d{kNetworkStatisticsRequestMark};
  return oneEntry(buffer, destination, source,
                  Hp1Entry{kEntryNetworkStatistics, kNetworkStatisticsRequestLength, d},
                  kNetworkStatisticsRequestFrameLength);
}

std::size_t buildModeEntry(MutableByteSpan buffer, const MacAddress& destination,
                           const MacAddress& source, const Hp1ModeBytes& modes) {
  return oneEntry(buffer, destination, source, makeEntry(kEntryMode, modes), kModeEntryFrameLength);
}

std::size_t buildModulePiece(MutableByteSpan buffer, const MacAddress& destination,
                             const MacAddress& source, std::uint32_t moduleCode,
                             std::uint32_t offset, ByteSpan piece) {
  if (piece.empty() || piece.size() > kModulePieceMaxData) return 0;
  std::vector<std::uint8_t> payload(kModulePieceHeaderBytes + kModulePieceMaxData);
  writeBe32(payload, 0, moduleCode);
  writeBe32(payload, 4, offset);
  writeBe16(payload, 8, static_cast<std::uint16_t>(piece.size()));
  writeBytes(payload, kModulePieceHeaderBytes, piece);
  return loaderEntry(buffer, destination, source, kLoaderModulePiece,
                     static_cast<std::uint16_t>(piece.size() + kModulePieceHeaderBytes), payload,
                     kModulePieceFrameLength);
}

std::size_t buildLoaderCommand(MutableByteSpan buffer, const MacAddress& destination,
                               const MacAddress& source, std::uint8_t code, std::uint32_t value) {
  if (code != kLoaderCommit && code != kLoaderVerify) return 0;
  std::array<std::uint8_t, 4> payload{};
  writeBe32(payload, 0, value);
  return loaderEntry(buffer, destination, source, code, 4, payload, kLoaderCommandFrameLength);
}

std::size_t buildChecksumRequest(MutableByteSpan buffer, const MacAddress& destination,
                                 const MacAddress& source, std::uint32_t moduleCode,
                                 std::uint32_t moduleLength) {
  std::array<std::uint8_t, 8> payload{};
  writeBe32(payload, 0, moduleCode);
  writeBe32(payload, 4, moduleLength);
  return loaderEntry(buffer, destination, source, kLoaderChecksum, 8, payload,
                     kChecksumRequestFrameLength);
}

}  // namespace quorrel::brantleapi
