// The device table: per-interface local state, local devices and their remote devices.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "api/fixed_text.h"
#include "platform/bytes.h"

namespace quorrel::api {

// What the user is told when no interface has a local adapter.
inline constexpr const char* kAdapterNotDetectedText =
    "The HomePlug Adapter was not detected.\nPlease check your computer cables.";

inline constexpr int kInterfaceCount = 8;
inline constexpr int kMaxRemotes = 32;
inline constexpr std::size_t kLocalParametersSize = 50;
inline constexpr std::size_t kNetworkKeySize = 16;
inline constexpr std::size_t kHp1NetworkKeySize = 8;
// Field sizes of the texts, terminator included.
inline constexpr std::size_t kFirmwareTextSize = 65;
inline constexpr std::size_t kVendorTextSize = 80;
inline constexpr std::size_t kNetworkNameSize = 40;

inline constexpr std::uint8_t kDefaultDropThreshold = 3;
inline constexpr std::uint8_t kMinDropThreshold = 1;
inline constexpr std::uint8_t kMaxDropThreshold = 10;

using NetworkKey = std::array<std::uint8_t, kNetworkKeySize>;
using Hp1NetworkKey = std::array<std::uint8_t, kHp1NetworkKeySize>;
using FirmwareText = FixedText<kFirmwareTextSize>;
using VendorText = FixedText<kVendorTextSize>;
using NetworkName = FixedText<kNetworkNameSize>;

enum class DeviceClass : std::uint32_t {
  Unknown = 0,
  Usb = 1,
  Turbo = 2,
  HomePlug1 = 3,
  AvFirstGeneration = 4,
  AvSecondGeneration = 5,
};

inline bool isAvClass(DeviceClass c) {
  return c == DeviceClass::AvFirstGeneration || c == DeviceClass::AvSecondGeneration;
}

inline constexpr std::array<std::string_view, 6> kDeviceClassLabels{
    "Adapter",
    "USB",
    "HomePlug Turbo Device",
    "HomePlug 1.0 Device",
    "HomePlug AV A1x0 Device",
    "HomePlug AV B200 Device",
};

constexpr bool isKnownDeviceClass(std::uint32_t value) {
  return value < kDeviceClassLabels.size();
}

// A class the table does not know shows as the label of class 0.
constexpr std::string_view deviceClassLabel(DeviceClass c) {
  const auto v = static_cast<std::uint32_t>(c);
  return isKnownDeviceClass(v) ? kDeviceClassLabels[v] : kDeviceClassLabels[0];
}

struct RateStats {
  std::uint32_t fails = 0;
  std::uint32_t drops = 0;
  double currentRate = 0;  // Mbps, a whole number; 0 when unknown
  double lowestRate = 0;
  double highestRate = 0;
  bool rateChanged = false;  // cleared by the lists once they have redrawn the rate

  bool operator==(const RateStats&) const = default;
};

struct RemoteDevice {
  bool inUse = false;
  MacAddress mac{};  // all zero: the entry is free
  std::int8_t scansLeft = 0;
  DeviceClass deviceClass = DeviceClass::Unknown;
  VendorText vendorText1;
  VendorText vendorText2;
  FirmwareText firmware;
  std::uint32_t timesSeen = 0;
  std::uint32_t scansMissed = 0;
  bool classChanged = false;  // cleared by the list once it has redrawn the icon
  RateStats rateStats;
  NetworkKey networkKey{};  // 16 bytes AV; 8 bytes and 8 zero for HomePlug 1.0 and Turbo
  NetworkName networkName;

  bool operator==(const RemoteDevice&) const = default;
};

struct InterfaceDevices {
  MacAddress interfaceMac{};
  bool localPresent = false;
  DeviceClass localClass = DeviceClass::Unknown;
  MacAddress localMac{};
  std::array<RemoteDevice, kMaxRemotes> remotes{};
  RateStats rateStats;  // the average over the remote devices
  FirmwareText localFirmware;
  std::int32_t remoteCount = 0;  // counted at each ageing step
  NetworkKey localNetworkKey{};
  NetworkName localNetworkName;

  bool operator==(const InterfaceDevices&) const = default;
};

// Working state of the scan for one interface; never stored.
struct InterfaceState {
  std::uint8_t probeAttempts = 0;
  DeviceClass localClass = DeviceClass::Unknown;
  bool localAnswered = false;
  MacAddress localMac{};
  bool localPresent = false;
  std::array<std::uint8_t, kLocalParametersSize> localParameters{};
  std::uint32_t bytesRead = 0;
  std::uint32_t framesRead = 0;
  std::uint32_t bytesWritten = 0;
  std::uint32_t framesWritten = 0;
};

struct FrameCounters {
  std::uint32_t bytesRead = 0;
  std::uint32_t framesRead = 0;
  std::uint32_t bytesWritten = 0;
  std::uint32_t framesWritten = 0;

  bool operator==(const FrameCounters&) const = default;
};

// Everything the device table holds; one per process, changed from the user-interface thread.
struct DeviceTable {
  std::array<InterfaceState, kInterfaceCount> states{};
  std::array<InterfaceDevices, kInterfaceCount> devices{};
  bool avLocal = false;     // the current interface's local device is HomePlug AV
  bool turboLocal = false;  // ... is a Turbo device (class 2); neither means HomePlug 1.0
  std::uint8_t dropThreshold = kDefaultDropThreshold;
  NetworkKey localAvNetworkKey{};
  NetworkName localAvNetworkName;
  Hp1NetworkKey localHp1NetworkKey{};
  NetworkName localHp1NetworkName;
  // Chip model of the current interface's local AV device; empty until one is identified.
  std::string_view localChipName;
};

DeviceTable& deviceTable();
// Back to the start-up state: all records zero, threshold 3, no flags. The ageing hook stays.
void resetDeviceTable();

// Index 0..7; anything else names interface 7 or 0, never a record outside the table.
InterfaceState& interfaceState(int index);
InterfaceDevices& interfaceDevices(int index);
InterfaceState& currentState();
InterfaceDevices& currentDevices();

// 0 is taken as 1 and anything above 10 as 10.
void setDropThreshold(int threshold);

// Absent (nullptr) or all-zero MAC: true and nothing changes. Otherwise the first interface
// with a local device whose own address is `mac` becomes current and `turboLocal` follows its
// class; false and nothing changes when there is none.
bool SelectInterfaceByMac(const MacAddress* mac);
MacAddress LocalDeviceAddress();
std::string_view DeviceClassLabel(int interfaceIndex);
FrameCounters ReadFrameCounters(int interfaceIndex);

// The current interface's entry for `mac`, in use or dropped; none for a zero or group MAC.
RemoteDevice* FindRemote(const MacAddress& mac);
// Records that a scan listed `mac` on the current interface. Returns its entry, or nullptr when
// the MAC is ignored: all zero, a group address, or the local device itself.
RemoteDevice* UpsertRemote(const MacAddress& mac);
// One ageing step on the current interface.
void AgeRemotes();
// Removes the entry for `mac`; those behind it move up and the last is cleared. 1 if removed.
int RemoveRemote(const MacAddress& mac);
void ClearRemotes();

}  // namespace quorrel::api
