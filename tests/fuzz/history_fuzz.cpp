// The rate history file from arbitrary bytes: the good part ends on a record boundary, every
// record kept encodes to itself, and compaction keeps the tiers within their caps.
#include <cstdint>
#include <vector>

#include "history/compaction.h"
#include "history/history_file.h"

using namespace quorrel;
using namespace quorrel::history;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ParsedFile p = parseFile(ByteSpan(data, size));
  if (p.state == FileState::Foreign) return p.samples.empty() ? 0 : (__builtin_trap(), 0);
  if (p.goodBytes > size || (p.goodBytes - header::kSize) % record::kSize != 0) __builtin_trap();
  std::vector<std::uint8_t> again(record::kSize);
  for (const Sample& s : p.samples) {
    encodeRecord(s, again);
    const auto back = decodeRecord(again);
    if (!back || !(*back == s)) __builtin_trap();
  }
  Tiers t = splitTiers(p.samples);
  const std::int64_t now = p.samples.empty() ? 0 : p.samples.back().time;
  compact(t, now);
  if (t.cycles.size() > kMaxCycleSamples || t.hourly.size() > kMaxHourlySamples) __builtin_trap();
  return 0;
}
