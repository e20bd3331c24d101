// Header writing, padding, checksum and header reading of simulated frames.
#include "adapter-sim/core/wire.h"

#include <algorithm>

namespace quorrel::sim::wire {

std::vector<std::uint8_t> ethernetFrame(const MacAddress& destination, const MacAddress& source,
                                        std::uint16_t etherType, std::size_t length) {
  std::vector<std::uint8_t> f(std::max(length, kMinFrameLength), 0);
  writeMac(f, kDestinationOffset, destination);
  writeMac(f, kSourceOffset, source);
  writeBe16(f, kEtherTypeOffset, etherType);
  return f;
}

std::vector<std::uint8_t> avFrame(const MacAddress& destination, const MacAddress& source,
                                  std::uint8_t mmv, std::uint16_t mmType,
                                  std::size_t payloadLength) {
  auto f = ethernetFrame(destination, source, kEtherTypeAv, payloadOffset(mmv) + payloadLength);
  writeU8(f, kMmvOffset, mmv);
  writeLe16(f, kMmTypeOffset, mmType);
  writeBytes(f, ouiOffset(mmv), ByteSpan(kOui));
  return f;
}

std::uint32_t checksum32(ByteSpan block, std::uint32_t seed) {
  std::uint32_t x = seed;
  for (std::size_t at = 0; at + 4 <= block.size(); at += 4) x ^= readLe32(block, at);
  return ~x;
}

std::optional<Request> parseRequest(ByteSpan frame) {
  if (frame.size() < kEthernetHeaderLength) return std::nullopt;
  Request r;
  r.frame = frame;
  r.destination = readMac(frame, kDestinationOffset);
  r.source = readMac(frame, kSourceOffset);
  r.etherType = readBe16(frame, kEtherTypeOffset);
  if (r.etherType == kEtherTypeHp1) {
    if (frame.size() < kHp1HeaderLength || readU8(frame, kHp1EntryCountOffset) == 0)
      return std::nullopt;
    r.type = readU8(frame, kHp1EntryTypeOffset);
    r.payload = kHp1HeaderLength;
    return r;
  }
  if (r.etherType != kEtherTypeAv || frame.size() < kPayloadOffsetV0) return std::nullopt;
  r.mmv = readU8(frame, kMmvOffset);
  if (r.mmv > 1 || frame.size() < payloadOffset(r.mmv)) return std::nullopt;
  const std::size_t oui = ouiOffset(r.mmv);
  if (!std::equal(std::begin(kOui), std::end(kOui), frame.begin() + oui)) return std::nullopt;
  r.type = readLe16(frame, kMmTypeOffset);
  r.payload = payloadOffset(r.mmv);
  return r;
}

}  // namespace quorrel::sim::wire
