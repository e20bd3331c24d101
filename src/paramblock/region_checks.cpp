// Region rules of the parameter block. Most of the fields they test have no name of their own,
// so the rules address them by absolute image offset, in the order the regions lie.
#include "paramblock/region_checks.h"

#include <algorithm>

namespace quorrel::paramblock {

namespace {

bool inRange(std::uint32_t v, std::uint32_t lo, std::uint32_t hi) {
  return v >= lo && v <= hi;
}
bool zeroOrInRange(std::uint32_t v, std::uint32_t lo, std::uint32_t hi) {
  return v == 0 || inRange(v, lo, hi);
}
bool allZero(ImageWindow& w, std::size_t at, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (w.u8(at + i) != 0) return false;
  return true;
}
// Zero-terminated text of at most `maxLength` characters; the terminator must be in the window.
bool textAtMost(ImageWindow& w, std::size_t at, std::size_t maxLength) {
  for (std::size_t i = 0; i <= maxLength; ++i) {
    if (!w.holds(at + i, 1)) return false;
    if (w.u8(at + i) == 0) return true;
  }
  return false;
}

constexpr std::uint32_t kRuleVlanPriority = 2;
constexpr std::uint32_t kRuleVlanId = 3;
constexpr std::uint32_t kRuleIpv4Tos = 4;
constexpr std::uint32_t kRuleIpv4Protocol = 5;
constexpr std::uint32_t kRuleIpv6TrafficClass = 8;
constexpr std::uint32_t kRuleIpv6FlowLabel = 9;
constexpr std::uint32_t kRuleSpecial = 226;
constexpr std::uint32_t kRuleSpecialByEthertype = 227;
constexpr std::uint16_t kSpecialEthertype = 0xE188;
constexpr std::uint32_t kSpecialClass = 5;

constexpr std::size_t kClassifierEntryLength = 28;
constexpr std::size_t kClassifierRuleLength = 24;
constexpr std::size_t kRuleSetLength = 100;
constexpr std::size_t kRuleSetMaxRules = 3;

}  // namespace

bool checkNothing(ImageWindow&) {
  return true;
}

bool checkIdentityRegion(ImageWindow& w) {
  const std::uint8_t b254 = w.u8(254);
  return (w.u8(12) & 0x01) == 0 && w.u8(244) < 4 && w.u8(245) < 3 && w.u8(246) < 3 && b254 <= 63 &&
         ((b254 >> 4) & 0x03) < 2 && (w.u8(256) != 1 || w.u8(257) < 2);
}

bool checkAddressListRegion(ImageWindow& w) {
  if (w.u8(268) != 1) return true;
  const std::uint8_t setting = w.u8(269);
  if (setting == 0 || setting == 255 || (w.u8(270) & 0x01) != 0) return false;
  constexpr std::size_t kFirst = 278, kEntry = 7;
  const std::uint8_t count = w.u8(277);
  if (!w.holdsEntries(kFirst, count, kEntry)) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t e = kFirst + i * kEntry;
    const std::uint8_t first = w.u8(e);
    if (first == 0 || first == 255 || (w.u8(e + 1) & 0x01) != 0) return false;
  }
  return true;
}

bool isSpecialRule(ImageWindow& w, std::size_t at) {
  const std::uint32_t type = w.le32(at);
  return type == kRuleSpecial ||
         (type == kRuleSpecialByEthertype && w.le16(at + 8) == kSpecialEthertype);
}

bool checkClassifierRule(ImageWindow& w, std::size_t at) {
  const std::uint32_t type = w.le32(at);
  const std::uint32_t op = w.le32(at + 4);
  const std::uint32_t v = w.le32(at + 8);
  if (op > 1) return false;
  if (!(type < 16 || inRange(type, 224, 229))) return false;
  switch (type) {
    case kRuleVlanPriority:
      return v < 8;
    case kRuleVlanId: {
      const std::uint32_t low = v & 0xFFFF;
      return (((low & 0xFF) << 8) | (low >> 8)) < 4096;
    }
    case kRuleIpv4Tos:
    case kRuleIpv4Protocol:
    case kRuleIpv6TrafficClass:
      return v < 256;
    case kRuleIpv6FlowLabel:
      return v > 0 && v < 0xFFFFF;
    case kRuleSpecial:
      return v <= 0xFFFFFF;
    case 228:
      return op == 0 && v == 0;
    case 229:
      return v == 0;
    default:
      return true;
  }
}

bool checkClassifierEntry(ImageWindow& w, std::size_t at) {
  const std::uint32_t cls = w.le32(at);
  if (cls >= 16 || !checkClassifierRule(w, at + 4)) return false;
  return isSpecialRule(w, at + 4) ? cls == kSpecialClass : cls != kSpecialClass;
}

bool checkRuleSet(ImageWindow& w, std::size_t at) {
  const std::uint8_t kind = w.u8(at);
  const std::uint8_t mode = w.u8(at + 1);
  const std::uint16_t count = w.le16(at + 2);
  if (!(kind < 7 || kind == 16 || inRange(kind, 32, 34))) return false;
  if (mode >= 3) return false;
  if (mode == 2 ? count != 0 : !inRange(count, 1, kRuleSetMaxRules)) return false;

  const std::size_t rules = std::min<std::size_t>(count, kRuleSetMaxRules);
  std::size_t special = 0;
  bool flowRule = false;
  for (std::size_t i = 0; i < rules; ++i) {
    const std::size_t r = at + 4 + i * kClassifierRuleLength;
    if (!checkClassifierRule(w, r)) return false;
    const std::uint32_t type = w.le32(r);
    if (kind == 16 && (type == 224 || type == 225)) return false;
    if (isSpecialRule(w, r)) ++special;
    if (inRange(type, 9, 11)) flowRule = true;
  }
  // A set without rules (mode 2) is not "all special".
  const bool allSpecial = rules > 0 && special == rules;
  if (special > 0 && kind != 5) return false;
  if (allSpecial && mode != 1) return false;
  const bool specialSet = allSpecial || (special > 0 && mode == 0);
  if (flowRule && kind >= 32) return false;
  if (!specialSet && kind == 5) return false;

  if (kind == 16) {
    return w.le16(at + 76) == 1 && w.u8(at + 78) < 4 && w.u8(at + 79) < 16 &&
           inRange(w.le16(at + 80), 1, 9000) && inRange(w.le32(at + 82), 10000, 2000000);
  }
  if (kind == 34) return w.le16(at + 76) == 2;
  return true;
}

bool checkClassifierRegion(ImageWindow& w) {
  for (std::size_t a = 524; a <= 527; ++a)
    if (w.u8(a) >= 4) return false;
  for (std::size_t a : {528u, 532u, 536u, 540u})
    if (!inRange(w.le32(a), 10000, 65000000)) return false;

  constexpr std::size_t kFirstEntry = 560, kFirstSet = 784;
  const std::uint32_t entries = w.le32(552);
  if (!w.holdsEntries(kFirstEntry, entries, kClassifierEntryLength)) return false;
  for (std::size_t i = 0; i < entries; ++i)
    if (!checkClassifierEntry(w, kFirstEntry + i * kClassifierEntryLength)) return false;

  const std::uint32_t sets = w.le32(556);
  if (!w.holdsEntries(kFirstSet, sets, kRuleSetLength)) return false;
  for (std::size_t i = 0; i < sets; ++i)
    if (!checkRuleSet(w, kFirstSet + i * kRuleSetLength)) return false;

  return w.u8(2384) <= 8;
}

bool checkRegion2572(ImageWindow& w) {
  return w.le32(2572) <= 17;
}

bool checkRegion7692(ImageWindow& w) {
  return w.le32(7716) != 1 || inRange(w.le32(7720), 2, 1440);
}

bool checkRegion7820(ImageWindow& w) {
  return inRange(w.le32(7824), 20, 180) && (w.u8(7828) != 1 || w.u8(7829) <= w.u8(7830));
}

bool checkRegion7864(ImageWindow& w) {
  return w.le32(7962) != 1 || inRange(w.le32(7966), 100, 1000);
}

bool checkRegion7992(ImageWindow& w) {
  if (w.le32(7992) >= 13) return false;
  if (!zeroOrInRange(w.le32(8000), 0x10000, 0x1000000)) return false;
  if (!zeroOrInRange(w.le32(8004), 0x10000, 0x1000000)) return false;
  if (w.le32(8008) >= 16) return false;
  const std::uint8_t b8012 = w.u8(8012);
  if (b8012 >= 4) return false;
  if (b8012 == 1) {
    const std::uint32_t w8017 = w.le32(8017);
    if (!inRange(w.le32(8013), 1227, 5016)) return false;
    if (!(w8017 < 25 && (w8017 < 8 || w8017 % 2 == 0))) return false;
  }
  if (w.u8(8046) == 1 && w.u8(8047) >= 7) return false;
  if (w.u8(8021) == 1) {
    const unsigned sum = w.u8(8022) + w.u8(8023) + w.u8(8024) + w.u8(8025);
    if (sum > 100 || w.u8(8048) > 100 || w.u8(8049) > 100) return false;
  }
  if ((w.u8(8026) & 0x0F) != 0) {
    if (!inRange(w.u8(8027), 1, 100)) return false;
    if (!inRange(w.le32(8030), 1000, 14400000)) return false;
    if (!inRange(w.le32(8034), 500, 14400000)) return false;
    if (!inRange(w.le32(8038), 1000, 14400000)) return false;
  }
  return true;
}

bool checkRegion8072(ImageWindow& w) {
  if (!inRange(w.le32(8080), 300000, 2000000)) return false;
  const std::uint16_t flags = w.le16(8084);
  if ((flags & (1u << 3)) && (w.le32(8086) == 0 || w.le32(8090) == 0)) return false;
  if ((flags & (1u << 4)) && w.le32(8094) == 0) return false;
  if ((flags & (1u << 5)) && (w.le32(8098) == 0 || w.le32(8102) == 0)) return false;
  if (flags & (1u << 6)) {
    for (std::size_t i = 0; i < 4; ++i) {
      const std::uint16_t v = w.le16(8106 + 2 * i);
      for (unsigned shift = 0; shift < 12; shift += 3)
        if (((v >> shift) & 0x07) >= 6) return false;
    }
  }
  if (flags & (1u << 7)) {
    const std::uint8_t a = w.u8(8123), b = w.u8(8124);
    if (a > 100 || b > 100 || a + b > 100) return false;
  }
  if ((flags & (1u << 8)) && (w.u8(8118) == 0 || w.u8(8119) == 0 || w.u8(8120) == 0)) return false;
  return true;
}

bool checkKeyModeRegion(ImageWindow& w) {
  const std::uint8_t mode = w.u8(8136);
  if (mode >= 3) return false;
  if (mode == 0) {
    for (std::size_t a = 8137; a <= 8140; ++a)
      if (w.u8(a) == 1) return false;
    if (!allZero(w, 8141, 16)) return false;
  }
  if (mode == 1 && (w.u8(8137) == 0 || w.u8(8138) == 0 || w.u8(8139) == 0)) return false;
  if (w.u8(8157) >= 66) return false;
  if (w.u8(8158) == 1 && !(inRange(w.le16(8159), 4, 1440) && inRange(w.le16(8161), 4, 1440)))
    return false;
  return w.le32(8163) < 4;
}

namespace {

// The optional blocks of region 8200: each is checked only when its 16-bit switch is non-zero,
// and a switch that is on must have a non-zero low byte.
bool switchedBlock(ImageWindow& w, std::size_t switchAt, bool (*check)(ImageWindow&)) {
  if (w.le16(switchAt) == 0) return true;
  return w.u8(switchAt) != 0 && check(w);
}
bool both16InRange(ImageWindow& w, std::size_t a, std::size_t b) {
  return inRange(w.le16(a), 100, 15000) && inRange(w.le16(b), 100, 15000);
}

}  // namespace

bool checkRegion8200(ImageWindow& w) {
  if (w.u8(8200) != 192) return true;

  constexpr std::size_t kFirstA = 8206, kEntryA = 30;
  const std::uint8_t a = w.u8(8205);
  if (a > 40 || !w.holdsEntries(kFirstA, a, kEntryA)) return false;
  for (std::size_t i = 0; i < a; ++i) {
    const std::size_t e = kFirstA + i * kEntryA;
    if (w.u8(e) >= 40 || w.u8(e + 1) > 6) return false;
  }
  constexpr std::size_t kFirstB = 9407, kEntryB = 11;
  const std::uint8_t b = w.u8(9406);
  if (b >= 35 || !w.holdsEntries(kFirstB, b, kEntryB)) return false;
  for (std::size_t i = 0; i < b; ++i) {
    const std::size_t e = kFirstB + i * kEntryB;
    if (w.u8(e) >= 34 || w.u8(e + 1) >= 34 || w.u8(e + 2) >= 40 || w.u8(e + 3) > 40 ||
        w.u8(e + 4) > 40)
      return false;
  }
  for (std::size_t at = 9957; at <= 9960; ++at)
    if (w.u8(at) > 12) return false;
  for (std::size_t at : {9961u, 9963u, 9965u})
    if (w.le16(at) >= 4096) return false;
  const std::uint8_t lo = w.u8(9981), hi = w.u8(9982);
  if (lo > 150 || hi > 150 || w.u8(9985) > 150 || lo >= hi) return false;
  if (!inRange(w.u8(9987), 20, 60) || !inRange(w.u8(9988), 5, 20) || !inRange(w.u8(9989), 5, 10))
    return false;
  const std::uint32_t w9992 = w.le32(9992), w9996 = w.le32(9996);
  if (!((w9992 == 0 && w9996 == 0) || (w9992 != 0 && w9996 != 0 && w9992 < w9996))) return false;

  return switchedBlock(w, 10029,
                       [](ImageWindow& x) {
                         return both16InRange(x, 10023, 10025) &&
                                inRange(x.le16(10027), 20000, 60000) &&
                                zeroOrInRange(x.le32(10031), 20000, 180000) &&
                                zeroOrInRange(x.le32(10035), 20000, 180000) &&
                                zeroOrInRange(x.le16(10039), 20000, 60000) &&
                                zeroOrInRange(x.le16(10041), 20000, 60000);
                       }) &&
         switchedBlock(w, 10055, [](ImageWindow& x) { return both16InRange(x, 10051, 10053); }) &&
         switchedBlock(w, 10077, [](ImageWindow& x) { return both16InRange(x, 10073, 10075); }) &&
         switchedBlock(
             w, 10099,
             [](ImageWindow& x) { return both16InRange(x, 10095, 10097) && x.u8(10101) <= 1; }) &&
         switchedBlock(w, 10128, [](ImageWindow& x) {
           return both16InRange(x, 10124, 10126) && x.u8(10130) <= 1 && x.u8(10137) <= 7 &&
                  x.u8(10138) <= 2;
         });
}

bool checkRegion10248(ImageWindow& w) {
  constexpr std::size_t kFirst = 10249, kEntry = 5;
  const std::uint8_t count = w.u8(10248);
  if (!inRange(count, 1, 32) || !w.holdsEntries(kFirst, count, kEntry)) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t e = kFirst + i * kEntry;
    if (w.u8(e + 3) > 32 || w.u8(e + 4) >= 2) return false;
  }
  const std::uint8_t keyMode = w.u8(10409);
  if (keyMode > 3) return false;
  if (keyMode == 0 && (!allZero(w, 10410, 16) || w.u8(10820) == 1)) return false;
  if (w.u8(10426) != 1) return true;

  constexpr std::size_t kFirstBand = 10436, kBand = 24;
  const std::uint8_t bands = w.u8(10435);
  if (bands < 1 || !w.holdsEntries(kFirstBand, bands, kBand)) return false;
  const std::uint32_t wantA = w.le32(10427), wantB = w.le32(10431);
  bool matched = wantA == 0 && wantB == 0;
  for (std::size_t i = 0; i < bands; ++i) {
    const std::size_t e = kFirstBand + i * kBand;
    const std::int8_t level = static_cast<std::int8_t>(w.u8(e + 10));
    if (!zeroOrInRange(w.le16(e + 8), 1227, 5016) || level < -24 || level > 2 || w.u8(e + 16) > 32)
      return false;
    if (w.le32(e) == wantA && w.le32(e + 4) == wantB) matched = true;
  }
  return matched;
}

namespace {

bool checkTableItem(ImageWindow& w, std::size_t item, bool firstTable) {
  switch (w.le32(item)) {
    case 1:
      return w.u8(item + 4) <= 11;
    case 2:
      return w.le16(item + 4) != 0;
    case 4:
    case 8:
    case 16:
    case 32:
    case 64:
      return true;
    case 0x20000:
      return firstTable && w.le32(item + 4) != 0;
    default:
      return false;
  }
}

// A table of at most three 68-byte entries, each a word count (at most 3) of 20-byte items.
bool checkItemTable(ImageWindow& w, std::size_t countAt, std::size_t firstItem,
                    std::size_t firstItemCount, bool firstTable) {
  constexpr std::size_t kEntry = 68, kItem = 20, kMax = 3;
  const std::uint16_t entries = w.le16(countAt);
  if (entries > kMax) return false;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::uint32_t items = w.le32(firstItemCount + kEntry * i);
    if (items > kMax) return false;
    for (std::size_t j = 0; j < items; ++j)
      if (!checkTableItem(w, firstItem + kEntry * i + kItem * j, firstTable)) return false;
  }
  return true;
}

bool bytesAtMost(ImageWindow& w, std::size_t at, std::size_t count, std::uint8_t max) {
  for (std::size_t i = 0; i < count; ++i)
    if (w.u8(at + i) > max) return false;
  return true;
}

}  // namespace

bool checkRegion10888(ImageWindow& w) {
  const std::uint16_t mode = w.le16(10888);
  if (mode == 0) return true;
  const std::uint32_t period = w.le32(10890);
  if (period == 0 || std::uint64_t{period} * 100 <= w.le32(11354)) return false;
  if (mode == 256) {
    if (period > 144000 || w.u8(10898) > 100) return false;
  } else {
    if (period != 30 && period != 150) return false;
    if ((mode == 32768 || mode == 2048) && w.u8(10898) != 0 && w.u8(10899) > 11) return false;
    if (mode == 8192 || mode == 512) {
      const std::uint8_t first = w.u8(10902), second = w.u8(10908);
      if (first > 2 || !bytesAtMost(w, 10898, first, 11)) return false;
      if (second > 3 || !bytesAtMost(w, 10903, second, 11)) return false;
    }
  }
  return checkItemTable(w, 11142, 10938, 10998, true) &&
         checkItemTable(w, 11348, 11144, 11204, false);
}

bool checkSerialRegion(ImageWindow& w) {
  const std::uint8_t enable = w.u8(11401);
  if (enable > 1) return false;
  if (enable == 1 && !(inRange(w.le16(11408), 10, 2000) && inRange(w.le16(11410), 46, 1500)))
    return false;
  for (std::size_t at : {11420u, 11432u, 11444u}) {
    if (!inRange(w.le32(at), 300, 921600) || !inRange(w.u8(at + 4), 7, 8) || w.u8(at + 5) >= 3 ||
        !inRange(w.u8(at + 6), 1, 2) || w.u8(at + 7) > 1)
      return false;
  }
  return true;
}

bool checkTextRegion(ImageWindow& w) {
  constexpr std::size_t kMaxText = 256;
  for (std::size_t at : {11465u, 11724u, 11981u})
    if (!textAtMost(w, at, kMaxText)) return false;
  const std::uint32_t sum = std::uint32_t{w.le16(12248)} + w.le16(12250) + w.le16(12252);
  return sum < 2561;
}

bool checkRegion(const ParameterRegion& region, ImageWindow& w) {
  const bool passed = region.check(w);
  return passed && !w.faulted();
}

}  // namespace quorrel::paramblock
