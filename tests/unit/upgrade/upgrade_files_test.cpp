// The checks made before anything is sent: the image chain, the parameter block, the options.
#include <gtest/gtest.h>

#include "make-samples/sample_files.h"
#include "paramblock/parameter_block.h"
#include "platform/checksum32.h"
#include "upgrade/nvm_image.h"
#include "upgrade/upgrade_files.h"
#include "upgrade/write_options.h"

namespace quorrel::upgrade {
namespace {

using Bytes = std::vector<std::uint8_t>;
using samples::BlockBreak;
using samples::ChainBreak;

Bytes chain(std::size_t images, std::size_t size) {
  return samples::buildFirmwareFile(samples::sampleFirmwareImages(images, size));
}

TEST(WalkImageChain, GoodAndBrokenChains) {
  const Bytes two = chain(2, 100);
  Bytes imagePastEnd = chain(1, 100);
  imagePastEnd.resize(imagePastEnd.size() - 1);
  struct Case {
    const char* name;
    Bytes file;
    std::optional<std::size_t> last;
  } cases[] = {
      {"one image", chain(1, 100), 0},
      {"three images", chain(3, 100), 2 * (kNvmHeaderLength + 100)},
      {"header only, no image", chain(1, 0), 0},
      {"loop", samples::breakFirmwareFile(two, ChainBreak::Loop), {}},
      {"backward into the first image", samples::breakFirmwareFile(two, ChainBreak::Backward), {}},
      {"past the end", samples::breakFirmwareFile(two, ChainBreak::PastEnd), {}},
      {"bad header checksum", samples::breakFirmwareFile(two, ChainBreak::Checksum), {}},
      {"image past the end", imagePastEnd, {}},
      {"shorter than a header", Bytes(43, 0), {}},
      {"empty", Bytes{}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto last = walkImageChain(c.file);
    ASSERT_EQ(last.has_value(), c.last.has_value());
    if (last) {
      EXPECT_EQ(last->offset, *c.last);
      EXPECT_EQ(last->nextHeaderOffset, 0u);
    }
  }
}

TEST(WriteOptions, ByChipAndCommit) {
  struct Case {
    const char* chip;
    bool commit;
    std::uint32_t options;
  } cases[] = {
      {"LQA-100", true, 0x23},  {"LQA-100", false, 0x22}, {"LQ-B200", true, 0x23},
      {"LQ-B200", false, 0x22}, {"LQA-130", true, 0x13},  {"LQA-130", false, 0x00},
      {"LQA-140", true, 0x13},  {"LQ-A145", false, 0x00}, {"LQA-100 ", true, 0x13},
      {"", false, 0x00},
  };
  for (const Case& c : cases)
    EXPECT_EQ(writeOptionsFor(c.chip, c.commit), c.options) << c.chip << " " << c.commit;
}

constexpr MacAddress kDevice{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};

Bytes sampleBlock() {
  return samples::buildParameterBlock({0x02, 0, 0, 0, 0, 0x99}, {1, 2, 3});
}

Bytes versioned(Bytes b, std::uint8_t first, std::uint8_t second) {
  b[0] = first;
  b[1] = second;
  return b;
}

TEST(MakeBlockTheAdapters, RefusesWhatCannotBeMadeSafe) {
  Bytes statedBeyond = versioned(Bytes(1000, 0), 1, 4);
  Bytes cut = sampleBlock();
  cut.resize(cut.size() - 4);
  writeLe16(statedBeyond, 4, 2000);
  struct Case {
    const char* name;
    Bytes block;
  } cases[] = {
      {"under 18 bytes", samples::breakParameterBlock(sampleBlock(), BlockBreak::Short)},
      {"shorter than its length field",
       samples::breakParameterBlock(sampleBlock(), BlockBreak::Truncated)},
      {"length field past the bytes, version 1.4", statedBeyond},
      {"layout version under 15560 bytes", cut},
      {"refused by validation", samples::breakParameterBlock(sampleBlock(), BlockBreak::GroupMac)},
      {"too old for its MAC address to be written", versioned(sampleBlock(), 1, 3)},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(makeBlockTheAdapters(c.block, kDevice));
  }
}

TEST(MakeBlockTheAdapters, WritesTheDevicesMacAndRenewsTheChecksum) {
  Bytes old = versioned(Bytes(3000, 0x5A), 1, 4);
  writeLe16(old, 4, 2000);
  for (Bytes block : {sampleBlock(), old}) {
    ASSERT_TRUE(makeBlockTheAdapters(block, kDevice));
    EXPECT_EQ(readMac(block, 12), kDevice);
    const std::size_t stated = readLe16(block, 4);
    EXPECT_EQ(checksum32(ByteSpan(block).first(stated)), 0u);
  }
}

}  // namespace
}  // namespace quorrel::upgrade
