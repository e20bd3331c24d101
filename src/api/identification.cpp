// Identification of HomePlug AV chips and the rewrite of their firmware texts.
#include "api/identification.h"

#include <algorithm>

namespace quorrel::api {

namespace {

FirmwareText rewrite(const thpapi::VersionInfo& f, const ChipModel* chip) {
  const std::string_view text = f.text;
  if (chip == nullptr) return FirmwareText(text);
  const std::size_t at = text.find(chip->firmwarePrefix);
  if (at == std::string_view::npos) return FirmwareText(text);
  std::string out(chip->name);
  out.append(text.substr(at + chip->firmwarePrefix.size()));
  return FirmwareText(out);
}

}  // namespace

const ChipModel* chipModelFor(std::uint8_t deviceId) {
  const auto it = std::find_if(kChipModels.begin(), kChipModels.end(),
                               [deviceId](const ChipModel& c) { return c.deviceId == deviceId; });
  return it != kChipModels.end() ? &*it : nullptr;
}

FirmwareText rewriteFirmwareText(const thpapi::VersionInfo& version) {
  return rewrite(version, chipModelFor(version.deviceId));
}

AvGeneration IdentifyLocalAv(int interfaceIndex, const VersionConfirmation& confirmation) {
  if (interfaceIndex < 0 || interfaceIndex >= kInterfaceCount) return AvGeneration::Unknown;
  const thpapi::VersionInfo& f = confirmation.version;
  const ChipModel* chip = chipModelFor(f.deviceId);

  if (confirmation.arrivalInterface >= 0 && confirmation.arrivalInterface < kInterfaceCount) {
    interfaceState(confirmation.arrivalInterface).localMac = confirmation.source;
  }
  if (chip != nullptr) deviceTable().localChipName = chip->name;
  interfaceDevices(interfaceIndex).localFirmware = rewrite(f, chip);

  InterfaceState& state = interfaceState(interfaceIndex);
  state.localAnswered = true;
  state.localPresent = true;
  if (chip == nullptr) return AvGeneration::Unknown;
  state.localClass = chip->deviceClass;
  return chip->generation;
}

AvGeneration IdentifyRemoteAv(RemoteDevice& entry, const thpapi::VersionInfo& f,
                              StationListLayout layout) {
  const ChipModel* chip = chipModelFor(f.deviceId);
  entry.firmware = rewrite(f, chip);
  if (chip == nullptr) return AvGeneration::Unknown;
  // Only the MMV 1 station list tells the second generation apart.
  if (layout == StationListLayout::Mmv1 && chip->generation == AvGeneration::Second) {
    if (entry.deviceClass != DeviceClass::AvSecondGeneration) entry.classChanged = true;
    entry.deviceClass = DeviceClass::AvSecondGeneration;
  }
  return chip->generation;
}

}  // namespace quorrel::api
