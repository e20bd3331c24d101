#include "upgrade/nvm_image.h"

#include "platform/checksum32.h"

namespace quorrel::upgrade {

std::optional<NvmImageHeader> walkImageChain(ByteSpan buffer) {
  std::size_t at = 0;
  for (;;) {
    if (buffer.size() < kNvmHeaderLength || at > buffer.size() - kNvmHeaderLength) return {};
    const ByteSpan words = buffer.subspan(at, kNvmHeaderLength);
    if (checksum32(words) != 0) return {};
    NvmImageHeader h;
    h.offset = at;
    h.loadAddress = readLe32(words, kNvmLoadAddressAt);
    h.imageLength = readLe32(words, kNvmImageLengthAt);
    h.imageChecksum = readLe32(words, kNvmImageChecksumAt);
    h.entryAddress = readLe32(words, kNvmEntryAddressAt);
    h.nextHeaderOffset = readLe32(words, kNvmNextHeaderAt);
    h.headerChecksum = readLe32(words, kNvmHeaderChecksumAt);
    const std::size_t imageAt = at + kNvmHeaderLength;
    if (h.imageLength > buffer.size() - imageAt) return {};
    if (h.nextHeaderOffset == 0) return h;
    if (h.nextHeaderOffset < imageAt) return {};
    at = h.nextHeaderOffset;
  }
}

}  // namespace quorrel::upgrade
