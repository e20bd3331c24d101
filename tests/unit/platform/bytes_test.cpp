// Byte readers and writers never step outside their span; MAC text both ways.
#include <gtest/gtest.h>

#include "platform/bytes.h"

namespace quorrel {
namespace {

TEST(Bytes, ReadsOutsideTheSpanGiveZeroAndWritesThereAreDropped) {
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
}

TEST(Bytes, TextFieldsEndInATerminatorAndMacTextRoundTrips) {
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
  EXPECT_TRUE(isGroupMac(kBroadcastMac));
  EXPECT_FALSE(isGroupMac(kLocalDeviceMac));
}

}  // namespace
}  // namespace quorrel
