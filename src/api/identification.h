// Chip model, generation, device class and firmware text from a HomePlug AV version answer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "api/device_table.h"
#include "platform/bytes.h"

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

// The decoded data of a version confirmation: identifier, text length, then the text field.
namespace version_data {
inline constexpr std::size_t kDeviceId = 0;
inline constexpr std::size_t kTextLength = 1;
inline constexpr std::size_t kText = 2;
inline constexpr std::size_t kTextSize = 64;
}  // namespace version_data

// The firmware text of a version confirmation's data: the reported text (at most its 64-byte
// field, up to the first zero byte), from the chip's firmware prefix on, with the prefix
// replaced by the chip model. Without a known identifier or without the prefix the text is
// kept as reported. Short or empty data gives what is there, or an empty text.
FirmwareText RewriteFirmwareText(ByteSpan versionData);

struct VersionConfirmation {
  MacAddress source{};       // the confirmation's source: the local device
  int arrivalInterface = 0;  // the interface the confirmation arrived on
  ByteSpan versionData;      // identifier, text length, text
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
AvGeneration IdentifyRemoteAv(RemoteDevice& entry, ByteSpan versionData, StationListLayout layout);

}  // namespace quorrel::api
