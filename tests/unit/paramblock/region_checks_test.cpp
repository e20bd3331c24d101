// Region rules: each damaged region fails validation with 2, boundary values pass, and counts
// that would run past the image fail instead of reading beyond it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "make-samples/sample_files.h"
#include "paramblock/parameter_block.h"
#include "paramblock/region_map.h"

namespace quorrel::paramblock {
namespace {

using R = ParameterBlockResult;

// A write into the sample block: width 1, 2 or 4 puts a little-endian value; a larger width
// fills that many bytes with it.
struct Put {
  std::size_t at, width;
  std::uint32_t value;
};
using Puts = std::vector<Put>;
Puts operator+(Puts a, const Puts& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Case {
  std::string name;  // starts with the offset of the region that must fail first
  Puts puts;
};

std::vector<std::uint8_t> patched(const Puts& puts) {
  auto block = samples::buildParameterBlock({0x02, 0, 0, 0, 0, 0x01}, {});
  for (const Put& p : puts) {
    if (p.width > 4) std::fill_n(block.begin() + p.at, p.width, std::uint8_t(p.value));
    for (std::size_t i = 0; p.width <= 4 && i < p.width; ++i)
      block[p.at + i] = std::uint8_t(p.value >> (8 * i));
  }
  return block;
}

R validateWith(const Puts& puts) {
  auto block = patched(puts);
  ParameterBlock view;
  return view.attachImage(block);
}

// Offset of the first region that fails, or 0 when all pass.
std::size_t firstFailingRegion(const Puts& puts) {
  const auto block = patched(puts);
  for (const ParameterRegion& r : kParameterRegions) {
    ImageWindow w(block, 0);
    if (!checkRegion(r, w)) return r.offset;
  }
  return 0;
}

// A classifier rule of type `type` with value `v` at image offset `at`.
Puts rule(std::size_t at, std::uint32_t type, std::uint32_t v, std::uint32_t op = 0) {
  return {{at, 4, type}, {at + 4, 4, op}, {at + 8, 4, v}};
}
// Rule set at index 0 of region 524 (count at 556, sets from 784).
Puts ruleSet(std::uint8_t kind, std::uint8_t mode, std::uint16_t count) {
  return {{556, 4, 1}, {784, 1, kind}, {785, 1, mode}, {786, 2, count}};
}
const Puts kClassifier{{552, 4, 1}};                  // one classifier, its rule at 564
const Puts kSchedule{{10888, 2, 1}, {10890, 4, 30}};  // schedule mode 1, period 30

TEST(RegionChecks, DamagedRegionsFailFirstAndTheWindowNeverOverflows) {
  const Case cases[] = {
      {"12 group MAC", {{12, 1, 0x03}}},
      {"12 byte 244", {{244, 1, 4}}},
      {"12 byte 254 over 63", {{254, 1, 64}}},
      {"12 byte 254 bits 4-5", {{254, 1, 0x20}}},
      {"12 switch 256", {{256, 2, 0x0201}}},
      {"268 setting 255", {{268, 2, 0xFF01}}},
      {"268 group address", {{268, 1, 1}, {269, 1, 2}, {270, 1, 1}}},
      {"268 bad entry", {{268, 2, 0x0201}, {277, 2, 0x0502}, {285, 1, 0}}},
      {"524 byte 527", {{527, 1, 4}}},
      {"524 rate low", {{536, 4, 9999}}},
      {"524 rate high", {{540, 4, 65000001}}},
      {"524 class 16", kClassifier + Puts{{560, 4, 16}}},
      {"524 special rule outside class 5", kClassifier + rule(564, 226, 1)},
      {"524 plain rule in class 5", kClassifier + Puts{{560, 4, 5}} + rule(564, 2, 1)},
      {"524 rule operator 2", kClassifier + rule(564, 2, 1, 2)},
      {"524 rule type 16", kClassifier + rule(564, 16, 0)},
      {"524 VLAN priority 8", kClassifier + rule(564, 2, 8)},
      {"524 VLAN id 4096 swapped", kClassifier + rule(564, 3, 0x0010)},
      {"524 flow label 0", kClassifier + rule(564, 9, 0)},
      {"524 type 228 operator 1", kClassifier + rule(564, 228, 0, 1)},
      {"524 classifier count past the image", {{552, 4, 535 + 1}}},
      {"524 classifier count overflowing", {{552, 4, 0xFFFFFFFF}}},
      {"524 rule set count past the image", {{556, 4, 0x80000000}}},
      {"524 rule set kind 7", ruleSet(7, 0, 1)},
      {"524 rule set mode 2 with rules", ruleSet(1, 2, 1)},
      {"524 rule set count 4", ruleSet(1, 0, 4)},
      {"524 rule set kind 5 without special rule", ruleSet(5, 0, 1)},
      {"524 rule set special rule outside kind 5", ruleSet(1, 0, 1) + rule(788, 226, 0)},
      {"524 rule set all special needs mode 1", ruleSet(5, 0, 1) + rule(788, 226, 0)},
      {"524 rule set flow rule with kind 32", ruleSet(32, 0, 1) + rule(788, 10, 0)},
      {"524 rule set kind 16 type 224", ruleSet(16, 0, 1) + rule(788, 224, 0)},
      {"524 rule set kind 16 extra block", ruleSet(16, 0, 1)},
      {"524 rule set kind 34 extra", ruleSet(34, 0, 1)},
      {"524 byte 2384", {{2384, 1, 9}}},
      {"2572 over 17", {{2572, 4, 18}}},
      {"7692 enabled out of range", {{7716, 4, 1}, {7720, 4, 1441}}},
      {"7820 value 19", {{7824, 4, 19}}},
      {"7820 order", {{7828, 2, 0x6501}}},
      {"7864 enabled out of range", {{7962, 4, 1}, {7966, 4, 99}}},
      {"7992 word 7992", {{7992, 4, 13}}},
      {"7992 word 8000", {{8000, 4, 0xFFFF}}},
      {"7992 byte 8012 = 1 range", {{8012, 1, 1}}},
      {"7992 odd 8017", {{8012, 1, 1}, {8013, 4, 2000}, {8017, 4, 9}}},
      {"7992 sum over 100", {{8021, 2, 0x3C01}, {8025, 1, 41}}},
      {"7992 bits 0-3 of 8026", {{8026, 1, 0x08}}},
      {"8072 rate", {{8080, 4, 299999}}},
      {"8072 flag 3", {{8084, 2, 1 << 3}}},
      {"8072 flag 6 group of 6", {{8084, 2, 1 << 6}, {8112, 2, 6 << 9}}},
      {"8072 flag 7 sum", {{8084, 2, 1 << 7}, {8123, 2, 0x3332}}},
      {"8072 flag 8", {{8084, 2, 1 << 8}}},
      {"8136 mode 3", {{8136, 1, 3}}},
      {"8136 mode 0 with key", {{8156, 1, 1}}},
      {"8136 mode 0 flag 1", {{8139, 1, 1}}},
      {"8136 mode 1 flags zero", {{8136, 1, 1}}},
      {"8136 byte 8157", {{8157, 1, 66}}},
      {"8136 word 8163", {{8163, 4, 4}}},
      {"8200 enabled zero", {{8200, 1, 192}}},
      {"10248 empty list", {{10248, 1, 0}}},
      {"10248 list of 33", {{10248, 1, 33}}},
      {"10248 entry byte 4", {{10253, 1, 2}}},
      {"10248 key with mode 0", {{10425, 1, 1}}},
      {"10248 byte 10820", {{10820, 1, 1}}},
      {"10248 bands none", {{10426, 1, 1}}},
      {"10248 bands past the image", {{10426, 1, 1}, {10435, 1, 255}}},
      {"10248 band level", {{10426, 1, 1}, {10435, 1, 1}, {10446, 1, 3}}},
      {"10248 no band matches", {{10426, 1, 1}, {10435, 1, 1}, {10427, 4, 7}}},
      {"10888 period zero", {{10888, 2, 256}}},
      {"10888 period not 30", {{10888, 2, 1}, {10890, 4, 31}}},
      {"10888 period against 11354", kSchedule + Puts{{11354, 4, 3000}}},
      {"10888 table of 4", kSchedule + Puts{{11142, 2, 4}}},
      {"10888 unknown item type", kSchedule + Puts{{11348, 2, 1}, {11204, 4, 1}, {11144, 4, 3}}},
      {"10888 type 0x20000 in the second table",
       kSchedule + Puts{{11348, 2, 1}, {11204, 4, 1}, {11144, 4, 0x20000}, {11148, 4, 1}}},
      {"11400 enable 2", {{11401, 1, 2}}},
      {"11400 value 11408", {{11408, 2, 9}}},
      {"11400 serial speed", {{11444, 4, 921601}}},
      {"11400 serial stop bits", {{11426, 1, 3}}},
      {"11464 text 257 long", {{11724, 257, 'x'}}},
      {"11464 sum 2561", {{12248, 2, 2000}, {12252, 2, 561}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(validateWith(c.puts), R::kRegionInvalid) << c.name;
    EXPECT_EQ(firstFailingRegion(c.puts), std::stoul(c.name)) << c.name;
  }
  // The window the checks read through never overflows its bounds.
  std::vector<std::uint8_t> bytes(100, 0);
  ImageWindow w(bytes, 1000);
  EXPECT_TRUE(w.holds(1000, 100));
  EXPECT_FALSE(w.holds(1000, 101));
  EXPECT_FALSE(w.holds(999, 1));
  EXPECT_FALSE(w.holds(1099, SIZE_MAX));
  EXPECT_TRUE(w.holdsEntries(1010, 3, 30));
  EXPECT_FALSE(w.holdsEntries(1010, 4, 30));
  EXPECT_FALSE(w.holdsEntries(1000, 0xFFFFFFFFu, 28));
  EXPECT_FALSE(w.holdsEntries(1000, UINT64_MAX, 1));
  EXPECT_FALSE(w.faulted());
  EXPECT_EQ(w.le32(1098), 0u);  // straddles the end
  EXPECT_TRUE(w.faulted());
}

TEST(RegionChecks, BoundaryValuesPass) {
  const Case cases[] = {
      {"268 enabled with entries", {{268, 2, 0xFE01}, {277, 1, 8}, {278, 56, 2}}},
      {"524 special rule in class 5", kClassifier + Puts{{560, 4, 5}} + rule(564, 227, 0xE188)},
      {"524 VLAN id 4095", kClassifier + rule(564, 3, 0xFF0F)},
      {"524 rule set mode 2 without rules", ruleSet(1, 2, 0)},
      {"524 rule set kind 5 all special mode 1", ruleSet(5, 1, 1) + rule(788, 226, 0xFFFFFF)},
      {"524 rule set kind 16",
       ruleSet(16, 0, 1) + Puts{{860, 2, 1}, {864, 2, 9000}, {866, 4, 10000}}},
      {"7992 even 8017", {{8012, 1, 1}, {8013, 4, 5016}, {8017, 4, 24}}},
      {"8136 mode 1", {{8136, 4, 0x01010101}}},
      {"10248 band matches",
       {{10426, 1, 1}, {10435, 1, 2}, {10427, 4, 7}, {10460, 4, 7}, {10446, 1, 0xE8}}},  // -24
      {"10888 mode 256", {{10888, 2, 256}, {10890, 4, 144000}}},
      {"10888 mode 8192 tables",
       {{10888, 2, 8192},
        {10890, 4, 150},
        {10902, 1, 2},
        {10898, 1, 11},
        {11142, 2, 3},
        {10998 + 136, 4, 3},
        {10938 + 136 + 40, 4, 0x20000},
        {10938 + 136 + 44, 4, 1},
        {10938 + 136, 4, 4},
        {10938 + 136 + 20, 4, 1}}},
      {"11464 text 256 long", {{11981, 256, 'y'}}},
      // A port that is off may keep its settings zero; "11400 serial speed" above is the on side.
      {"11400 port off, settings zeroed", {{11401, 1, 0}, {11408, 48, 0}}},
  };
  for (const Case& c : cases) EXPECT_EQ(validateWith(c.puts), R::kSuccess) << c.name;
}

}  // namespace
}  // namespace quorrel::paramblock
