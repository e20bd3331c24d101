// Sample files: the parameter block round trip and the firmware image chain, byte by byte.
#include <gtest/gtest.h>

#include <vector>

#include "make-samples/sample_files.h"
#include "platform/checksum32.h"
#include "paramblock/parameter_block.h"

namespace quorrel::samples {
namespace {

using paramblock::ParameterBlock;
using paramblock::ParameterBlockResult;

TEST(SampleFiles, ParameterBlockRoundTrip) {
  const MacAddress mac{0x02, 0xAB, 0xCD, 0xEF, 0x01, 0x23};
  NetworkMembershipKey nmk{};
  ASSERT_TRUE(parseKeyHex("00112233445566778899aabbccddEEFF", nmk));
  auto block = buildParameterBlock(mac, nmk);
  ASSERT_EQ(block.size(), paramblock::kParameterBlockLength);
  EXPECT_EQ(block[0], 4);
  EXPECT_EQ(block[1], 4);
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
}

TEST(SampleFiles, KeyTextIsStrict) {
  NetworkMembershipKey key{};
  key.fill(0x77);
  EXPECT_FALSE(parseKeyHex("0011", key));
  EXPECT_FALSE(parseKeyHex("00112233445566778899AABBCCDDEEF", key));
  EXPECT_FALSE(parseKeyHex("00112233445566778899AABBCCDDEEFG", key));
  EXPECT_FALSE(parseKeyHex("00112233445566778899AABBCCDDEEFF00", key));
  EXPECT_EQ(key[0], 0x77);  // untouched on failure
}

TEST(SampleFiles, FirmwareChainBytesAndWalk) {
  constexpr std::size_t kImages = 3, kSize = 1001;  // odd size: headers land unaligned
  const auto images = sampleFirmwareImages(kImages, kSize);
  ASSERT_EQ(images.size(), kImages);
  EXPECT_NE(images[0].bytes, images[1].bytes);
  const auto file = buildFirmwareFile(images);
  ASSERT_EQ(file.size(), kImages * (kNvmHeaderLength + kSize));

  // The first header's words at their offsets.
  EXPECT_EQ(readLe32(file, 8), kSampleLoadAddress);
  EXPECT_EQ(readLe32(file, 12), kSize);
  EXPECT_EQ(readLe32(file, 20), kSampleLoadAddress);
  EXPECT_EQ(readLe32(file, 36), kNvmHeaderLength + kSize);

  // Walk the chain to its end as the upgrade does.
  std::size_t at = 0, seen = 0;
  for (;;) {
    ASSERT_LT(seen, kImages);
    ASSERT_TRUE(nvmHeaderChecksumOk(file, at)) << "header " << seen;
    std::uint32_t x = 0;
    for (std::size_t w = 0; w < 11; ++w) x ^= readLe32(file, at + 4 * w);
    EXPECT_EQ(x, 0xFFFFFFFFu);
    NvmImageHeader h;
    ASSERT_TRUE(decodeNvmImageHeader(file, at, h));
    EXPECT_EQ(h.loadAddress, kSampleLoadAddress + seen * kSampleLoadStride);
    ASSERT_LE(at + kNvmHeaderLength + h.imageLength, file.size());
    const ByteSpan image = ByteSpan(file).subspan(at + kNvmHeaderLength, h.imageLength);
    EXPECT_EQ(h.imageChecksum, checksum32(image));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), images[seen].bytes.begin()));
    ++seen;
    if (h.nextHeaderOffset == 0) break;
    ASSERT_GT(h.nextHeaderOffset, at);
    at = h.nextHeaderOffset;
  }
  EXPECT_EQ(seen, kImages);
}

TEST(SampleFiles, HeaderCodecRefusesShortFilesAndDetectsDamage) {
  auto file = buildFirmwareFile(sampleFirmwareImages(1, 8));
  NvmImageHeader h;
  EXPECT_TRUE(decodeNvmImageHeader(file, 0, h));
  EXPECT_EQ(h.nextHeaderOffset, 0u);
  EXPECT_FALSE(decodeNvmImageHeader(ByteSpan(file).first(43), 0, h));
  EXPECT_FALSE(decodeNvmImageHeader(file, SIZE_MAX, h));
  EXPECT_FALSE(nvmHeaderChecksumOk(file, 9));
  std::vector<std::uint8_t> small(43);
  EXPECT_FALSE(encodeNvmImageHeader(h, small, 0));
  file[17] ^= 0x40;
  EXPECT_FALSE(nvmHeaderChecksumOk(file, 0));

  EXPECT_TRUE(sampleFirmwareImages(0, 10).empty());
  EXPECT_TRUE(sampleFirmwareImages(kMaxSampleImages + 1, 10).empty());
  EXPECT_TRUE(sampleFirmwareImages(1, kMaxSampleImageSize + 1).empty());
  EXPECT_TRUE(buildFirmwareFile({}).empty());
}

}  // namespace
}  // namespace quorrel::samples
