// Every named field of a parameter block image, each at its one offset; validation, the
// accessors, the loads and the console tool all read these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quorrel::paramblock {

enum class FieldKind : std::uint8_t { Byte, Le16, Le32, Bytes, Text };

// A field at `offset`: an absolute image offset, or for the fields of a list entry, an offset
// from the entry's first byte. Numbers accept `min` to `max`; `enable` names the byte that must
// be 1 before the field may be changed.
struct Field {
  std::string_view name;
  std::size_t offset;
  FieldKind kind;
  std::size_t size;
  std::uint32_t min = 0;
  std::uint32_t max = 0xFFFFFFFF;
  const Field* enable = nullptr;

  constexpr std::size_t end() const { return offset + size; }
  constexpr bool isNumber() const { return kind != FieldKind::Bytes && kind != FieldKind::Text; }
  constexpr bool accepts(std::uint32_t v) const { return v >= min && v <= max; }
};

constexpr Field u8Field(std::string_view name, std::size_t at, std::uint32_t lo = 0,
                        std::uint32_t hi = 0xFF, const Field* enable = nullptr) {
  return {name, at, FieldKind::Byte, 1, lo, hi, enable};
}
constexpr Field le16Field(std::string_view name, std::size_t at, std::uint32_t lo = 0,
                          std::uint32_t hi = 0xFFFF, const Field* enable = nullptr) {
  return {name, at, FieldKind::Le16, 2, lo, hi, enable};
}
constexpr Field le32Field(std::string_view name, std::size_t at, std::uint32_t lo = 0,
                          std::uint32_t hi = 0xFFFFFFFF, const Field* enable = nullptr) {
  return {name, at, FieldKind::Le32, 4, lo, hi, enable};
}
constexpr Field bytesField(std::string_view name, std::size_t at, std::size_t n) {
  return {name, at, FieldKind::Bytes, n};
}
// A zero-terminated text of at most size - 1 characters.
constexpr Field textField(std::string_view name, std::size_t at, std::size_t n) {
  return {name, at, FieldKind::Text, n};
}

// A list of fixed-size entries from `first`, one every `entrySize` bytes, whose count is itself
// a field (none: always `capacity` entries). `fields` are the entry's named fields.
struct ListLayout {
  std::string_view name;
  const Field* count;
  std::size_t first;
  std::size_t entrySize;
  std::size_t capacity;  // entries an accessor may add; the region's rule may allow more
  const Field* enable = nullptr;
  std::span<const Field* const> fields = {};

  constexpr std::size_t entryAt(std::size_t index) const { return first + index * entrySize; }
};

namespace field {

// Region 12: identity.
inline constexpr Field kMacAddress = bytesField("mac", 12, 6);
inline constexpr Field kDeviceAccessKey = bytesField("device-access-key", 18, 16);
inline constexpr Field kManufacturer = textField("manufacturer", 36, 64);
inline constexpr Field kNetworkMembershipKey = bytesField("network-membership-key", 100, 16);
inline constexpr Field kDeviceName = textField("device-name", 116, 64);
inline constexpr Field kNetworkName = textField("network-name", 180, 64);
inline constexpr Field kEnumerationA = u8Field("identity.enumeration-a", 244, 0, 3);
inline constexpr Field kEnumerationB = u8Field("identity.enumeration-b", 245, 0, 2);
inline constexpr Field kEnumerationC = u8Field("identity.enumeration-c", 246, 0, 2);
inline constexpr Field kNetworkIdentifier = bytesField("network-identifier", 247, 7);
// At most 63, and bits 4-5 below 2.
inline constexpr Field kIdentityFlags = u8Field("identity.flags", 254, 0, 63);
inline constexpr std::uint8_t kIdentityFlagsPairMask = 0x30;
inline constexpr Field kIdentitySwitch = u8Field("identity.switch", 256, 0, 0xFF);
inline constexpr Field kIdentitySwitchSetting = u8Field("identity.switch-setting", 257, 0, 1);
inline constexpr Field kAddressSwitch = u8Field("address-switch", 258, 0, 1);
inline constexpr Field kSwitchedAddress = bytesField("switched-address", 259, 6);

// Region 268: a list of seven-byte entries behind an enable byte.
inline constexpr Field kStationsEnable = u8Field("stations.enable", 268, 0, 1);
inline constexpr Field kStationsSetting =
    u8Field("stations.setting", 269, 1, 254, &kStationsEnable);
inline constexpr Field kStationsAddress = bytesField("stations.address", 270, 6);
inline constexpr Field kStationsExtra = u8Field("stations.extra", 276, 0, 0xFF, &kStationsEnable);
inline constexpr Field kStationsCount = u8Field("stations.count", 277, 0, 8);
inline constexpr Field kStationEntryFirst = u8Field("first", 0, 1, 254);  // in an entry
inline constexpr Field kStationEntrySecond = u8Field("second", 1);        // bit 0 clear
inline constexpr const Field* kStationEntry[] = {&kStationEntryFirst, &kStationEntrySecond};
inline constexpr ListLayout kStations{
    "stations.entry", &kStationsCount, 278, 7, 8, &kStationsEnable, kStationEntry};

// Region 524: classifiers.
inline constexpr Field kPriorityMapA = u8Field("classifier.priority-a", 524, 0, 3);
inline constexpr Field kPriorityMapB = u8Field("classifier.priority-b", 525, 0, 3);
inline constexpr Field kPriorityMapC = u8Field("classifier.priority-c", 526, 0, 3);
inline constexpr Field kPriorityMapD = u8Field("classifier.priority-d", 527, 0, 3);
inline constexpr Field kRateA = le32Field("classifier.rate-a", 528, 10000, 65000000);
inline constexpr Field kRateB = le32Field("classifier.rate-b", 532, 10000, 65000000);
inline constexpr Field kRateC = le32Field("classifier.rate-c", 536, 10000, 65000000);
inline constexpr Field kRateD = le32Field("classifier.rate-d", 540, 10000, 65000000);
inline constexpr Field kClassifierCount = le32Field("classifier.count", 552, 0, 8);
inline constexpr Field kRuleSetCount = le32Field("classifier.rule-sets", 556);
inline constexpr std::size_t kRuleSetsFirst = 784;
inline constexpr std::size_t kRuleSetLength = 100;
inline constexpr Field kClassifierLimit = u8Field("classifier.limit", 2384, 0, 8);
// Classifier entry: a class number and one rule.
inline constexpr Field kEntryClass = le32Field("class", 0, 0, 15);
inline constexpr std::size_t kEntryRule = 4;
inline constexpr std::uint32_t kSpecialClass = 5;
// Classifier rule (24 bytes).
inline constexpr std::size_t kRuleLength = 24;
inline constexpr Field kRuleType = le32Field("type", 0);
inline constexpr Field kRuleOperator = le32Field("operator", 4, 0, 1);
inline constexpr Field kRuleValue = le32Field("value", 8);
inline constexpr Field kEntryRuleType = le32Field("rule-type", kEntryRule + 0);
inline constexpr Field kEntryRuleOperator = le32Field("rule-operator", kEntryRule + 4);
inline constexpr Field kEntryRuleValue = le32Field("rule-value", kEntryRule + 8);
inline constexpr const Field* kClassifierEntry[] = {&kEntryClass, &kEntryRuleType,
                                                    &kEntryRuleOperator, &kEntryRuleValue};
inline constexpr ListLayout kClassifiers{"classifier.entry", &kClassifierCount, 560, 28, 8, nullptr,
                                         kClassifierEntry};
inline constexpr Field kRuleEthertype = le16Field("ethertype", 8);
// Rule set (100 bytes): kind, mode, up to three rules, an extra block.
inline constexpr Field kSetKind = u8Field("kind", 0);
inline constexpr Field kSetMode = u8Field("mode", 1, 0, 2);
inline constexpr Field kSetRuleCount = le16Field("count", 2, 1, 3);
inline constexpr std::size_t kSetRules = 4;
inline constexpr std::size_t kSetMaxRules = 3;
inline constexpr Field kSetExtraA = le16Field("extra-a", 76, 1, 1);
inline constexpr Field kSetExtraB = u8Field("extra-b", 78, 0, 3);
inline constexpr Field kSetExtraC = u8Field("extra-c", 79, 0, 15);
inline constexpr Field kSetExtraD = le16Field("extra-d", 80, 1, 9000);
inline constexpr Field kSetExtraE = le32Field("extra-e", 82, 10000, 2000000);

// Regions 2572 to 7864: single values.
inline constexpr Field kToneSelect = le32Field("tones.select", 2572, 0, 17);
inline constexpr Field kTimerEnable = le32Field("timer.enable", 7716, 0, 1);
inline constexpr Field kTimerValue = le32Field("timer.value", 7720, 2, 1440, &kTimerEnable);
inline constexpr Field kLevelsValue = le32Field("levels.value", 7824, 20, 180);
inline constexpr Field kLevelsOrdered = u8Field("levels.ordered", 7828, 0, 0xFF);
inline constexpr Field kLevelsLow = u8Field("levels.low", 7829);
inline constexpr Field kLevelsHigh = u8Field("levels.high", 7830);
inline constexpr Field kLevelsMap = bytesField("levels.map", 7844, 12);
inline constexpr Field kIntervalEnable = le32Field("interval.enable", 7962, 0, 1);
inline constexpr Field kIntervalValue =
    le32Field("interval.value", 7966, 100, 1000, &kIntervalEnable);

// Region 7992: tuning.
inline constexpr Field kTuningMode = le32Field("tuning.mode", 7992, 0, 12);
inline constexpr Field kTuningLimitA = le32Field("tuning.limit-a", 8000, 0x10000, 0x1000000);
inline constexpr Field kTuningLimitB = le32Field("tuning.limit-b", 8004, 0x10000, 0x1000000);
inline constexpr Field kTuningLevel = le32Field("tuning.level", 8008, 0, 15);
inline constexpr Field kTuningBandMode = u8Field("tuning.band-mode", 8012, 0, 3);
inline constexpr Field kTuningBandFrequency = le32Field("tuning.band-frequency", 8013, 1227, 5016);
inline constexpr Field kTuningBandWidth = le32Field("tuning.band-width", 8017, 0, 24);
inline constexpr Field kTuningShareEnable = u8Field("tuning.share-enable", 8021);
inline constexpr Field kTuningShares = bytesField("tuning.shares", 8022, 4);
inline constexpr Field kTuningPeriodic = u8Field("tuning.periodic", 8026);
inline constexpr std::uint8_t kTuningPeriodicMask = 0x0F;
inline constexpr Field kTuningPercent = u8Field("tuning.percent", 8027, 1, 100);
inline constexpr Field kTuningPeriodA = le32Field("tuning.period-a", 8030, 1000, 14400000);
inline constexpr Field kTuningPeriodB = le32Field("tuning.period-b", 8034, 500, 14400000);
inline constexpr Field kTuningPeriodC = le32Field("tuning.period-c", 8038, 1000, 14400000);
inline constexpr Field kTuningStepEnable = u8Field("tuning.step-enable", 8046);
inline constexpr Field kTuningStep = u8Field("tuning.step", 8047, 0, 6);
inline constexpr Field kTuningShareE = u8Field("tuning.share-e", 8048, 0, 100);
inline constexpr Field kTuningShareF = u8Field("tuning.share-f", 8049, 0, 100);

// Region 8072: a rate and values selected by flags.
inline constexpr Field kLinkRate = le32Field("link.rate", 8080, 300000, 2000000);
inline constexpr Field kLinkFlags = le16Field("link.flags", 8084);
inline constexpr Field kLinkPairA1 = le32Field("link.pair-a1", 8086, 1);
inline constexpr Field kLinkPairA2 = le32Field("link.pair-a2", 8090, 1);
inline constexpr Field kLinkSingle = le32Field("link.single", 8094, 1);
inline constexpr Field kLinkPairB1 = le32Field("link.pair-b1", 8098, 1);
inline constexpr Field kLinkPairB2 = le32Field("link.pair-b2", 8102, 1);
inline constexpr Field kLinkGroups = bytesField("link.groups", 8106, 8);  // four 16-bit values
inline constexpr Field kLinkTriple = bytesField("link.triple", 8118, 3);
inline constexpr Field kLinkShareA = u8Field("link.share-a", 8123, 0, 100);
inline constexpr Field kLinkShareB = u8Field("link.share-b", 8124, 0, 100);

// Region 8136: key mode.
inline constexpr Field kKeyMode = u8Field("key.mode", 8136, 0, 2);
inline constexpr Field kKeyFlags = bytesField("key.flags", 8137, 4);
inline constexpr Field kKeyValue = bytesField("key.value", 8141, 16);
inline constexpr Field kKeyLimit = u8Field("key.limit", 8157, 0, 65);
inline constexpr Field kKeyWindowEnable = u8Field("key.window-enable", 8158);
inline constexpr Field kKeyWindowLow = le16Field("key.window-low", 8159, 4, 1440);
inline constexpr Field kKeyWindowHigh = le16Field("key.window-high", 8161, 4, 1440);
inline constexpr Field kKeyRetries = le32Field("key.retries", 8163, 0, 3);

// Region 8200: tables, in use when the first byte is kTablesInUse.
inline constexpr Field kTablesMarker = u8Field("tables.marker", 8200);
inline constexpr std::uint8_t kTablesInUse = 192;
inline constexpr Field kTablesSpanCount = u8Field("tables.spans", 8205, 0, 40);
inline constexpr Field kSpanStart = u8Field("start", 0, 0, 39);
inline constexpr Field kSpanKind = u8Field("kind", 1, 0, 6);
inline constexpr const Field* kSpanEntry[] = {&kSpanStart, &kSpanKind};
inline constexpr ListLayout kTableSpans{"tables.span", &kTablesSpanCount, 8206, 30, 40,
                                        nullptr,       kSpanEntry};
inline constexpr Field kTablesLinkCount = u8Field("tables.links", 9406, 0, 34);
inline constexpr Field kLinkFrom = u8Field("from", 0, 0, 33);
inline constexpr Field kLinkTo = u8Field("to", 1, 0, 33);
inline constexpr Field kLinkSpan = u8Field("span", 2, 0, 39);
inline constexpr Field kLinkLow = u8Field("low", 3, 0, 40);
inline constexpr Field kLinkHigh = u8Field("high", 4, 0, 40);
inline constexpr const Field* kLinkEntry[] = {&kLinkFrom, &kLinkTo, &kLinkSpan, &kLinkLow,
                                              &kLinkHigh};
inline constexpr ListLayout kTableLinks{"tables.link", &kTablesLinkCount, 9407, 11, 34,
                                        nullptr,       kLinkEntry};
inline constexpr Field kTablesGains = bytesField("tables.gains", 9957, 4);  // each at most 12
inline constexpr std::uint8_t kTablesGainMax = 12;
inline constexpr Field kTablesMaskA = le16Field("tables.mask-a", 9961, 0, 4095);
inline constexpr Field kTablesMaskB = le16Field("tables.mask-b", 9963, 0, 4095);
inline constexpr Field kTablesMaskC = le16Field("tables.mask-c", 9965, 0, 4095);
inline constexpr Field kTablesFloor = u8Field("tables.floor", 9981, 0, 150);
inline constexpr Field kTablesCeiling = u8Field("tables.ceiling", 9982, 0, 150);
inline constexpr Field kTablesMargin = u8Field("tables.margin", 9985, 0, 150);
inline constexpr Field kTablesSpread = u8Field("tables.spread", 9987, 20, 60);
inline constexpr Field kTablesStepA = u8Field("tables.step-a", 9988, 5, 20);
inline constexpr Field kTablesStepB = u8Field("tables.step-b", 9989, 5, 10);
inline constexpr Field kTablesFrom = le32Field("tables.from", 9992);
inline constexpr Field kTablesTo = le32Field("tables.to", 9996);
// Five optional blocks behind 16-bit switches; the time values of each lie 100 to 15000.
inline constexpr Field kBlock1Switch = le16Field("tables.block1", 10029);
inline constexpr Field kBlock1TimeA = le16Field("tables.block1-a", 10023, 100, 15000);
inline constexpr Field kBlock1TimeB = le16Field("tables.block1-b", 10025, 100, 15000);
inline constexpr Field kBlock1Hold = le16Field("tables.block1-hold", 10027, 20000, 60000);
inline constexpr Field kBlock1WaitA = le32Field("tables.block1-wait-a", 10031, 20000, 180000);
inline constexpr Field kBlock1WaitB = le32Field("tables.block1-wait-b", 10035, 20000, 180000);
inline constexpr Field kBlock1GapA = le16Field("tables.block1-gap-a", 10039, 20000, 60000);
inline constexpr Field kBlock1GapB = le16Field("tables.block1-gap-b", 10041, 20000, 60000);
inline constexpr Field kBlock2Switch = le16Field("tables.block2", 10055);
inline constexpr Field kBlock2TimeA = le16Field("tables.block2-a", 10051, 100, 15000);
inline constexpr Field kBlock2TimeB = le16Field("tables.block2-b", 10053, 100, 15000);
inline constexpr Field kBlock3Switch = le16Field("tables.block3", 10077);
inline constexpr Field kBlock3TimeA = le16Field("tables.block3-a", 10073, 100, 15000);
inline constexpr Field kBlock3TimeB = le16Field("tables.block3-b", 10075, 100, 15000);
inline constexpr Field kBlock4Switch = le16Field("tables.block4", 10099);
inline constexpr Field kBlock4TimeA = le16Field("tables.block4-a", 10095, 100, 15000);
inline constexpr Field kBlock4TimeB = le16Field("tables.block4-b", 10097, 100, 15000);
inline constexpr Field kBlock4Flag = u8Field("tables.block4-flag", 10101, 0, 1);
inline constexpr Field kBlock5Switch = le16Field("tables.block5", 10128);
inline constexpr Field kBlock5TimeA = le16Field("tables.block5-a", 10124, 100, 15000);
inline constexpr Field kBlock5TimeB = le16Field("tables.block5-b", 10126, 100, 15000);
inline constexpr Field kBlock5Flag = u8Field("tables.block5-flag", 10130, 0, 1);
inline constexpr Field kBlock5Level = u8Field("tables.block5-level", 10137, 0, 7);
inline constexpr Field kBlock5Choice = u8Field("tables.block5-choice", 10138, 0, 2);

// Region 10248: carriers and bands.
inline constexpr Field kCarrierCount = u8Field("bands.carriers", 10248, 1, 32);
inline constexpr Field kCarrierFirst = u8Field("first", 0);
inline constexpr Field kCarrierSecond = u8Field("second", 1);
inline constexpr Field kCarrierLevel = u8Field("level", 3, 0, 32);
inline constexpr Field kCarrierFlag = u8Field("flag", 4, 0, 1);
inline constexpr const Field* kCarrierEntry[] = {&kCarrierFirst, &kCarrierSecond, &kCarrierLevel,
                                                 &kCarrierFlag};
inline constexpr ListLayout kCarriers{"bands.carrier", &kCarrierCount, 10249, 5, 32,
                                      nullptr,         kCarrierEntry};
inline constexpr Field kBandKeyMode = u8Field("bands.key-mode", 10409, 0, 3);
inline constexpr Field kBandKey = bytesField("bands.key", 10410, 16);
inline constexpr Field kBandsEnable = u8Field("bands.enable", 10426);
inline constexpr Field kBandsWantA = le32Field("bands.want-a", 10427);
inline constexpr Field kBandsWantB = le32Field("bands.want-b", 10431);
inline constexpr Field kBandCount = u8Field("bands.count", 10435, 1, 255);
inline constexpr Field kBandIdA = le32Field("id-a", 0);
inline constexpr Field kBandIdB = le32Field("id-b", 4);
inline constexpr Field kBandFrequency = le16Field("frequency", 8, 1227, 5016);
inline constexpr Field kBandLevel = u8Field("level", 10);  // signed, -24 to 2
inline constexpr Field kBandWidth = u8Field("width", 16, 0, 32);
inline constexpr const Field* kBandEntry[] = {&kBandIdA, &kBandIdB, &kBandFrequency, &kBandLevel,
                                              &kBandWidth};
inline constexpr ListLayout kBands{"bands.band", &kBandCount, 10436, 24, 255, nullptr, kBandEntry};
inline constexpr Field kBandsLock = u8Field("bands.lock", 10820);

// Region 10888: schedule.
inline constexpr Field kScheduleMode = le16Field("schedule.mode", 10888);
inline constexpr Field kSchedulePeriod = le32Field("schedule.period", 10890, 1);
inline constexpr Field kScheduleSlotsA = u8Field("schedule.slots-a", 10898);
inline constexpr Field kScheduleSlotB = u8Field("schedule.slot-b", 10899, 0, 11);
inline constexpr Field kScheduleSlotsACount = u8Field("schedule.slots-a-count", 10902, 0, 2);
inline constexpr Field kScheduleSlotsC = u8Field("schedule.slots-c", 10903);
inline constexpr Field kScheduleSlotsCCount = u8Field("schedule.slots-c-count", 10908, 0, 3);
inline constexpr std::uint8_t kScheduleSlotMax = 11;
inline constexpr Field kScheduleBudget = le32Field("schedule.budget", 11354);
inline constexpr Field kScheduleTableACount = le16Field("schedule.table-a", 11142, 0, 3);
inline constexpr Field kScheduleTableBCount = le16Field("schedule.table-b", 11348, 0, 3);
inline constexpr std::size_t kScheduleTableAItems = 10938;
inline constexpr std::size_t kScheduleTableBItems = 11144;
inline constexpr std::size_t kScheduleEntryLength = 68;
inline constexpr std::size_t kScheduleItemCountInEntry = 60;  // a word, at most 3
inline constexpr std::size_t kScheduleItemLength = 20;
inline constexpr std::size_t kScheduleMaxItems = 3;
inline constexpr Field kItemType = le32Field("type", 0);
inline constexpr Field kItemByte = u8Field("byte", 4, 0, 11);
inline constexpr Field kItemHalf = le16Field("half", 4, 1);
inline constexpr Field kItemWord = le32Field("word", 4, 1);

// Region 11400: serial ports.
inline constexpr Field kSerialEnable = u8Field("serial.enable", 11401, 0, 1);
inline constexpr Field kSerialTimeout =
    le16Field("serial.timeout", 11408, 10, 2000, &kSerialEnable);
inline constexpr Field kSerialFrame = le16Field("serial.frame", 11410, 46, 1500, &kSerialEnable);
inline constexpr Field kPortSpeed = le32Field("speed", 0, 300, 921600);
inline constexpr Field kPortDataBits = u8Field("data-bits", 4, 7, 8);
inline constexpr Field kPortParity = u8Field("parity", 5, 0, 2);
inline constexpr Field kPortStopBits = u8Field("stop-bits", 6, 1, 2);
inline constexpr Field kPortFlowControl = u8Field("flow-control", 7, 0, 1);
inline constexpr const Field* kPortEntry[] = {&kPortSpeed, &kPortDataBits, &kPortParity,
                                              &kPortStopBits, &kPortFlowControl};
// Three 8-byte settings, 12 bytes apart.
inline constexpr ListLayout kSerialPorts{"serial.port",  nullptr,   11420, 12, 3,
                                         &kSerialEnable, kPortEntry};

// Region 11464: texts.
inline constexpr Field kTextA = textField("texts.a", 11465, 257);
inline constexpr Field kTextB = textField("texts.b", 11724, 257);
inline constexpr Field kTextC = textField("texts.c", 11981, 257);
inline constexpr Field kTextLengthA = le16Field("texts.length-a", 12248);
inline constexpr Field kTextLengthB = le16Field("texts.length-b", 12250);
inline constexpr Field kTextLengthC = le16Field("texts.length-c", 12252);
inline constexpr std::uint32_t kTextLengthsBelow = 2561;
inline constexpr Field kTimeZoneRule = textField("texts.time-zone", 15377, 15560 - 15377);

}  // namespace field
}  // namespace quorrel::paramblock
