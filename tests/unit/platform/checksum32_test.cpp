// checksum32: empty blocks, seeds, trailing bytes and unaligned words.
#include <gtest/gtest.h>

#include <vector>

#include "platform/checksum32.h"

namespace quorrel {
namespace {

TEST(Checksum32, KnownValues) {
  EXPECT_EQ(checksum32({}), 0xFFFFFFFFu);
  const std::uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(checksum32(ones), 0u);
  const std::uint8_t two[8] = {0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(checksum32(two), ~(0x04030201u ^ 0x40302010u));
  // The received checksum as seed: a good block checks to 0.
  EXPECT_EQ(checksum32(two, checksum32(two)), 0u);
}

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
