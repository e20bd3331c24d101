// ParameterBlock: header checks, buffers shorter than the image claims, checksum renewal, the
// MAC address rules and the key read.
#include <gtest/gtest.h>

#include <vector>

#include "make-samples/sample_files.h"
#include "platform/checksum32.h"
#include "paramblock/parameter_block.h"

namespace quorrel::paramblock {
namespace {

using R = ParameterBlockResult;

constexpr MacAddress kMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr NetworkMembershipKey kNmk{0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                    0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};

std::vector<std::uint8_t> goodBlock() {
  return samples::buildParameterBlock(kMac, kNmk);
}

void setVersion(std::vector<std::uint8_t>& b, std::uint8_t first, std::uint8_t second) {
  b[0] = first;
  b[1] = second;
}

std::uint32_t xorOfWords(ByteSpan b, std::size_t words) {
  std::uint32_t x = 0;
  for (std::size_t i = 0; i < words; ++i) x ^= readLe32(b, 4 * i);
  return x;
}

TEST(ParameterBlock, ResultCodesKeepTheirNumbers) {
  EXPECT_EQ(toInt(R::kSuccess), 0);
  EXPECT_EQ(toInt(R::kRegionInvalid), 2);
  EXPECT_EQ(toInt(R::kWrongVersion), 3);
  EXPECT_EQ(toInt(R::kNotValidated), 4);
  EXPECT_EQ(toInt(R::kNoImage), 5);
  EXPECT_EQ(toInt(R::kVersionTooOld), 6);
  EXPECT_EQ(toInt(R::kBadLength), 7);
  EXPECT_EQ(toInt(R::kInvalidValue), 8);
}

TEST(ParameterBlock, NoImageGivesFiveEverywhere) {
  ParameterBlock view;
  NetworkMembershipKey key{};
  EXPECT_FALSE(view.validated());
  EXPECT_EQ(view.validateImage(), R::kNoImage);
  EXPECT_EQ(view.attachImage({}), R::kNoImage);
  EXPECT_EQ(view.updateChecksum({}), R::kNoImage);
  EXPECT_EQ(view.setMacAddress(kMac), R::kNoImage);
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kNoImage);
}

TEST(ParameterBlock, GoodBlockValidatesAndADamagedOneClearsValidated) {
  auto block = goodBlock();
  ParameterBlock view;
  EXPECT_EQ(view.attachImage(block), R::kSuccess);
  EXPECT_TRUE(view.validated());
  block[244] = 4;
  EXPECT_EQ(view.validateImage(), R::kRegionInvalid);
  EXPECT_FALSE(view.validated());
  // The stored checksum is not compared.
  block = goodBlock();
  block[8] ^= 0x5A;
  EXPECT_EQ(view.attachImage(block), R::kSuccess);
}

TEST(ParameterBlock, OtherVersionsStopAtTheVersion) {
  auto block = goodBlock();
  setVersion(block, 1, 4);
  writeLe16(block, kLengthOffset, 3);  // neither length nor regions are looked at
  block[244] = 0xFF;
  ParameterBlock view;
  EXPECT_EQ(view.attachImage(block), R::kWrongVersion);
  EXPECT_FALSE(view.validated());
  setVersion(block, 4, 5);
  EXPECT_EQ(view.validateImage(), R::kWrongVersion);
  setVersion(block, 5, 4);
  EXPECT_EQ(view.validateImage(), R::kWrongVersion);
}

TEST(ParameterBlock, LengthFieldAndBufferSize) {
  ParameterBlock view;
  auto block = goodBlock();
  writeLe16(block, kLengthOffset, 15559);
  EXPECT_EQ(view.attachImage(block), R::kBadLength);
  writeLe16(block, kLengthOffset, 15561);
  EXPECT_EQ(view.attachImage(block), R::kBadLength);

  // A buffer one byte shorter than the length it claims: 7, and nothing read past its end.
  block = goodBlock();
  std::vector<std::uint8_t> shortCopy(block.begin(), block.end() - 1);
  EXPECT_EQ(view.attachImage(shortCopy), R::kBadLength);
  std::vector<std::uint8_t> header(block.begin(), block.begin() + kHeaderLength - 1);
  EXPECT_EQ(view.attachImage(header), R::kBadLength);
  // Trailing bytes after the image are allowed.
  std::vector<std::uint8_t> longer = block;
  longer.resize(block.size() + 100, 0xEE);
  EXPECT_EQ(view.attachImage(longer), R::kSuccess);
}

TEST(ParameterBlock, UpdateChecksumMakesTheWordsXorToAllOnes) {
  auto block = goodBlock();
  writeLe32(block, kChecksumOffset, 0x12345678);
  block[200] ^= 0x01;  // a name byte: changes the sum, not the validity
  ParameterBlock view;
  EXPECT_EQ(view.updateChecksum(block), R::kSuccess);
  EXPECT_EQ(xorOfWords(block, kParameterBlockLength / 4), 0xFFFFFFFFu);
  EXPECT_EQ(checksum32(block), 0u);

  // A block whose regions fail still gets its checksum.
  block[245] = 9;
  writeLe32(block, kChecksumOffset, 0);
  EXPECT_EQ(view.updateChecksum(block), R::kRegionInvalid);
  EXPECT_EQ(xorOfWords(block, kParameterBlockLength / 4), 0xFFFFFFFFu);
}

TEST(ParameterBlock, UpdateChecksumOnOtherVersionsUsesTheStatedLength) {
  ParameterBlock view;
  std::vector<std::uint8_t> block(400, 0x33);
  setVersion(block, 1, 4);
  writeLe16(block, kLengthOffset, 202);  // 50 whole words
  EXPECT_EQ(view.updateChecksum(block), R::kWrongVersion);
  EXPECT_EQ(xorOfWords(block, 50), 0xFFFFFFFFu);

  writeLe16(block, kLengthOffset, 20000);
  EXPECT_EQ(view.updateChecksum(block), R::kBadLength);
  EXPECT_EQ(readLe32(block, kChecksumOffset), 0u);

  // Within 16384 but beyond the buffer: refused instead of summed past the end.
  writeLe32(block, kChecksumOffset, 0xAAAAAAAA);
  writeLe16(block, kLengthOffset, 401);
  EXPECT_EQ(view.updateChecksum(block), R::kBadLength);
  EXPECT_EQ(readLe32(block, kChecksumOffset), 0u);
}

TEST(ParameterBlock, UpdateChecksumLeavesRefusedImagesUntouched) {
  auto block = goodBlock();
  writeLe16(block, kLengthOffset, 15559);
  writeLe32(block, kChecksumOffset, 0xCAFEF00D);
  const auto before = block;
  ParameterBlock view;
  EXPECT_EQ(view.updateChecksum(block), R::kBadLength);
  EXPECT_EQ(block, before);
  std::vector<std::uint8_t> tiny(6, 0x04);
  EXPECT_EQ(view.updateChecksum(tiny), R::kBadLength);
  EXPECT_EQ(tiny, std::vector<std::uint8_t>(6, 0x04));
}

TEST(ParameterBlock, MacAddressRules) {
  auto block = goodBlock();
  const auto before = block;
  ParameterBlock view;
  ASSERT_EQ(view.attachImage(block), R::kSuccess);
  EXPECT_EQ(view.setMacAddress({0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}), R::kInvalidValue);
  EXPECT_EQ(view.setMacAddress(kBroadcastMac), R::kInvalidValue);
  for (const MacAddress& reserved : kReservedMacAddresses)
    EXPECT_EQ(view.setMacAddress(reserved), R::kInvalidValue);
  EXPECT_EQ(block, before);

  const MacAddress local{0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};
  EXPECT_EQ(view.setMacAddress(local), R::kSuccess);
  EXPECT_EQ(readMac(block, kMacAddressOffset), local);
  EXPECT_EQ(readLe32(block, kChecksumOffset), readLe32(before, kChecksumOffset));
  for (std::size_t i = 0; i < block.size(); ++i)
    if (i < kMacAddressOffset || i >= kMacAddressOffset + 6) {
      ASSERT_EQ(block[i], before[i]) << i;
    }

  setVersion(block, 1, 3);
  EXPECT_EQ(view.setMacAddress(kMac), R::kVersionTooOld);
  setVersion(block, 1, 4);
  EXPECT_EQ(view.setMacAddress(kMac), R::kSuccess);

  // A buffer that ends inside the MAC field.
  std::vector<std::uint8_t> shortBuffer(block.begin(), block.begin() + 17);
  view.attachImage(shortBuffer);
  EXPECT_EQ(view.setMacAddress(local), R::kBadLength);
}

TEST(ParameterBlock, NetworkMembershipKeyRead) {
  auto block = goodBlock();
  ParameterBlock view;
  NetworkMembershipKey key{};
  view.attachImage(block);
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kSuccess);
  EXPECT_EQ(key, kNmk);

  // Version (1, 4) is accepted by the accessor although validation stops at the version.
  std::vector<std::uint8_t> old(kNetworkMembershipKeyOffset + 16, 0);
  setVersion(old, 1, 4);
  for (std::size_t i = 0; i < 16; ++i) old[kNetworkMembershipKeyOffset + i] = std::uint8_t(i);
  EXPECT_EQ(view.attachImage(old), R::kWrongVersion);
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kSuccess);
  EXPECT_EQ(key[15], 15);

  setVersion(old, 0, 9);
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kVersionTooOld);

  // A buffer that ends inside the key leaves the output alone.
  setVersion(old, 1, 4);
  old.pop_back();
  key.fill(0xEE);
  view.attachImage(old);
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kBadLength);
  for (std::uint8_t b : key) EXPECT_EQ(b, 0xEE);
}

}  // namespace
}  // namespace quorrel::paramblock
