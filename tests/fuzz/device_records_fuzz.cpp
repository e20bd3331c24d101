// Device record images and version data from arbitrary bytes: values stay in range and a
// decoded image encodes and decodes to itself.
#include <cstdint>
#include <memory>
#include <vector>

#include "api/device_images.h"
#include "api/identification.h"

using namespace quorrel::api;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> image(data, data + size);
  image.resize(kInterfaceDevicesSize, 0);
  auto d = std::make_unique<InterfaceDevices>();
  decodeInterfaceDevices(std::span<const std::uint8_t, kInterfaceDevicesSize>(image), *d);
  if (d->remoteCount < 0 || d->remoteCount > kMaxRemotes) __builtin_trap();
  if (!isKnownDeviceClass(static_cast<std::uint32_t>(d->localClass))) __builtin_trap();
  for (const RemoteDevice& r : d->remotes) {
    if (!isKnownDeviceClass(static_cast<std::uint32_t>(r.deviceClass))) __builtin_trap();
    if (r.firmware.size() > FirmwareText::kCapacity) __builtin_trap();
  }
  std::vector<std::uint8_t> again(kInterfaceDevicesSize);
  encodeInterfaceDevices(*d, std::span<std::uint8_t, kInterfaceDevicesSize>(again));
  auto back = std::make_unique<InterfaceDevices>();
  decodeInterfaceDevices(std::span<const std::uint8_t, kInterfaceDevicesSize>(again), *back);
  if (!(*back == *d)) __builtin_trap();

  // A version confirmation's fields as the decoder gives them, of any content.
  quorrel::thpapi::VersionInfo version;
  version.deviceId = size > 0 ? data[0] : 0;
  if (size > 1) version.text.assign(data + 1, data + std::min<std::size_t>(size, 65));
  RemoteDevice remote;
  IdentifyRemoteAv(remote, version, StationListLayout::Mmv1);
  if (remote.firmware.size() > FirmwareText::kCapacity) __builtin_trap();
  return 0;
}
