// Byte readers and writers never step outside their span; MAC text both ways; checksum32 on
// trailing bytes and unaligned words.
#include <gtest/gtest.h>

#include <vector>

#include "platform/bytes.h"
#include "platform/checksum32.h"

namespace quorrel {
namespace {

TEST(Bytes, OutsideTheSpanReadsGiveZeroWritesAreDroppedAndTextsEndInATerminator) {
  const std::uint8_t raw[3] = {0x01, 0x02, 0x03};
  ByteSpan b(raw);
  EXPECT_EQ(readLe16(b, 0), 0x0201);
  EXPECT_EQ(readBe16(b, 1), 0x0203);
  EXPECT_EQ(readLe16(b, 2), 0x0003);
  EXPECT_EQ(readLe32(b, 1), 0x0302u);
  EXPECT_EQ(readU8(b, 99), 0);
  std::uint8_t out[4] = {};
  writeBe32(MutableByteSpan(out).first(3), 1, 0xAABBCCDD);  // dropped past the span
  EXPECT_EQ(out[1], 0xAA);
  EXPECT_EQ(out[2], 0xBB);
  EXPECT_EQ(out[3], 0x00);

  // Text fields end in a terminator; MAC text round trips.
  std::uint8_t field[5];
  std::memset(field, 0xEE, sizeof field);
  writeText(field, 0, 5, "abcdefgh");
  EXPECT_EQ(readText(field, 0, 5), "abcd");
  EXPECT_EQ(field[4], 0);
  const std::uint8_t unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(readText(unterminated, 0, 10), "xyz");
  MacAddress m{};
  ASSERT_TRUE(parseMac("00:b0:52:0A:ff:01", m));
  EXPECT_EQ(formatMac(m), "00:B0:52:0A:FF:01");
  EXPECT_FALSE(parseMac("00:b0:52:0A:ff", m));
  EXPECT_FALSE(parseMac("00:b0:52:0A:ff:0g", m));
}

// Its values are checked against an independent reference wherever blocks and pieces are built
// (support/av_frames.h).
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
