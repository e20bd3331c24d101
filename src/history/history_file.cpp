// Encoding and checking of the history file's header and records.
#include "history/history_file.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>

namespace quorrel::history {

namespace {
std::uint32_t crcOf(ByteSpan bytes) {
  return static_cast<std::uint32_t>(
      ::crc32(::crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

}  // namespace

std::uint32_t toKbps(double mbps) {
  if (!(mbps > 0)) return 0;  // also NaN
  const double kbps = std::round(mbps * 1000.0);
  return kbps >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kbps);
}

std::array<std::uint8_t, header::kSize> encodeHeader() {
  std::array<std::uint8_t, header::kSize> h{};
  writeBytes(h, header::kMagicAt, kMagic);
  writeLe16(h, header::kVersionAt, kFormatVersion);
  writeLe16(h, header::kRecordSizeAt, static_cast<std::uint16_t>(record::kSize));
  writeLe32(h, header::kCheckAt, crcOf(ByteSpan(h).first(header::kCheckAt)));
  return h;
}

void encodeRecord(const Sample& s, MutableByteSpan out) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  writeLe64(out, record::kTimeAt, static_cast<std::uint64_t>(s.time));
  writeMac(out, record::kDeviceAt, s.device);
  writeMac(out, record::kViewerAt, s.viewer);
  writeLe32(out, record::kRateAt, s.kbps);
  writeLe16(out, record::kCountAt, s.count);
  writeU8(out, record::kResolutionAt, static_cast<std::uint8_t>(s.resolution));
  if (out.size() >= record::kSize)
    writeLe32(out, record::kCheckAt, crcOf(ByteSpan(out).first(record::kCheckAt)));
}

std::optional<Sample> decodeRecord(ByteSpan in) {
  if (in.size() < record::kSize) return std::nullopt;
  if (readLe32(in, record::kCheckAt) != crcOf(in.first(record::kCheckAt))) return std::nullopt;
  const std::uint8_t resolution = readU8(in, record::kResolutionAt);
  const std::uint16_t count = readLe16(in, record::kCountAt);
  if (resolution > 1 || count == 0 || readU8(in, record::kReservedAt) != 0) return std::nullopt;
  Sample s;
  s.time = static_cast<std::int64_t>(readLe64(in, record::kTimeAt));
  s.device = readMac(in, record::kDeviceAt);
  s.viewer = readMac(in, record::kViewerAt);
  s.kbps = readLe32(in, record::kRateAt);
  s.count = count;
  s.resolution = static_cast<Resolution>(resolution);
  return s;
}

ParsedFile parseFile(ByteSpan bytes) {
  ParsedFile p;
  const auto expected = encodeHeader();
  if (bytes.size() < header::kSize || !std::equal(expected.begin(), expected.end(), bytes.begin()))
    return p;
  p.state = FileState::Whole;
  p.goodBytes = header::kSize;
  std::size_t bad = 0;
  for (std::size_t at = header::kSize; at < bytes.size(); at += record::kSize) {
    const ByteSpan rest = bytes.subspan(at);
    const auto s = decodeRecord(rest.first(std::min(rest.size(), record::kSize)));
    if (!s) {
      ++bad;
      continue;
    }
    p.dropped += bad;
    bad = 0;
    p.samples.push_back(*s);
    p.goodBytes = at + record::kSize;
  }
  if (p.goodBytes != bytes.size() || p.dropped != 0) p.state = FileState::TailCut;
  return p;
}

}  // namespace quorrel::history
