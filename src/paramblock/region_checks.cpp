// Region rules of the parameter block, over the named fields of field_map.h.
#include "paramblock/region_checks.h"

#include <algorithm>

namespace quorrel::paramblock {

using namespace field;

namespace {

bool zeroOrInRange(ImageWindow& w, const Field& f, std::size_t base = 0) {
  const std::uint32_t v = w.read(f, base);
  return v == 0 || f.accepts(v);
}
bool allZero(ImageWindow& w, const Field& f) {
  for (std::size_t i = 0; i < f.size; ++i)
    if (w.u8(f.offset + i) != 0) return false;
  return true;
}
bool bytesAtMost(ImageWindow& w, std::size_t at, std::size_t count, std::uint8_t max) {
  for (std::size_t i = 0; i < count; ++i)
    if (w.u8(at + i) > max) return false;
  return true;
}
bool allInRange(ImageWindow& w, std::initializer_list<const Field*> fields) {
  return std::all_of(fields.begin(), fields.end(), [&](const Field* f) { return w.inRange(*f); });
}
// Zero-terminated text that fits its field, terminator included, inside the window.
bool terminatedText(ImageWindow& w, const Field& f) {
  for (std::size_t i = 0; i < f.size; ++i) {
    if (!w.holds(f.offset + i, 1)) return false;
    if (w.u8(f.offset + i) == 0) return true;
  }
  return false;
}
// Every entry of a list whose count the image gives; a count that runs past the window fails.
template <typename Check>
bool everyEntry(ImageWindow& w, const ListLayout& list, std::uint64_t count, Check check) {
  if (!w.holdsEntries(list.first, count, list.entrySize)) return false;
  for (std::uint64_t i = 0; i < count; ++i)
    if (!check(list.first + static_cast<std::size_t>(i) * list.entrySize)) return false;
  return true;
}

constexpr std::uint32_t kRuleVlanPriority = 2;
constexpr std::uint32_t kRuleVlanId = 3;
constexpr std::uint32_t kRuleIpv4Tos = 4;
constexpr std::uint32_t kRuleIpv4Protocol = 5;
constexpr std::uint32_t kRuleIpv6TrafficClass = 8;
constexpr std::uint32_t kRuleIpv6FlowLabel = 9;
constexpr std::uint32_t kRuleFlowLast = 11;
constexpr std::uint32_t kRuleVendorFirst = 224;
constexpr std::uint32_t kRuleVendorSecond = 225;
constexpr std::uint32_t kRuleSpecial = 226;
constexpr std::uint32_t kRuleSpecialByEthertype = 227;
constexpr std::uint32_t kRuleEmptyOperatorZero = 228;
constexpr std::uint32_t kRuleEmpty = 229;
constexpr std::uint32_t kRuleStandardTypes = 16;
constexpr std::uint16_t kSpecialEthertype = 0xE188;

constexpr std::uint8_t kSetKindSpecial = 5;
constexpr std::uint8_t kSetKindBelow = 7;
constexpr std::uint8_t kSetKindExtra = 16;
constexpr std::uint8_t kSetKindHighFirst = 32;
constexpr std::uint8_t kSetKindTagged = 34;
constexpr std::uint16_t kSetTaggedValue = 2;
constexpr std::uint8_t kSetModeAllSpecial = 1;
constexpr std::uint8_t kSetModeNoRules = 2;

}  // namespace

bool checkNothing(ImageWindow&) {
  return true;
}

bool checkIdentityRegion(ImageWindow& w) {
  const std::uint32_t flags = w.read(kIdentityFlags);
  return (w.u8(kMacAddress.offset) & 0x01) == 0 &&
         allInRange(w, {&kEnumerationA, &kEnumerationB, &kEnumerationC, &kIdentityFlags}) &&
         ((flags & kIdentityFlagsPairMask) >> 4) < 2 &&
         (w.read(kIdentitySwitch) != 1 || w.inRange(kIdentitySwitchSetting));
}

bool checkStationEntry(ImageWindow& w, std::size_t at) {
  return w.inRange(kStationEntryFirst, at) && (w.read(kStationEntrySecond, at) & 0x01) == 0;
}

bool checkStationsRegion(ImageWindow& w) {
  if (w.read(kStationsEnable) != 1) return true;
  if (!w.inRange(kStationsSetting) || (w.u8(kStationsAddress.offset) & 0x01) != 0) return false;
  return everyEntry(w, kStations, w.read(kStationsCount),
                    [&](std::size_t e) { return checkStationEntry(w, e); });
}

bool isSpecialRule(ImageWindow& w, std::size_t at) {
  const std::uint32_t type = w.read(kRuleType, at);
  return type == kRuleSpecial ||
         (type == kRuleSpecialByEthertype && w.read(kRuleEthertype, at) == kSpecialEthertype);
}

bool checkClassifierRule(ImageWindow& w, std::size_t at) {
  const std::uint32_t type = w.read(kRuleType, at);
  const std::uint32_t op = w.read(kRuleOperator, at);
  const std::uint32_t v = w.read(kRuleValue, at);
  if (!kRuleOperator.accepts(op)) return false;
  if (!(type < kRuleStandardTypes || (type >= kRuleVendorFirst && type <= kRuleEmpty)))
    return false;
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
    case kRuleEmptyOperatorZero:
      return op == 0 && v == 0;
    case kRuleEmpty:
      return v == 0;
    default:
      return true;
  }
}

bool checkClassifierEntry(ImageWindow& w, std::size_t at) {
  if (!w.inRange(kEntryClass, at) || !checkClassifierRule(w, at + kEntryRule)) return false;
  const bool fifth = w.read(kEntryClass, at) == kSpecialClass;
  return isSpecialRule(w, at + kEntryRule) ? fifth : !fifth;
}

bool checkRuleSet(ImageWindow& w, std::size_t at) {
  const std::uint32_t kind = w.read(kSetKind, at);
  const std::uint32_t mode = w.read(kSetMode, at);
  const std::uint32_t count = w.read(kSetRuleCount, at);
  if (!(kind < kSetKindBelow || kind == kSetKindExtra ||
        (kind >= kSetKindHighFirst && kind <= kSetKindTagged)))
    return false;
  if (!kSetMode.accepts(mode)) return false;
  if (mode == kSetModeNoRules ? count != 0 : !kSetRuleCount.accepts(count)) return false;

  const std::size_t rules = std::min<std::size_t>(count, kSetMaxRules);
  std::size_t special = 0;
  bool flowRule = false;
  for (std::size_t i = 0; i < rules; ++i) {
    const std::size_t r = at + kSetRules + i * kRuleLength;
    if (!checkClassifierRule(w, r)) return false;
    const std::uint32_t type = w.read(kRuleType, r);
    if (kind == kSetKindExtra && (type == kRuleVendorFirst || type == kRuleVendorSecond))
      return false;
    if (isSpecialRule(w, r)) ++special;
    if (type >= kRuleIpv6FlowLabel && type <= kRuleFlowLast) flowRule = true;
  }
  // A set without rules (mode 2) is not "all special".
  const bool allSpecial = rules > 0 && special == rules;
  if (special > 0 && kind != kSetKindSpecial) return false;
  if (allSpecial && mode != kSetModeAllSpecial) return false;
  const bool specialSet = allSpecial || (special > 0 && mode == 0);
  if (flowRule && kind >= kSetKindHighFirst) return false;
  if (!specialSet && kind == kSetKindSpecial) return false;

  if (kind == kSetKindExtra) {
    return w.inRange(kSetExtraA, at) && w.inRange(kSetExtraB, at) && w.inRange(kSetExtraC, at) &&
           w.inRange(kSetExtraD, at) && w.inRange(kSetExtraE, at);
  }
  if (kind == kSetKindTagged) return w.read(kSetExtraA, at) == kSetTaggedValue;
  return true;
}

bool checkClassifierRegion(ImageWindow& w) {
  if (!allInRange(w, {&kPriorityMapA, &kPriorityMapB, &kPriorityMapC, &kPriorityMapD, &kRateA,
                      &kRateB, &kRateC, &kRateD}))
    return false;
  if (!everyEntry(w, kClassifiers, w.read(kClassifierCount),
                  [&](std::size_t e) { return checkClassifierEntry(w, e); }))
    return false;
  const ListLayout sets{"classifier.rule-set", &kRuleSetCount, kRuleSetsFirst, kRuleSetLength, 0};
  if (!everyEntry(w, sets, w.read(kRuleSetCount),
                  [&](std::size_t e) { return checkRuleSet(w, e); }))
    return false;
  return w.inRange(kClassifierLimit);
}

bool checkTonesRegion(ImageWindow& w) {
  return w.inRange(kToneSelect);
}

bool checkTimerRegion(ImageWindow& w) {
  return w.read(kTimerEnable) != 1 || w.inRange(kTimerValue);
}

bool checkLevelsRegion(ImageWindow& w) {
  return w.inRange(kLevelsValue) &&
         (w.read(kLevelsOrdered) != 1 || w.read(kLevelsLow) <= w.read(kLevelsHigh));
}

bool checkIntervalRegion(ImageWindow& w) {
  return w.read(kIntervalEnable) != 1 || w.inRange(kIntervalValue);
}

bool checkTuningRegion(ImageWindow& w) {
  if (!w.inRange(kTuningMode) || !zeroOrInRange(w, kTuningLimitA) ||
      !zeroOrInRange(w, kTuningLimitB) || !w.inRange(kTuningLevel) || !w.inRange(kTuningBandMode))
    return false;
  if (w.read(kTuningBandMode) == 1) {
    const std::uint32_t width = w.read(kTuningBandWidth);
    if (!w.inRange(kTuningBandFrequency) || !kTuningBandWidth.accepts(width)) return false;
    if (!(width < 8 || width % 2 == 0)) return false;
  }
  if (w.read(kTuningStepEnable) == 1 && !w.inRange(kTuningStep)) return false;
  if (w.read(kTuningShareEnable) == 1) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < kTuningShares.size; ++i) sum += w.u8(kTuningShares.offset + i);
    if (sum > 100 || !w.inRange(kTuningShareE) || !w.inRange(kTuningShareF)) return false;
  }
  if ((w.read(kTuningPeriodic) & kTuningPeriodicMask) != 0)
    return allInRange(w, {&kTuningPercent, &kTuningPeriodA, &kTuningPeriodB, &kTuningPeriodC});
  return true;
}

bool checkLinkRegion(ImageWindow& w) {
  if (!w.inRange(kLinkRate)) return false;
  const std::uint32_t flags = w.read(kLinkFlags);
  auto on = [flags](unsigned bit) { return (flags & (1u << bit)) != 0; };
  if (on(3) && !allInRange(w, {&kLinkPairA1, &kLinkPairA2})) return false;
  if (on(4) && !w.inRange(kLinkSingle)) return false;
  if (on(5) && !allInRange(w, {&kLinkPairB1, &kLinkPairB2})) return false;
  if (on(6)) {
    for (std::size_t at = kLinkGroups.offset; at < kLinkGroups.end(); at += 2) {
      const std::uint16_t v = w.le16(at);
      for (unsigned shift = 0; shift < 12; shift += 3)
        if (((v >> shift) & 0x07) >= 6) return false;
    }
  }
  if (on(7) && !(allInRange(w, {&kLinkShareA, &kLinkShareB}) &&
                 w.read(kLinkShareA) + w.read(kLinkShareB) <= 100))
    return false;
  if (on(8)) {
    for (std::size_t at = kLinkTriple.offset; at < kLinkTriple.end(); ++at)
      if (w.u8(at) == 0) return false;
  }
  return true;
}

bool checkKeyModeRegion(ImageWindow& w) {
  const std::uint32_t mode = w.read(kKeyMode);
  if (!kKeyMode.accepts(mode)) return false;
  if (mode == 0) {
    for (std::size_t at = kKeyFlags.offset; at < kKeyFlags.end(); ++at)
      if (w.u8(at) == 1) return false;
    if (!allZero(w, kKeyValue)) return false;
  }
  if (mode == 1) {
    // The first three flags must be set; the fourth is free.
    for (std::size_t at = kKeyFlags.offset; at < kKeyFlags.offset + 3; ++at)
      if (w.u8(at) == 0) return false;
  }
  if (!w.inRange(kKeyLimit)) return false;
  if (w.read(kKeyWindowEnable) == 1 && !allInRange(w, {&kKeyWindowLow, &kKeyWindowHigh}))
    return false;
  return w.inRange(kKeyRetries);
}

namespace {

// An optional block of the tables region: checked only when its 16-bit switch is non-zero,
// and a switch that is on must have a non-zero low byte.
bool switchedBlock(ImageWindow& w, const Field& onOff, std::initializer_list<const Field*> ranged,
                   std::initializer_list<const Field*> zeroOrRanged = {}) {
  if (w.read(onOff) == 0) return true;
  if (w.u8(onOff.offset) == 0 || !allInRange(w, ranged)) return false;
  return std::all_of(zeroOrRanged.begin(), zeroOrRanged.end(),
                     [&](const Field* f) { return zeroOrInRange(w, *f); });
}

bool checkTableLists(ImageWindow& w) {
  const std::uint32_t spans = w.read(kTablesSpanCount);
  if (!kTablesSpanCount.accepts(spans) || !everyEntry(w, kTableSpans, spans, [&](std::size_t e) {
        return w.inRange(kSpanStart, e) && w.inRange(kSpanKind, e);
      }))
    return false;
  const std::uint32_t links = w.read(kTablesLinkCount);
  return kTablesLinkCount.accepts(links) && everyEntry(w, kTableLinks, links, [&](std::size_t e) {
           return w.inRange(kLinkFrom, e) && w.inRange(kLinkTo, e) && w.inRange(kLinkSpan, e) &&
                  w.inRange(kLinkLow, e) && w.inRange(kLinkHigh, e);
         });
}

}  // namespace

bool checkTablesRegion(ImageWindow& w) {
  if (w.read(kTablesMarker) != kTablesInUse) return true;
  if (!checkTableLists(w)) return false;
  if (!bytesAtMost(w, kTablesGains.offset, kTablesGains.size, kTablesGainMax)) return false;
  if (!allInRange(w, {&kTablesMaskA, &kTablesMaskB, &kTablesMaskC, &kTablesFloor, &kTablesCeiling,
                      &kTablesMargin, &kTablesSpread, &kTablesStepA, &kTablesStepB}))
    return false;
  if (w.read(kTablesFloor) >= w.read(kTablesCeiling)) return false;
  const std::uint32_t from = w.read(kTablesFrom), to = w.read(kTablesTo);
  if (!((from == 0 && to == 0) || (from != 0 && to != 0 && from < to))) return false;

  return switchedBlock(w, kBlock1Switch, {&kBlock1TimeA, &kBlock1TimeB, &kBlock1Hold},
                       {&kBlock1WaitA, &kBlock1WaitB, &kBlock1GapA, &kBlock1GapB}) &&
         switchedBlock(w, kBlock2Switch, {&kBlock2TimeA, &kBlock2TimeB}) &&
         switchedBlock(w, kBlock3Switch, {&kBlock3TimeA, &kBlock3TimeB}) &&
         switchedBlock(w, kBlock4Switch, {&kBlock4TimeA, &kBlock4TimeB, &kBlock4Flag}) &&
         switchedBlock(w, kBlock5Switch,
                       {&kBlock5TimeA, &kBlock5TimeB, &kBlock5Flag, &kBlock5Level, &kBlock5Choice});
}

bool checkBandsRegion(ImageWindow& w) {
  const std::uint32_t carriers = w.read(kCarrierCount);
  if (!kCarrierCount.accepts(carriers) || !everyEntry(w, kCarriers, carriers, [&](std::size_t e) {
        return w.inRange(kCarrierLevel, e) && w.inRange(kCarrierFlag, e);
      }))
    return false;
  const std::uint32_t keyMode = w.read(kBandKeyMode);
  if (!kBandKeyMode.accepts(keyMode)) return false;
  if (keyMode == 0 && (!allZero(w, kBandKey) || w.read(kBandsLock) == 1)) return false;
  if (w.read(kBandsEnable) != 1) return true;

  const std::uint32_t wantA = w.read(kBandsWantA), wantB = w.read(kBandsWantB);
  bool matched = wantA == 0 && wantB == 0;
  const std::uint32_t bands = w.read(kBandCount);
  return kBandCount.accepts(bands) &&
         everyEntry(w, kBands, bands,
                    [&](std::size_t e) {
                      const auto level = static_cast<std::int8_t>(w.read(kBandLevel, e));
                      if (!zeroOrInRange(w, kBandFrequency, e) || level < -24 || level > 2 ||
                          !w.inRange(kBandWidth, e))
                        return false;
                      if (w.read(kBandIdA, e) == wantA && w.read(kBandIdB, e) == wantB)
                        matched = true;
                      return true;
                    }) &&
         matched;
}

namespace {

constexpr std::uint32_t kScheduleModeWide = 256;
constexpr std::uint32_t kScheduleWidePeriodMax = 144000;
constexpr std::uint32_t kScheduleWideSlotMax = 100;
constexpr std::uint32_t kSchedulePeriodShort = 30;
constexpr std::uint32_t kSchedulePeriodLong = 150;
constexpr std::uint32_t kItemTypeWord = 0x20000;

bool checkTableItem(ImageWindow& w, std::size_t item, bool firstTable) {
  switch (w.read(kItemType, item)) {
    case 1:
      return w.inRange(kItemByte, item);
    case 2:
      return w.inRange(kItemHalf, item);
    case 4:
    case 8:
    case 16:
    case 32:
    case 64:
      return true;
    case kItemTypeWord:
      return firstTable && w.inRange(kItemWord, item);
    default:
      return false;
  }
}

// A table of at most three entries, each a word count (at most 3) of 20-byte items.
bool checkItemTable(ImageWindow& w, const Field& count, std::size_t firstItem, bool firstTable) {
  const std::uint32_t entries = w.read(count);
  if (!count.accepts(entries)) return false;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t entry = firstItem + kScheduleEntryLength * i;
    const std::uint32_t items = w.le32(entry + kScheduleItemCountInEntry);
    if (items > kScheduleMaxItems) return false;
    for (std::size_t j = 0; j < items; ++j)
      if (!checkTableItem(w, entry + kScheduleItemLength * j, firstTable)) return false;
  }
  return true;
}

bool checkScheduleSlots(ImageWindow& w, std::uint32_t mode) {
  const std::uint32_t period = w.read(kSchedulePeriod);
  if (mode == kScheduleModeWide)
    return period <= kScheduleWidePeriodMax && w.read(kScheduleSlotsA) <= kScheduleWideSlotMax;
  if (period != kSchedulePeriodShort && period != kSchedulePeriodLong) return false;
  if ((mode == 32768 || mode == 2048) && w.read(kScheduleSlotsA) != 0 && !w.inRange(kScheduleSlotB))
    return false;
  if (mode == 8192 || mode == 512) {
    const std::uint32_t first = w.read(kScheduleSlotsACount), second = w.read(kScheduleSlotsCCount);
    if (!kScheduleSlotsACount.accepts(first) ||
        !bytesAtMost(w, kScheduleSlotsA.offset, first, kScheduleSlotMax))
      return false;
    if (!kScheduleSlotsCCount.accepts(second) ||
        !bytesAtMost(w, kScheduleSlotsC.offset, second, kScheduleSlotMax))
      return false;
  }
  return true;
}

}  // namespace

bool checkScheduleRegion(ImageWindow& w) {
  const std::uint32_t mode = w.read(kScheduleMode);
  if (mode == 0) return true;
  const std::uint32_t period = w.read(kSchedulePeriod);
  if (period == 0 || std::uint64_t{period} * 100 <= w.read(kScheduleBudget)) return false;
  return checkScheduleSlots(w, mode) &&
         checkItemTable(w, kScheduleTableACount, kScheduleTableAItems, true) &&
         checkItemTable(w, kScheduleTableBCount, kScheduleTableBItems, false);
}

bool checkSerialRegion(ImageWindow& w) {
  const std::uint32_t enable = w.read(kSerialEnable);
  if (!kSerialEnable.accepts(enable)) return false;
  // A disabled port's settings are not in use and may be left zero.
  if (enable != 1) return true;
  if (!allInRange(w, {&kSerialTimeout, &kSerialFrame})) return false;
  for (std::size_t i = 0; i < kSerialPorts.capacity; ++i) {
    const std::size_t port = kSerialPorts.entryAt(i);
    for (const Field* f : kSerialPorts.fields)
      if (!w.inRange(*f, port)) return false;
  }
  return true;
}

bool checkTextRegion(ImageWindow& w) {
  for (const Field* text : {&kTextA, &kTextB, &kTextC})
    if (!terminatedText(w, *text)) return false;
  const std::uint32_t sum = w.read(kTextLengthA) + w.read(kTextLengthB) + w.read(kTextLengthC);
  return sum < kTextLengthsBelow;
}

}  // namespace quorrel::paramblock
