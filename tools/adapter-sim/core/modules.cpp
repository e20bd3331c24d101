// Default modules from the sample builders; sealing and checks with the simulation's own
// checksum, so the host's code is never what checks the host.
#include "adapter-sim/core/modules.h"

#include <algorithm>

#include "adapter-sim/core/scenario.h"
#include "adapter-sim/core/wire.h"
#include "make-samples/sample_files.h"

namespace quorrel::sim {

namespace {

constexpr std::size_t kBlockLengthAt = 4;
constexpr std::size_t kBlockChecksumAt = 8;
constexpr std::size_t kBlockHeaderLength = 12;
constexpr std::size_t kBlockMacAt = 12;
constexpr std::size_t kBlockKeyAt = 100;
constexpr std::size_t kBlockKeyEnd = kBlockKeyAt + 16;

constexpr std::size_t kImageHeaderLength = 44;
constexpr std::size_t kImageLengthAt = 12;
constexpr std::size_t kImageNextAt = 36;

// Stands in for an adapter MAC address that a block may not carry (a reserved one).
constexpr MacAddress kPlaceholderMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

void seal(MutableByteSpan block) {
  const std::size_t length = readLe16(block, kBlockLengthAt);
  writeLe32(block, kBlockChecksumAt, 0);
  writeLe32(block, kBlockChecksumAt, wire::checksum32(ByteSpan(block).first(length)));
}

}  // namespace

bool parameterBlockSealed(ByteSpan block) {
  const std::size_t length = readLe16(block, kBlockLengthAt);
  return length >= kBlockHeaderLength && length <= block.size() &&
         wire::checksum32(block.first(length)) == 0;
}

bool firmwareChainIntact(ByteSpan image) {
  std::size_t at = 0;
  for (;;) {
    if (image.size() < kImageHeaderLength || at > image.size() - kImageHeaderLength) return false;
    const ByteSpan header = image.subspan(at, kImageHeaderLength);
    if (wire::checksum32(header) != 0) return false;
    const std::uint64_t end =
        std::uint64_t{at} + kImageHeaderLength + readLe32(header, kImageLengthAt);
    if (end > image.size()) return false;
    const std::uint32_t next = readLe32(header, kImageNextAt);
    if (next == 0) return true;
    if (next < at + kImageHeaderLength) return false;
    at = next;
  }
}

void prepareModules(Adapter& a) {
  AdapterModules& m = a.modules;
  if (m.firmware.empty())
    m.firmware = samples::buildFirmwareFile(
        samples::sampleFirmwareImages(kDefaultImageCount, kDefaultImageSize));
  if (m.parameterBlock.empty()) {
    const bool refused = isGroupMac(a.mac) || isZeroMac(a.mac) ||
                         std::find(paramblock::kReservedMacAddresses.begin(),
                                   paramblock::kReservedMacAddresses.end(),
                                   a.mac) != paramblock::kReservedMacAddresses.end();
    m.parameterBlock =
        samples::buildParameterBlock(refused ? kPlaceholderMac : a.mac, a.networkKey);
  }
  // The adapter's key may have been set since the block was built.
  MutableByteSpan block(m.parameterBlock);
  if (block.size() < kBlockKeyEnd) return;
  const bool sameMac = readMac(block, kBlockMacAt) == a.mac;
  const bool sameKey =
      std::equal(a.networkKey.begin(), a.networkKey.end(), block.begin() + kBlockKeyAt);
  if (sameMac && sameKey) return;
  const bool wasSealed = parameterBlockSealed(block);
  writeMac(block, kBlockMacAt, a.mac);
  writeBytes(block, kBlockKeyAt, a.networkKey);
  if (wasSealed) seal(block);
}

}  // namespace quorrel::sim
