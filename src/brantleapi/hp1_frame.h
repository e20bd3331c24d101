// The HomePlug 1.0 management frame (ethertype 0x887B): one encoder and one parser for its
// entry blocks, shared by every HomePlug 1.0, Turbo and loader frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/bytes.h"
#include "transport/ethertypes.h"

namespace quorrel::brantleapi {

// A frame: destination, source, then one block. A block: ethertype, entry count, entries; an
// entry: type, length, data. All multi-byte values are big-endian.
inline constexpr std::size_t kHp1DestinationOffset = 0;
inline constexpr std::size_t kHp1SourceOffset = 6;
inline constexpr std::size_t kHp1BlockOffset = transport::kEtherTypeOffset;
inline constexpr std::size_t kHp1EntryCountOffset = 14;
inline constexpr std::size_t kHp1EntryTypeOffset = 15;
inline constexpr std::size_t kHp1EntryLengthOffset = 16;
inline constexpr std::size_t kHp1EntryDataOffset = 17;
// Within a block, relative to its start.
inline constexpr std::size_t kBlockCountAt = 2;
inline constexpr std::size_t kBlockFirstEntryAt = 3;
inline constexpr std::size_t kEntryHeaderLength = 2;

// One entry to encode. `length` is the value of the length byte; a few entries announce more
// (network statistics request) or less (loader entries) than the data written with them.
struct Hp1Entry {
  std::uint8_t type = 0;
  std::uint8_t length = 0;
  ByteSpan data;
};
// An entry whose length byte is the size of its data.
Hp1Entry makeEntry(std::uint8_t type, ByteSpan data);

// Writes a block at `at`. Returns the offset just past the last data byte, or 0 when the
// block does not fit the buffer.
std::size_t writeHp1Block(MutableByteSpan buffer, std::size_t at,
                          std::span<const Hp1Entry> entries);

// Zero-fills the first `sentLength` bytes of `buffer` and writes the addresses and one block.
// Returns `sentLength`, or 0 when the buffer is shorter or the entries run past `sentLength`.
std::size_t encodeHp1Frame(MutableByteSpan buffer, const MacAddress& destination,
                           const MacAddress& source, std::span<const Hp1Entry> entries,
                           std::size_t sentLength);

// A parsed entry. `data` is cut at the end of the captured bytes; `complete` tells whether
// the length byte fitted.
struct Hp1EntryView {
  std::uint8_t type = 0;
  std::uint8_t length = 0;
  std::size_t dataOffset = 0;  // in the frame
  ByteSpan data;
  bool complete = false;
};

inline constexpr std::size_t kMaxParsedEntries = 4;

struct Hp1BlockView {
  std::uint8_t count = 0;  // as announced
  std::array<Hp1EntryView, kMaxParsedEntries> entries{};
  std::size_t parsed = 0;  // entries read, at most kMaxParsedEntries; stops at a cut one
};

// Reads the block at `at`: none when the ethertype or count byte is missing or the ethertype
// is not 0x887B. Entries after the first cut one are not read.
std::optional<Hp1BlockView> parseHp1Block(ByteSpan frame, std::size_t at);

struct Hp1FrameView {
  ByteSpan bytes;  // the whole captured frame
  MacAddress destination{};
  MacAddress source{};
  Hp1BlockView block;

  bool hasEntry() const { return block.parsed > 0; }
  const Hp1EntryView& first() const { return block.entries[0]; }
  std::uint8_t entryType() const { return hasEntry() ? first().type : 0; }
};

// Any 0x887B frame that holds the addresses and the block's ethertype and count.
std::optional<Hp1FrameView> parseHp1Frame(ByteSpan frame);

// A reply worth decoding: at least one entry, and its length byte within the captured bytes.
// Decoders read at frame offsets beyond the entry only within the captured bytes.
std::optional<Hp1FrameView> parseHp1Reply(ByteSpan frame);

bool isHp1Frame(ByteSpan frame);

}  // namespace quorrel::brantleapi
