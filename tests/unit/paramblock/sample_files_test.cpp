// Sample files: the parameter block round trip and the generator's refusals. The sample firmware
// chain is walked by the upgrade's chain tests and read back through the simulated adapter.
#include <gtest/gtest.h>

#include <vector>

#include "make-samples/sample_files.h"
#include "paramblock/parameter_block.h"
#include "platform/checksum32.h"

namespace quorrel::samples {
namespace {

using paramblock::ParameterBlock;
using paramblock::ParameterBlockResult;

TEST(SampleFiles, ParameterBlockRoundTripAndStrictKeyText) {
  const MacAddress mac{0x02, 0xAB, 0xCD, 0xEF, 0x01, 0x23};
  NetworkMembershipKey nmk{};
  ASSERT_TRUE(parseKeyHex("00112233445566778899aabbccddEEFF", nmk));
  auto block = buildParameterBlock(mac, nmk);
  ASSERT_EQ(block.size(), paramblock::kParameterBlockLength);
  EXPECT_EQ(readLe16(block, 0), 0x0404);
  EXPECT_EQ(readLe16(block, paramblock::kLengthOffset), 15560);
  EXPECT_EQ(readMac(block, paramblock::kMacAddressOffset), mac);
  EXPECT_EQ(readText(block, 36, 64), kSampleManufacturerName);
  EXPECT_EQ(checksum32(block), 0u);
  ParameterBlock view;
  EXPECT_EQ(view.attachImage(block), ParameterBlockResult::kSuccess);
  NetworkMembershipKey read{};
  EXPECT_EQ(view.getNetworkMembershipKey(read), ParameterBlockResult::kSuccess);
  EXPECT_EQ(read, nmk);
  EXPECT_TRUE(buildParameterBlock({0x03, 0, 0, 0, 0, 1}, nmk).empty());
  EXPECT_TRUE(buildParameterBlock(paramblock::kReservedMacAddresses[2], nmk).empty());

  for (const char* bad : {"0011", "00112233445566778899AABBCCDDEEF",
                          "00112233445566778899AABBCCDDEEFG", "00112233445566778899AABBCCDDEEFF00"})
    EXPECT_FALSE(parseKeyHex(bad, read)) << bad;
  EXPECT_EQ(read, nmk);  // untouched on failure
}

TEST(SampleFiles, GeneratorRefusesOutOfRangeRequestsAndHeadersShowDamage) {
  EXPECT_TRUE(sampleFirmwareImages(0, 10).empty());
  EXPECT_TRUE(sampleFirmwareImages(kMaxSampleImages + 1, 10).empty());
  EXPECT_TRUE(sampleFirmwareImages(1, kMaxSampleImageSize + 1).empty());
  EXPECT_TRUE(buildFirmwareFile({}).empty());
  auto file = buildFirmwareFile(sampleFirmwareImages(1, 8));
  NvmImageHeader h;
  EXPECT_FALSE(decodeNvmImageHeader(ByteSpan(file).first(43), 0, h));
  EXPECT_FALSE(decodeNvmImageHeader(file, SIZE_MAX, h));
  file[17] ^= 0x40;
  EXPECT_FALSE(nvmHeaderChecksumOk(file, 0));
}

}  // namespace
}  // namespace quorrel::samples
