// Identification of HomePlug AV chips and the rewrite of their firmware texts.
#include "api/identification.h"

#include <algorithm>

namespace quorrel::api {

namespace {

struct VersionFields {
  std::uint8_t deviceId = 0;
  FirmwareText text;  // 64 characters and the terminator
};

VersionFields readVersionData(ByteSpan data) {
  using namespace version_data;
  VersionFields f;
  f.deviceId = readU8(data, kDeviceId);
  // The length byte can claim up to 255 while the field holds 64, and the data can be short.
  const std::size_t available = data.size() > kText ? data.size() - kText : 0;
  const std::size_t n = std::min({std::size_t{readU8(data, kTextLength)}, kTextSize, available});
  f.text = readText(data, kText, n);
  return f;
}

FirmwareText rewrite(const VersionFields& f, const ChipModel* chip) {
  if (chip == nullptr) return f.text;
  const std::string_view text = f.text.view();
  const std::size_t at = text.find(chip->firmwarePrefix);
  if (at == std::string_view::npos) return f.text;
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

FirmwareText RewriteFirmwareText(ByteSpan versionData) {
  const VersionFields f = readVersionData(versionData);
  return rewrite(f, chipModelFor(f.deviceId));
}

AvGeneration IdentifyLocalAv(int interfaceIndex, const VersionConfirmation& confirmation) {
  if (interfaceIndex < 0 || interfaceIndex >= kInterfaceCount) return AvGeneration::Unknown;
  const VersionFields f = readVersionData(confirmation.versionData);
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

AvGeneration IdentifyRemoteAv(RemoteDevice& entry, ByteSpan versionData, StationListLayout layout) {
  const VersionFields f = readVersionData(versionData);
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
