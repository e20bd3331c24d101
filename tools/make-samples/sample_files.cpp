// Sample parameter blocks and firmware image chains.
#include "make-samples/sample_files.h"

#include <algorithm>
#include <limits>

#include "platform/checksum32.h"

namespace quorrel::samples {

bool encodeNvmImageHeader(const NvmImageHeader& h, MutableByteSpan file, std::size_t at) {
  if (at > file.size() || file.size() - at < kNvmHeaderLength) return false;
  const MutableByteSpan out = file.subspan(at, kNvmHeaderLength);
  writeLe32(out, kNvmHeaderVersionOffset, h.headerVersion);
  writeLe32(out, kNvmRomAddressOffset, h.romAddress);
  writeLe32(out, kNvmLoadAddressOffset, h.loadAddress);
  writeLe32(out, kNvmImageLengthOffset, h.imageLength);
  writeLe32(out, kNvmImageChecksumOffset, h.imageChecksum);
  writeLe32(out, kNvmEntryAddressOffset, h.entryAddress);
  for (std::size_t i = 0; i < h.further.size(); ++i) writeLe32(out, 24 + 4 * i, h.further[i]);
  writeLe32(out, kNvmNextHeaderOffset, h.nextHeaderOffset);
  writeLe32(out, kNvmHeaderChecksumOffset,
            checksum32(ByteSpan(out).first(kNvmHeaderChecksumOffset)));
  return true;
}

bool decodeNvmImageHeader(ByteSpan file, std::size_t at, NvmImageHeader& h) {
  if (at > file.size() || file.size() - at < kNvmHeaderLength) return false;
  const ByteSpan in = file.subspan(at, kNvmHeaderLength);
  h.headerVersion = readLe32(in, kNvmHeaderVersionOffset);
  h.romAddress = readLe32(in, kNvmRomAddressOffset);
  h.loadAddress = readLe32(in, kNvmLoadAddressOffset);
  h.imageLength = readLe32(in, kNvmImageLengthOffset);
  h.imageChecksum = readLe32(in, kNvmImageChecksumOffset);
  h.entryAddress = readLe32(in, kNvmEntryAddressOffset);
  for (std::size_t i = 0; i < h.further.size(); ++i) h.further[i] = readLe32(in, 24 + 4 * i);
  h.nextHeaderOffset = readLe32(in, kNvmNextHeaderOffset);
  h.headerChecksum = readLe32(in, kNvmHeaderChecksumOffset);
  return true;
}

bool nvmHeaderChecksumOk(ByteSpan file, std::size_t at) {
  if (at > file.size() || file.size() - at < kNvmHeaderLength) return false;
  return checksum32(file.subspan(at, kNvmHeaderLength)) == 0;
}

std::vector<FirmwareImage> sampleFirmwareImages(std::size_t count, std::size_t size) {
  std::vector<FirmwareImage> images;
  if (count == 0 || count > kMaxSampleImages || size > kMaxSampleImageSize) return images;
  for (std::size_t i = 0; i < count; ++i) {
    FirmwareImage image;
    image.loadAddress = kSampleLoadAddress + static_cast<std::uint32_t>(i) * kSampleLoadStride;
    image.entryAddress = image.loadAddress;
    image.bytes.resize(size);
    // A small linear congruential walk: cheap, reproducible, and no two images alike.
    std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(i + 1);
    for (std::uint8_t& b : image.bytes) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(state >> 24);
    }
    images.push_back(std::move(image));
  }
  return images;
}

std::vector<std::uint8_t> buildFirmwareFile(std::span<const FirmwareImage> images) {
  std::vector<std::uint8_t> file;
  if (images.empty()) return file;
  std::uint64_t total = 0;
  for (const FirmwareImage& image : images) total += kNvmHeaderLength + image.bytes.size();
  if (total > std::numeric_limits<std::uint32_t>::max()) return file;
  file.resize(static_cast<std::size_t>(total));

  std::size_t at = 0;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const FirmwareImage& image = images[i];
    const std::size_t imageAt = at + kNvmHeaderLength;
    const std::size_t next = imageAt + image.bytes.size();
    NvmImageHeader h;
    h.romAddress = static_cast<std::uint32_t>(imageAt);
    h.loadAddress = image.loadAddress;
    h.imageLength = static_cast<std::uint32_t>(image.bytes.size());
    h.imageChecksum = checksum32(image.bytes);
    h.entryAddress = image.entryAddress;
    h.nextHeaderOffset = i + 1 < images.size() ? static_cast<std::uint32_t>(next) : 0;
    encodeNvmImageHeader(h, file, at);
    std::copy(image.bytes.begin(), image.bytes.end(), file.begin() + imageAt);
    at = next;
  }
  return file;
}

std::vector<std::uint8_t> buildParameterBlock(const MacAddress& mac,
                                              const NetworkMembershipKey& nmk) {
  using namespace paramblock;
  if (isRefusedDeviceMac(mac)) return {};
  std::vector<std::uint8_t> block(kParameterBlockLength, 0);
  ParameterBlock view;
  if (view.resetToDefaults(block) != ParameterBlockResult::kSuccess ||
      view.setMacAddress(mac) != ParameterBlockResult::kSuccess ||
      view.setNetworkMembershipKey(nmk, 0) != ParameterBlockResult::kSuccess ||
      view.updateChecksum(block) != ParameterBlockResult::kSuccess)
    return {};
  return block;
}

bool parseKeyHex(std::string_view text, NetworkMembershipKey& key) {
  if (text.size() != key.size() * 2) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  NetworkMembershipKey parsed{};
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    const int hi = nibble(text[2 * i]), lo = nibble(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    parsed[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  key = parsed;
  return true;
}

std::vector<std::uint8_t> breakFirmwareFile(std::vector<std::uint8_t> file, ChainBreak how) {
  NvmImageHeader first, second;
  if (!decodeNvmImageHeader(file, 0, first) || first.nextHeaderOffset == 0 ||
      !decodeNvmImageHeader(file, first.nextHeaderOffset, second))
    return {};
  switch (how) {
    case ChainBreak::Loop:
      second.nextHeaderOffset = first.nextHeaderOffset;  // to itself: a loop
      break;
    case ChainBreak::Backward:
      second.nextHeaderOffset = static_cast<std::uint32_t>(kNvmHeaderLength + 4);
      break;
    case ChainBreak::PastEnd:
      second.nextHeaderOffset = static_cast<std::uint32_t>(file.size() + 4);
      break;
    case ChainBreak::Checksum:
      writeLe32(file, kNvmHeaderChecksumOffset, first.headerChecksum ^ 1u);
      return file;
  }
  encodeNvmImageHeader(second, file, first.nextHeaderOffset);
  return file;
}

std::vector<std::uint8_t> breakParameterBlock(std::vector<std::uint8_t> block, BlockBreak how) {
  if (block.size() < paramblock::kHeaderLength + 6) return {};
  switch (how) {
    case BlockBreak::Short:
      block.resize(16);
      break;
    case BlockBreak::Truncated:
      writeU8(block, 0, 1);
      writeU8(block, 1, 4);
      block.resize(readLe16(block, paramblock::kLengthOffset) / 2);
      break;
    case BlockBreak::GroupMac:
      writeU8(block, paramblock::kMacAddressOffset, 0x01);
      break;
  }
  return block;
}

}  // namespace quorrel::samples
