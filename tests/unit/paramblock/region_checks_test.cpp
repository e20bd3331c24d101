// Region rules: each damaged region fails validation with 2, boundary values pass, and counts
// that would run past the image fail instead of reading beyond it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "make-samples/sample_files.h"
#include "paramblock/parameter_block.h"
#include "paramblock/region_checks.h"

namespace quorrel::paramblock {
namespace {

using R = ParameterBlockResult;
using Patch = std::function<void(MutableByteSpan)>;

struct Case {
  std::string name;
  Patch patch;
};

std::vector<std::uint8_t> patched(const Patch& patch) {
  auto block = samples::buildParameterBlock({0x02, 0, 0, 0, 0, 0x01}, {});
  patch(block);
  return block;
}

R validateWith(const Patch& patch) {
  auto block = patched(patch);
  ParameterBlock view;
  return view.attachImage(block);
}

// Offset of the first region that fails, or 0 when all pass.
std::size_t firstFailingRegion(const Patch& patch) {
  const auto block = patched(patch);
  for (const ParameterRegion& r : kParameterRegions) {
    ImageWindow w(block, 0);
    if (!checkRegion(r, w)) return r.offset;
  }
  return 0;
}

// A valid classifier rule of type `type` with value `v` at image offset `at`.
void rule(MutableByteSpan b, std::size_t at, std::uint32_t type, std::uint32_t v,
          std::uint32_t op = 0) {
  writeLe32(b, at, type);
  writeLe32(b, at + 4, op);
  writeLe32(b, at + 8, v);
}
// Rule set at index 0 of region 524 (count at 556, sets from 784).
void ruleSet(MutableByteSpan b, std::uint8_t kind, std::uint8_t mode, std::uint16_t count) {
  writeLe32(b, 556, 1);
  writeU8(b, 784, kind);
  writeU8(b, 785, mode);
  writeLe16(b, 786, count);
}

TEST(RegionChecks, RegionsTileTheImage) {
  std::size_t at = kHeaderLength;
  for (const ParameterRegion& r : kParameterRegions) {
    EXPECT_EQ(r.offset, at);
    at += r.size;
  }
  EXPECT_EQ(at, kParameterBlockLength);
}

TEST(RegionChecks, DamagedRegionsFail) {
  const std::vector<Case> cases = {
      {"12 group MAC", [](MutableByteSpan b) { b[12] |= 1; }},
      {"12 byte 244", [](MutableByteSpan b) { b[244] = 4; }},
      {"12 byte 254 over 63", [](MutableByteSpan b) { b[254] = 64; }},
      {"12 byte 254 bits 4-5", [](MutableByteSpan b) { b[254] = 0x20; }},
      {"12 switch 256", [](MutableByteSpan b) { b[256] = 1, b[257] = 2; }},
      {"268 setting 255", [](MutableByteSpan b) { b[268] = 1, b[269] = 255; }},
      {"268 group address", [](MutableByteSpan b) { b[268] = 1, b[269] = 2, b[270] = 1; }},
      {"268 bad entry",
       [](MutableByteSpan b) { b[268] = 1, b[269] = 2, b[277] = 2, b[278] = 5, b[285] = 0; }},
      {"524 byte 527", [](MutableByteSpan b) { b[527] = 4; }},
      {"524 rate low", [](MutableByteSpan b) { writeLe32(b, 536, 9999); }},
      {"524 rate high", [](MutableByteSpan b) { writeLe32(b, 540, 65000001); }},
      {"524 class 16", [](MutableByteSpan b) { writeLe32(b, 552, 1), writeLe32(b, 560, 16); }},
      {"524 special rule outside class 5",
       [](MutableByteSpan b) { writeLe32(b, 552, 1), rule(b, 564, 226, 1); }},
      {"524 plain rule in class 5",
       [](MutableByteSpan b) { writeLe32(b, 552, 1), writeLe32(b, 560, 5), rule(b, 564, 2, 1); }},
      {"524 rule operator 2",
       [](MutableByteSpan b) { writeLe32(b, 552, 1), rule(b, 564, 2, 1, 2); }},
      {"524 rule type 16", [](MutableByteSpan b) { writeLe32(b, 552, 1), rule(b, 564, 16, 0); }},
      {"524 VLAN priority 8", [](MutableByteSpan b) { writeLe32(b, 552, 1), rule(b, 564, 2, 8); }},
      {"524 VLAN id 4096 swapped",
       [](MutableByteSpan b) { writeLe32(b, 552, 1), rule(b, 564, 3, 0x0010); }},
      {"524 flow label 0", [](MutableByteSpan b) { writeLe32(b, 552, 1), rule(b, 564, 9, 0); }},
      {"524 type 228 operator 1",
       [](MutableByteSpan b) { writeLe32(b, 552, 1), rule(b, 564, 228, 0, 1); }},
      {"524 classifier count past the image",
       [](MutableByteSpan b) { writeLe32(b, 552, 535 + 1); }},
      {"524 classifier count overflowing",
       [](MutableByteSpan b) { writeLe32(b, 552, 0xFFFFFFFF); }},
      {"524 rule set count past the image",
       [](MutableByteSpan b) { writeLe32(b, 556, 0x80000000); }},
      {"524 rule set kind 7", [](MutableByteSpan b) { ruleSet(b, 7, 0, 1); }},
      {"524 rule set mode 2 with rules", [](MutableByteSpan b) { ruleSet(b, 1, 2, 1); }},
      {"524 rule set count 4", [](MutableByteSpan b) { ruleSet(b, 1, 0, 4); }},
      {"524 rule set kind 5 without special rule", [](MutableByteSpan b) { ruleSet(b, 5, 0, 1); }},
      {"524 rule set special rule outside kind 5",
       [](MutableByteSpan b) { ruleSet(b, 1, 0, 1), rule(b, 788, 226, 0); }},
      {"524 rule set all special needs mode 1",
       [](MutableByteSpan b) { ruleSet(b, 5, 0, 1), rule(b, 788, 226, 0); }},
      {"524 rule set flow rule with kind 32",
       [](MutableByteSpan b) { ruleSet(b, 32, 0, 1), rule(b, 788, 10, 0); }},
      {"524 rule set kind 16 type 224",
       [](MutableByteSpan b) { ruleSet(b, 16, 0, 1), rule(b, 788, 224, 0); }},
      {"524 rule set kind 16 extra block", [](MutableByteSpan b) { ruleSet(b, 16, 0, 1); }},
      {"524 rule set kind 34 extra", [](MutableByteSpan b) { ruleSet(b, 34, 0, 1); }},
      {"524 byte 2384", [](MutableByteSpan b) { b[2384] = 9; }},
      {"2572 over 17", [](MutableByteSpan b) { writeLe32(b, 2572, 18); }},
      {"7692 enabled out of range",
       [](MutableByteSpan b) { writeLe32(b, 7716, 1), writeLe32(b, 7720, 1441); }},
      {"7820 value 19", [](MutableByteSpan b) { writeLe32(b, 7824, 19); }},
      {"7820 order", [](MutableByteSpan b) { b[7828] = 1, b[7829] = 101; }},
      {"7864 enabled out of range",
       [](MutableByteSpan b) { writeLe32(b, 7962, 1), writeLe32(b, 7966, 99); }},
      {"7992 word 7992", [](MutableByteSpan b) { writeLe32(b, 7992, 13); }},
      {"7992 word 8000", [](MutableByteSpan b) { writeLe32(b, 8000, 0xFFFF); }},
      {"7992 byte 8012 = 1 range", [](MutableByteSpan b) { b[8012] = 1; }},
      {"7992 odd 8017",
       [](MutableByteSpan b) { b[8012] = 1, writeLe32(b, 8013, 2000), writeLe32(b, 8017, 9); }},
      {"7992 sum over 100", [](MutableByteSpan b) { b[8021] = 1, b[8022] = 60, b[8025] = 41; }},
      {"7992 bits 0-3 of 8026", [](MutableByteSpan b) { b[8026] = 0x08; }},
      {"8072 rate", [](MutableByteSpan b) { writeLe32(b, 8080, 299999); }},
      {"8072 flag 3", [](MutableByteSpan b) { writeLe16(b, 8084, 1 << 3); }},
      {"8072 flag 6 group of 6",
       [](MutableByteSpan b) { writeLe16(b, 8084, 1 << 6), writeLe16(b, 8112, 6 << 9); }},
      {"8072 flag 7 sum",
       [](MutableByteSpan b) { writeLe16(b, 8084, 1 << 7), b[8123] = 50, b[8124] = 51; }},
      {"8072 flag 8", [](MutableByteSpan b) { writeLe16(b, 8084, 1 << 8); }},
      {"8136 mode 3", [](MutableByteSpan b) { b[8136] = 3; }},
      {"8136 mode 0 with key", [](MutableByteSpan b) { b[8156] = 1; }},
      {"8136 mode 0 flag 1", [](MutableByteSpan b) { b[8139] = 1; }},
      {"8136 mode 1 flags zero", [](MutableByteSpan b) { b[8136] = 1; }},
      {"8136 byte 8157", [](MutableByteSpan b) { b[8157] = 66; }},
      {"8136 word 8163", [](MutableByteSpan b) { writeLe32(b, 8163, 4); }},
      {"8200 enabled zero", [](MutableByteSpan b) { b[8200] = 192; }},
      {"10248 empty list", [](MutableByteSpan b) { b[10248] = 0; }},
      {"10248 list of 33", [](MutableByteSpan b) { b[10248] = 33; }},
      {"10248 entry byte 4", [](MutableByteSpan b) { b[10253] = 2; }},
      {"10248 key with mode 0", [](MutableByteSpan b) { b[10425] = 1; }},
      {"10248 byte 10820", [](MutableByteSpan b) { b[10820] = 1; }},
      {"10248 bands none", [](MutableByteSpan b) { b[10426] = 1; }},
      {"10248 bands past the image", [](MutableByteSpan b) { b[10426] = 1, b[10435] = 255; }},
      {"10248 band level", [](MutableByteSpan b) { b[10426] = 1, b[10435] = 1, b[10446] = 3; }},
      {"10248 no band matches",
       [](MutableByteSpan b) { b[10426] = 1, b[10435] = 1, writeLe32(b, 10427, 7); }},
      {"10888 period zero", [](MutableByteSpan b) { writeLe16(b, 10888, 256); }},
      {"10888 period not 30",
       [](MutableByteSpan b) { writeLe16(b, 10888, 1), writeLe32(b, 10890, 31); }},
      {"10888 period against 11354",
       [](MutableByteSpan b) {
         writeLe16(b, 10888, 1), writeLe32(b, 10890, 30), writeLe32(b, 11354, 3000);
       }},
      {"10888 table of 4",
       [](MutableByteSpan b) {
         writeLe16(b, 10888, 1), writeLe32(b, 10890, 30), writeLe16(b, 11142, 4);
       }},
      {"10888 unknown item type",
       [](MutableByteSpan b) {
         writeLe16(b, 10888, 1), writeLe32(b, 10890, 30), writeLe16(b, 11348, 1);
         writeLe32(b, 11204, 1), writeLe32(b, 11144, 3);
       }},
      {"10888 type 0x20000 in the second table",
       [](MutableByteSpan b) {
         writeLe16(b, 10888, 1), writeLe32(b, 10890, 30), writeLe16(b, 11348, 1);
         writeLe32(b, 11204, 1), writeLe32(b, 11144, 0x20000), writeLe32(b, 11148, 1);
       }},
      {"11400 enable 2", [](MutableByteSpan b) { b[11401] = 2; }},
      {"11400 value 11408", [](MutableByteSpan b) { writeLe16(b, 11408, 9); }},
      {"11400 serial speed", [](MutableByteSpan b) { writeLe32(b, 11444, 921601); }},
      {"11400 serial stop bits", [](MutableByteSpan b) { b[11426] = 3; }},
      {"11464 text 257 long",
       [](MutableByteSpan b) {
         for (std::size_t i = 0; i < 257; ++i) b[11724 + i] = 'x';
       }},
      {"11464 sum 2561",
       [](MutableByteSpan b) { writeLe16(b, 12248, 2000), writeLe16(b, 12252, 561); }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(validateWith(c.patch), R::kRegionInvalid) << c.name;
    // The name starts with the region that must be the one to fail.
    EXPECT_EQ(firstFailingRegion(c.patch), std::stoul(c.name)) << c.name;
  }
}

TEST(RegionChecks, BoundaryValuesPass) {
  const std::vector<Case> cases = {
      {"268 enabled with entries",
       [](MutableByteSpan b) {
         b[268] = 1, b[269] = 254, b[277] = 8, std::fill_n(&b[278], 56, 2);
       }},
      {"524 special rule in class 5",
       [](MutableByteSpan b) {
         writeLe32(b, 552, 1), writeLe32(b, 560, 5), rule(b, 564, 227, 0xE188);
       }},
      {"524 VLAN id 4095",
       [](MutableByteSpan b) { writeLe32(b, 552, 1), rule(b, 564, 3, 0xFF0F); }},
      {"524 rule set mode 2 without rules", [](MutableByteSpan b) { ruleSet(b, 1, 2, 0); }},
      {"524 rule set kind 5 all special mode 1",
       [](MutableByteSpan b) { ruleSet(b, 5, 1, 1), rule(b, 788, 226, 0xFFFFFF); }},
      {"524 rule set kind 16",
       [](MutableByteSpan b) {
         ruleSet(b, 16, 0, 1), writeLe16(b, 860, 1), writeLe16(b, 864, 9000),
             writeLe32(b, 866, 10000);
       }},
      {"7992 even 8017",
       [](MutableByteSpan b) { b[8012] = 1, writeLe32(b, 8013, 5016), writeLe32(b, 8017, 24); }},
      {"8136 mode 1", [](MutableByteSpan b) { b[8136] = 1, b[8137] = b[8138] = b[8139] = 1; }},
      {"10248 band matches",
       [](MutableByteSpan b) {
         b[10426] = 1, b[10435] = 2, writeLe32(b, 10427, 7), writeLe32(b, 10460, 7);
         b[10446] = 0xE8;  // -24
       }},
      {"10888 mode 256",
       [](MutableByteSpan b) { writeLe16(b, 10888, 256), writeLe32(b, 10890, 144000); }},
      {"10888 mode 8192 tables",
       [](MutableByteSpan b) {
         writeLe16(b, 10888, 8192), writeLe32(b, 10890, 150), b[10902] = 2, b[10898] = 11;
         writeLe16(b, 11142, 3), writeLe32(b, 10998 + 136, 3);
         writeLe32(b, 10938 + 136 + 40, 0x20000), writeLe32(b, 10938 + 136 + 44, 1);
         writeLe32(b, 10938 + 136, 4), writeLe32(b, 10938 + 136 + 20, 1);
       }},
      {"11464 text 256 long",
       [](MutableByteSpan b) {
         for (std::size_t i = 0; i < 256; ++i) b[11981 + i] = 'y';
       }},
  };
  for (const Case& c : cases) EXPECT_EQ(validateWith(c.patch), R::kSuccess) << c.name;
}

TEST(RegionChecks, WindowBoundsNeverOverflow) {
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

TEST(RegionChecks, ARegionCopyIsCheckedWithinItsOwnBytes) {
  auto block = samples::buildParameterBlock({0x02, 0, 0, 0, 0, 0x01}, {});
  const ParameterRegion& serial = kParameterRegions[16];
  ASSERT_EQ(serial.offset, 11400u);
  ImageWindow whole(ByteSpan(block).subspan(serial.offset, serial.size), serial.offset);
  EXPECT_TRUE(checkRegion(serial, whole));
  // A copy too short for the last serial setting faults instead of reading past it.
  ImageWindow cut(ByteSpan(block).subspan(serial.offset, 46), serial.offset);
  EXPECT_FALSE(checkRegion(serial, cut));
  // A text without terminator inside the copy fails.
  std::vector<std::uint8_t> text(300, 'z');
  ImageWindow unterminated(text, 11465);
  EXPECT_FALSE(checkRegion(kParameterRegions[17], unterminated));
}

}  // namespace
}  // namespace quorrel::paramblock
