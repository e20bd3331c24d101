// checksum32 on trailing bytes and unaligned words. Its values are checked against an
// independent reference wherever blocks and pieces are built (support/av_frames.h).
#include <gtest/gtest.h>

#include <vector>

#include "platform/checksum32.h"

namespace quorrel {
namespace {

TEST(Checksum32, TrailingBytesIgnoredAndAlignmentIrrelevant) {
  const std::uint8_t withTail[7] = {0x01, 0x02, 0x03, 0x04, 0xAA, 0xBB, 0xCC};
  EXPECT_EQ(checksum32(withTail), ~0x04030201u);
  std::vector<std::uint8_t> buffer(13, 0);
  for (std::size_t i = 0; i < 12; ++i) buffer[1 + i] = static_cast<std::uint8_t>(i * 17 + 3);
  std::vector<std::uint8_t> aligned(buffer.begin() + 1, buffer.end());
  EXPECT_EQ(checksum32(ByteSpan(buffer).subspan(1)), checksum32(aligned));
}

}  // namespace
}  // namespace quorrel
