// The bytes of "rate-history.dat": a header, then fixed-size records that each carry their own
// check value, so a torn or damaged record is found on its own and the file stays appendable.
//
// Header (16 bytes):   0 magic "QRLRATES" | 8 format version, u16 LE | 10 record size, u16 LE
//                      12 CRC-32 of bytes 0..11, u32 LE
// Record (32 bytes):   0 time, seconds since the epoch, i64 LE | 8 device MAC | 14 viewer MAC
//                      20 rate in kbit/s, u32 LE | 24 samples averaged, u16 LE (1: one cycle)
//                      26 resolution, u8 (0 cycle, 1 hour) | 27 zero
//                      28 CRC-32 of bytes 0..27, u32 LE
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::history {

inline constexpr std::array<std::uint8_t, 8> kMagic{'Q', 'R', 'L', 'R', 'A', 'T', 'E', 'S'};
inline constexpr std::uint16_t kFormatVersion = 1;

namespace header {
inline constexpr std::size_t kMagicAt = 0;
inline constexpr std::size_t kVersionAt = 8;
inline constexpr std::size_t kRecordSizeAt = 10;
inline constexpr std::size_t kCheckAt = 12;
inline constexpr std::size_t kSize = 16;
}  // namespace header

namespace record {
inline constexpr std::size_t kTimeAt = 0;
inline constexpr std::size_t kDeviceAt = 8;
inline constexpr std::size_t kViewerAt = 14;
inline constexpr std::size_t kRateAt = 20;
inline constexpr std::size_t kCountAt = 24;
inline constexpr std::size_t kResolutionAt = 26;
inline constexpr std::size_t kReservedAt = 27;
inline constexpr std::size_t kCheckAt = 28;
inline constexpr std::size_t kSize = 32;
}  // namespace record

enum class Resolution : std::uint8_t { Cycle = 0, Hour = 1 };

// One stored rate: what `viewer` (a local device) saw of `device` at `time` (for an hourly
// average, the start of the hour), averaged over `count` cycle samples.
struct Sample {
  std::int64_t time = 0;
  MacAddress device{};
  MacAddress viewer{};
  std::uint32_t kbps = 0;
  std::uint16_t count = 1;
  Resolution resolution = Resolution::Cycle;

  double mbps() const { return kbps / 1000.0; }
  bool operator==(const Sample&) const = default;
};

// Mbps to the stored kbit/s, rounded and clamped to what the field holds.
std::uint32_t toKbps(double mbps);

std::array<std::uint8_t, header::kSize> encodeHeader();
void encodeRecord(const Sample& s, MutableByteSpan out);  // out: record::kSize bytes
// Empty when the check value, the resolution, the count or the reserved byte is wrong.
std::optional<Sample> decodeRecord(ByteSpan in);

enum class FileState {
  Whole,    // header and every record good
  TailCut,  // records were damaged or torn: `goodBytes` ends after the last good one
  Foreign,  // not a history file of this format (or too short for a header)
};

struct ParsedFile {
  FileState state = FileState::Foreign;
  std::vector<Sample> samples;  // the good records, in file order
  std::size_t goodBytes = 0;    // header and records up to the end of the last good one
  std::size_t dropped = 0;      // damaged records passed over (not counting a torn tail)
};

// Reads a whole file. Records after a damaged one are kept when they check out (the record
// size is fixed, so one bad record does not shift the rest).
ParsedFile parseFile(ByteSpan bytes);

}  // namespace quorrel::history
