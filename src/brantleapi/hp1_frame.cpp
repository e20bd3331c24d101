// Encoder and parser of the 0x887B entry blocks.
#include "brantleapi/hp1_frame.h"

#include <algorithm>

namespace quorrel::brantleapi {

Hp1Entry makeEntry(std::uint8_t type, ByteSpan data) {
  return Hp1Entry{type, static_cast<std::uint8_t>(std::min<std::size_t>(data.size(), 0xFF)), data};
}

std::size_t writeHp1Block(MutableByteSpan buffer, std::size_t at,
                          std::span<const Hp1Entry> entries) {
  if (entries.size() > 0xFF) return 0;
  std::size_t end = at + kBlockFirstEntryAt;
  for (const auto& e : entries) end += kEntryHeaderLength + e.data.size();
  if (end > buffer.size()) return 0;

  writeBe16(buffer, at, transport::kEtherTypeHomePlug1);
  writeU8(buffer, at + kBlockCountAt, static_cast<std::uint8_t>(entries.size()));
  std::size_t pos = at + kBlockFirstEntryAt;
  for (const auto& e : entries) {
    writeU8(buffer, pos, e.type);
    writeU8(buffer, pos + 1, e.length);
    writeBytes(buffer, pos + kEntryHeaderLength, e.data);
    pos += kEntryHeaderLength + e.data.size();
  }
  return pos;
}

std::size_t encodeHp1Frame(MutableByteSpan buffer, const MacAddress& destination,
                           const MacAddress& source, std::span<const Hp1Entry> entries,
                           std::size_t sentLength) {
  if (sentLength > buffer.size() || sentLength < kHp1EntryTypeOffset) return 0;
  MutableByteSpan frame = buffer.first(sentLength);
  std::fill(frame.begin(), frame.end(), std::uint8_t{0});
  writeMac(frame, kHp1DestinationOffset, destination);
  writeMac(frame, kHp1SourceOffset, source);
  if (writeHp1Block(frame, kHp1BlockOffset, entries) == 0) {
    std::fill(frame.begin(), frame.end(), std::uint8_t{0});
    return 0;
  }
  return sentLength;
}

std::optional<Hp1BlockView> parseHp1Block(ByteSpan frame, std::size_t at) {
  if (at > frame.size() || frame.size() - at < kBlockFirstEntryAt) return std::nullopt;
  if (readBe16(frame, at) != transport::kEtherTypeHomePlug1) return std::nullopt;
  Hp1BlockView block;
  block.count = readU8(frame, at + kBlockCountAt);
  std::size_t pos = at + kBlockFirstEntryAt;
  const std::size_t wanted = std::min<std::size_t>(block.count, kMaxParsedEntries);
  while (block.parsed < wanted && frame.size() - pos >= kEntryHeaderLength) {
    Hp1EntryView& e = block.entries[block.parsed];
    e.type = frame[pos];
    e.length = frame[pos + 1];
    e.dataOffset = pos + kEntryHeaderLength;
    const std::size_t left = frame.size() - e.dataOffset;
    e.complete = e.length <= left;
    e.data = frame.subspan(e.dataOffset, std::min<std::size_t>(e.length, left));
    ++block.parsed;
    if (!e.complete) break;
    pos = e.dataOffset + e.length;
  }
  return block;
}

std::optional<Hp1FrameView> parseHp1Frame(ByteSpan frame) {
  auto block = parseHp1Block(frame, kHp1BlockOffset);
  if (!block) return std::nullopt;
  Hp1FrameView v;
  v.bytes = frame;
  v.destination = readMac(frame, kHp1DestinationOffset);
  v.source = readMac(frame, kHp1SourceOffset);
  v.block = *block;
  return v;
}

std::optional<Hp1FrameView> parseHp1Reply(ByteSpan frame) {
  auto v = parseHp1Frame(frame);
  if (!v || !v->hasEntry() || !v->first().complete) return std::nullopt;
  return v;
}

bool isHp1Frame(ByteSpan frame) {
  return frame.size() >= kHp1EntryCountOffset &&
         readBe16(frame, kHp1BlockOffset) == transport::kEtherTypeHomePlug1;
}

}  // namespace quorrel::brantleapi
