// Chip model, generation, device class and firmware text from a HomePlug AV version answer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "api/device_table.h"
#include "platform/bytes.h"
#include "thpapi/thapi_result.h"

namespace quorrel::api {

enum class AvGeneration : std::uint8_t {
  Unknown = 0,  // the device identifier names no chip we know
  First = 1,
  Second = 2,
};

struct ChipModel {
  std::uint8_t deviceId;
  std::string_view name;
  AvGeneration generation;
  // Where the firmware text names the chip; every first-generation chip reports the same one.
  std::string_view firmwarePrefix;
  DeviceClass deviceClass;
};

inline constexpr std::array<ChipModel, 5> kChipModels{{
    {1, "LQA-100", AvGeneration::First, "LQA-100", DeviceClass::AvFirstGeneration},
    {2, "LQA-130", AvGeneration::First, "LQA-100", DeviceClass::AvFirstGeneration},
    {3, "LQA-140", AvGeneration::First, "LQA-100", DeviceClass::AvFirstGeneration},
    {4, "LQ-B200", AvGeneration::Second, "LQB-200", DeviceClass::AvSecondGeneration},
    {5, "LQ-A145", AvGeneration::First, "LQA-100", DeviceClass::AvFirstGeneration},
}};

// nullptr for an identifier outside 1..5.
const ChipModel* chipModelFor(std::uint8_t deviceId);

// The firmware text of a version confirmation, from the chip's firmware prefix on, with the
// prefix replaced by the chip model. Without a known identifier or without the prefix the
// text is kept as reported.
FirmwareText rewriteFirmwareText(const thpapi::VersionInfo& version);

struct VersionConfirmation {
  MacAddress source{};       // the confirmation's source: the local device
  int arrivalInterface = 0;  // the interface the confirmation arrived on
  thpapi::VersionInfo version;
};

// Records the local AV device of interface `interfaceIndex`: its MAC (in the state of the
// interface the confirmation arrived on), `localChipName`, its firmware text, and the local
// state flags and class. Chip name and class are written only for a known identifier.
// Returns the generation; the caller sets the message version of network information
// exchanges to 4 when it is AvGeneration::Second. An index outside 0..7 changes nothing.
AvGeneration IdentifyLocalAv(int interfaceIndex, const VersionConfirmation& confirmation);

// How the station list that listed a remote device was laid out.
enum class StationListLayout { Mmv0, Mmv1 };

// Records a remote AV device's firmware text; a second-generation chip listed in the MMV 1
// layout becomes class 5 (and `classChanged` is set when that is news). Returns the generation.
AvGeneration IdentifyRemoteAv(RemoteDevice& entry, const thpapi::VersionInfo& version,
                              StationListLayout layout);

}  // namespace quorrel::api
