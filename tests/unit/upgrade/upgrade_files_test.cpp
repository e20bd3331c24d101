// The image chain walk over sound and broken chains, and the write options by chip model.
#include <gtest/gtest.h>

#include "make-samples/sample_files.h"
#include "upgrade/nvm_image.h"
#include "upgrade/write_options.h"

namespace quorrel::upgrade {
namespace {

using Bytes = std::vector<std::uint8_t>;
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

}  // namespace
}  // namespace quorrel::upgrade
