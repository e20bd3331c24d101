// The sample parameter block's bytes and the strict key text. The block's validity and key read:
// the parameter block tests, built on it; the firmware chain: the upgrade's chain tests.
#include <gtest/gtest.h>

#include <vector>

#include "make-samples/sample_files.h"
#include "paramblock/parameter_block.h"
#include "platform/checksum32.h"

namespace quorrel::samples {
namespace {

TEST(SampleFiles, ParameterBlockRoundTripAndStrictKeyText) {
  const MacAddress mac{0x02, 0xAB, 0xCD, 0xEF, 0x01, 0x23};
  NetworkMembershipKey nmk{};
  ASSERT_TRUE(parseKeyHex("00112233445566778899aabbccddEEFF", nmk));
  auto block = buildParameterBlock(mac, nmk);
  ASSERT_EQ(block.size(), paramblock::kParameterBlockLength);
  EXPECT_EQ(readMac(block, paramblock::kMacAddressOffset), mac);
  EXPECT_EQ(readText(block, 36, 64), kSampleManufacturerName);
  EXPECT_EQ(checksum32(block), 0u);
  EXPECT_TRUE(buildParameterBlock({0x03, 0, 0, 0, 0, 1}, nmk).empty());
  EXPECT_TRUE(buildParameterBlock(paramblock::kReservedMacAddresses[2], nmk).empty());

  NetworkMembershipKey read = nmk;
  for (const char* bad : {"0011", "00112233445566778899AABBCCDDEEF",
                          "00112233445566778899AABBCCDDEEFG", "00112233445566778899AABBCCDDEEFF00"})
    EXPECT_FALSE(parseKeyHex(bad, read)) << bad;
  EXPECT_EQ(read, nmk);  // untouched on failure
}

}  // namespace
}  // namespace quorrel::samples
