// ParameterBlock: header checks, buffers shorter than the image claims, checksum renewal, the
// MAC address rules and the key read; the sample block itself.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "make-samples/sample_files.h"
#include "paramblock/parameter_block.h"
#include "platform/checksum32.h"

namespace quorrel::paramblock {
namespace {

using R = ParameterBlockResult;
using Bytes = std::vector<std::uint8_t>;

constexpr MacAddress kMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr NetworkMembershipKey kNmk{0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                    0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};

Bytes goodBlock() {
  return samples::buildParameterBlock(kMac, kNmk);
}

void setVersion(Bytes& b, std::uint8_t first, std::uint8_t second) {
  b[0] = first;
  b[1] = second;
}

std::uint32_t xorOfWords(ByteSpan b, std::size_t words) {
  std::uint32_t x = 0;
  for (std::size_t i = 0; i < words; ++i) x ^= readLe32(b, 4 * i);
  return x;
}

TEST(ParameterBlock, ValidationChecksVersionThenLengthThenRegions) {
  const struct {
    const char* what;
    std::function<void(Bytes&)> damage;
    R result;
  } cases[] = {
      {"good", [](Bytes&) {}, R::kSuccess},
      {"stored checksum is not compared", [](Bytes& b) { b[8] ^= 0x5A; }, R::kSuccess},
      {"trailing bytes after the image", [](Bytes& b) { b.resize(b.size() + 100, 0xEE); },
       R::kSuccess},
      {"a region", [](Bytes& b) { b[244] = 4; }, R::kRegionInvalid},
      // Other versions stop at the version: neither length nor regions are looked at.
      {"version 1.4", [](Bytes& b) { setVersion(b, 1, 4), writeLe16(b, 4, 3), b[244] = 0xFF; },
       R::kWrongVersion},
      {"version 4.5", [](Bytes& b) { setVersion(b, 4, 5); }, R::kWrongVersion},
      {"version 5.4", [](Bytes& b) { setVersion(b, 5, 4); }, R::kWrongVersion},
      {"length 15559", [](Bytes& b) { writeLe16(b, kLengthOffset, 15559); }, R::kBadLength},
      {"length 15561", [](Bytes& b) { writeLe16(b, kLengthOffset, 15561); }, R::kBadLength},
      // A buffer shorter than the length it claims, and nothing read past its end.
      {"one byte short", [](Bytes& b) { b.pop_back(); }, R::kBadLength},
      {"header cut", [](Bytes& b) { b.resize(kHeaderLength - 1); }, R::kBadLength},
  };
  for (const auto& c : cases) {
    Bytes block = goodBlock();
    c.damage(block);
    ParameterBlock view;
    EXPECT_EQ(view.attachImage(block), c.result) << c.what;
    EXPECT_EQ(view.validated(), c.result == R::kSuccess) << c.what;
  }
  // Damage after a good validation clears `validated`.
  Bytes block = goodBlock();
  ParameterBlock view;
  ASSERT_EQ(view.attachImage(block), R::kSuccess);
  block[244] = 4;
  EXPECT_EQ(view.validateImage(), R::kRegionInvalid);
  EXPECT_FALSE(view.validated());
}

TEST(ParameterBlock, UpdateChecksumSumsTheStatedLengthWithinTheBuffer) {
  ParameterBlock view;
  Bytes block = goodBlock();
  writeLe32(block, kChecksumOffset, 0x12345678);
  block[200] ^= 0x01;  // a name byte: changes the sum, not the validity
  EXPECT_EQ(view.updateChecksum(block), R::kSuccess);
  EXPECT_EQ(checksum32(block), 0u);
  block[245] = 9;  // a block whose regions fail still gets its checksum
  writeLe32(block, kChecksumOffset, 0);
  EXPECT_EQ(view.updateChecksum(block), R::kRegionInvalid);
  EXPECT_EQ(xorOfWords(block, kParameterBlockLength / 4), 0xFFFFFFFFu);

  // Another version: the length it states, in whole words.
  Bytes other(400, 0x33);
  setVersion(other, 1, 4);
  writeLe16(other, kLengthOffset, 202);
  EXPECT_EQ(view.updateChecksum(other), R::kWrongVersion);
  EXPECT_EQ(xorOfWords(other, 50), 0xFFFFFFFFu);
  // Beyond 16384, or within it but beyond the buffer: refused instead of summed past the end.
  for (std::uint16_t stated : {20000, 401}) {
    writeLe32(other, kChecksumOffset, 0xAAAAAAAA);
    writeLe16(other, kLengthOffset, stated);
    EXPECT_EQ(view.updateChecksum(other), R::kBadLength) << stated;
    EXPECT_EQ(readLe32(other, kChecksumOffset), 0u) << stated;
  }

  // Refused images of version 4.4 are left untouched.
  block = goodBlock();
  writeLe16(block, kLengthOffset, 15559);
  const Bytes before = block;
  EXPECT_EQ(view.updateChecksum(block), R::kBadLength);
  EXPECT_EQ(block, before);
  Bytes tiny(6, 0x04);
  EXPECT_EQ(view.updateChecksum(tiny), R::kBadLength);
  EXPECT_EQ(tiny, Bytes(6, 0x04));
}

TEST(ParameterBlock, MacAddressRulesAndKeyRead) {
  Bytes block = goodBlock();
  const Bytes before = block;
  ParameterBlock view;
  ASSERT_EQ(view.attachImage(block), R::kSuccess);
  NetworkMembershipKey key{};
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kSuccess);
  EXPECT_EQ(key, kNmk);
  EXPECT_EQ(view.setMacAddress({0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}), R::kInvalidValue);
  EXPECT_EQ(view.setMacAddress(kBroadcastMac), R::kInvalidValue);
  for (const MacAddress& reserved : kReservedMacAddresses)
    EXPECT_EQ(view.setMacAddress(reserved), R::kInvalidValue);
  EXPECT_EQ(block, before);

  // Only the six bytes change; the checksum is left for updateChecksum.
  const MacAddress local{0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};
  EXPECT_EQ(view.setMacAddress(local), R::kSuccess);
  Bytes expected = before;
  std::copy(local.begin(), local.end(), expected.begin() + kMacAddressOffset);
  EXPECT_EQ(block, expected);

  setVersion(block, 1, 3);
  EXPECT_EQ(view.setMacAddress(kMac), R::kVersionTooOld);
  setVersion(block, 1, 4);
  EXPECT_EQ(view.setMacAddress(kMac), R::kSuccess);
  Bytes cut(block.begin(), block.begin() + 17);  // ends inside the MAC field
  view.attachImage(cut);
  EXPECT_EQ(view.setMacAddress(local), R::kBadLength);

  // Version 1.4 is read by the accessor although validation stops at the version.
  Bytes old(kNetworkMembershipKeyOffset + 16, 0);
  setVersion(old, 1, 4);
  old.back() = 15;
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

// The sample block the tests build on: its bytes, its refusals, and the strict key text.
TEST(SampleFiles, BlockBytesAndStrictKeyText) {
  NetworkMembershipKey nmk{};
  ASSERT_TRUE(samples::parseKeyHex("102132435465768798a9BACBDCEDFE0F", nmk));
  EXPECT_EQ(nmk, kNmk);
  const Bytes block = goodBlock();
  ASSERT_EQ(block.size(), kParameterBlockLength);
  EXPECT_EQ(readMac(block, kMacAddressOffset), kMac);
  EXPECT_EQ(readText(block, 36, 64), samples::kSampleManufacturerName);
  EXPECT_EQ(checksum32(block), 0u);
  EXPECT_TRUE(samples::buildParameterBlock({0x03, 0, 0, 0, 0, 1}, kNmk).empty());
  EXPECT_TRUE(samples::buildParameterBlock(kReservedMacAddresses[2], kNmk).empty());
  for (const char* bad : {"0011", "00112233445566778899AABBCCDDEEF",
                          "00112233445566778899AABBCCDDEEFG", "00112233445566778899AABBCCDDEEFF00"})
    EXPECT_FALSE(samples::parseKeyHex(bad, nmk)) << bad;
  EXPECT_EQ(nmk, kNmk);  // untouched on failure
}

}  // namespace
}  // namespace quorrel::paramblock
