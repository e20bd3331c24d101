// The regions of a parameter block image: where each lies, how much of it a load carries, its
// rule and the fields it names. Validation, the accessors, the loads and the console tool all
// read this one table.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "paramblock/field_map.h"
#include "paramblock/region_checks.h"

namespace quorrel::paramblock {

using RegionCheck = bool (*)(ImageWindow&);

struct ParameterRegion {
  std::string_view name;
  std::size_t offset;
  std::size_t size;       // up to the next region
  std::size_t usedBytes;  // what a region load carries; 0: the region cannot be loaded
  RegionCheck check;
  std::span<const Field* const> fields;  // the named fields shown to people
  std::span<const ListLayout* const> lists = {};

  // A load's checksum covers the used bytes' whole words.
  constexpr std::size_t checksumWords() const { return usedBytes / 4; }
};

namespace region_fields {
using namespace field;
inline constexpr const Field* kIdentity[] = {
    &kMacAddress,     &kManufacturer,          &kDeviceName,
    &kNetworkName,    &kNetworkIdentifier,     &kEnumerationA,
    &kEnumerationB,   &kEnumerationC,          &kIdentityFlags,
    &kIdentitySwitch, &kIdentitySwitchSetting, &kAddressSwitch,
    &kSwitchedAddress};
inline constexpr const Field* kStationList[] = {
    &kStationsEnable, &kStationsSetting, &kStationsAddress, &kStationsExtra, &kStationsCount};
inline constexpr const Field* kClassifier[] = {
    &kPriorityMapA, &kPriorityMapB, &kPriorityMapC,    &kPriorityMapD, &kRateA,          &kRateB,
    &kRateC,        &kRateD,        &kClassifierCount, &kRuleSetCount, &kClassifierLimit};
inline constexpr const Field* kTones[] = {&kToneSelect};
inline constexpr const Field* kTimer[] = {&kTimerEnable, &kTimerValue};
inline constexpr const Field* kLevels[] = {&kLevelsValue, &kLevelsOrdered, &kLevelsLow,
                                           &kLevelsHigh, &kLevelsMap};
inline constexpr const Field* kInterval[] = {&kIntervalEnable, &kIntervalValue};
inline constexpr const Field* kTuning[] = {
    &kTuningMode,     &kTuningLimitA,        &kTuningLimitB,     &kTuningLevel,
    &kTuningBandMode, &kTuningBandFrequency, &kTuningBandWidth,  &kTuningShareEnable,
    &kTuningShares,   &kTuningPeriodic,      &kTuningPercent,    &kTuningPeriodA,
    &kTuningPeriodB,  &kTuningPeriodC,       &kTuningStepEnable, &kTuningStep,
    &kTuningShareE,   &kTuningShareF};
inline constexpr const Field* kLink[] = {&kLinkRate,   &kLinkFlags,  &kLinkPairA1, &kLinkPairA2,
                                         &kLinkSingle, &kLinkPairB1, &kLinkPairB2, &kLinkGroups,
                                         &kLinkTriple, &kLinkShareA, &kLinkShareB};
inline constexpr const Field* kKeyModes[] = {&kKeyMode,       &kKeyFlags,        &kKeyValue,
                                             &kKeyLimit,      &kKeyWindowEnable, &kKeyWindowLow,
                                             &kKeyWindowHigh, &kKeyRetries};
inline constexpr const Field* kTables[] = {
    &kTablesMarker, &kTablesSpanCount, &kTablesLinkCount, &kTablesGains,   &kTablesMaskA,
    &kTablesMaskB,  &kTablesMaskC,     &kTablesFloor,     &kTablesCeiling, &kTablesMargin,
    &kTablesSpread, &kTablesStepA,     &kTablesStepB,     &kTablesFrom,    &kTablesTo,
    &kBlock1Switch, &kBlock2Switch,    &kBlock3Switch,    &kBlock4Switch,  &kBlock5Switch};
inline constexpr const Field* kBandList[] = {&kCarrierCount, &kBandKeyMode, &kBandKey,
                                             &kBandsEnable,  &kBandsWantA,  &kBandsWantB,
                                             &kBandCount,    &kBandsLock};
inline constexpr const Field* kSchedule[] = {
    &kScheduleMode,   &kSchedulePeriod,      &kScheduleSlotsA,
    &kScheduleSlotB,  &kScheduleSlotsACount, &kScheduleSlotsCCount,
    &kScheduleBudget, &kScheduleTableACount, &kScheduleTableBCount};
inline constexpr const Field* kSerial[] = {&kSerialEnable, &kSerialTimeout, &kSerialFrame};
inline constexpr const Field* kTexts[] = {
    &kTextA, &kTextB, &kTextC, &kTextLengthA, &kTextLengthB, &kTextLengthC, &kTimeZoneRule};
inline constexpr const ListLayout* kStationLists[] = {&kStations};
inline constexpr const ListLayout* kClassifierLists[] = {&kClassifiers};
inline constexpr const ListLayout* kTableLists[] = {&kTableSpans, &kTableLinks};
inline constexpr const ListLayout* kBandLists[] = {&kCarriers, &kBands};
inline constexpr const ListLayout* kSerialLists[] = {&kSerialPorts};
}  // namespace region_fields

// The eighteen regions in image order; together with the 12-byte header they fill the image.
inline constexpr std::array<ParameterRegion, 18> kParameterRegions{{
    {"identity", 12, 256, 253, checkIdentityRegion, region_fields::kIdentity},
    {"stations", 268, 128, 66, checkStationsRegion, region_fields::kStationList,
     region_fields::kStationLists},
    {"switches", 396, 96, 46, checkNothing, {}},
    {"unnamed", 492, 32, 0, checkNothing, {}},
    {"classifier", 524, 2048, 1925, checkClassifierRegion, region_fields::kClassifier,
     region_fields::kClassifierLists},
    {"tones", 2572, 5120, 4624, checkTonesRegion, region_fields::kTones},
    {"timer", 7692, 128, 32, checkTimerRegion, region_fields::kTimer},
    {"levels", 7820, 44, 36, checkLevelsRegion, region_fields::kLevels},
    {"interval", 7864, 128, 106, checkIntervalRegion, region_fields::kInterval},
    {"tuning", 7992, 64, 58, checkTuningRegion, region_fields::kTuning},
    {"reserve", 8056, 16, 12, checkNothing, {}},
    {"link", 8072, 64, 58, checkLinkRegion, region_fields::kLink},
    {"key", 8136, 64, 31, checkKeyModeRegion, region_fields::kKeyModes},
    {"tables", 8200, 2048, 1953, checkTablesRegion, region_fields::kTables,
     region_fields::kTableLists},
    {"bands", 10248, 640, 574, checkBandsRegion, region_fields::kBandList,
     region_fields::kBandLists},
    {"schedule", 10888, 512, 506, checkScheduleRegion, region_fields::kSchedule},
    {"serial", 11400, 64, 56, checkSerialRegion, region_fields::kSerial,
     region_fields::kSerialLists},
    {"texts", 11464, 4096, 3994, checkTextRegion, region_fields::kTexts},
}};

// Runs the region's rule over the window; a read outside the window fails the region.
bool checkRegion(const ParameterRegion& region, ImageWindow& w);
// The region that holds image offset `at`, or nullptr inside the header or past the image.
const ParameterRegion* regionAt(std::size_t at);

}  // namespace quorrel::paramblock
