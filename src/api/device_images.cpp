// Encoding and defensive decoding of the device record images.
#include "api/device_images.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "api/rate_stats.h"

namespace quorrel::api {

namespace {

void writeDouble(MutableByteSpan b, std::size_t at, double v) {
  writeLe64(b, at, std::bit_cast<std::uint64_t>(v));
}

double readDouble(ByteSpan b, std::size_t at) {
  return std::bit_cast<double>(readLe64(b, at));
}

// Rates only ever come from the conversions, so anything else is damage and reads as unknown.
double readRate(ByteSpan b, std::size_t at) {
  const double v = readDouble(b, at);
  return std::isfinite(v) && v >= 0 && v <= kMaxRateMbps ? v : 0;
}

DeviceClass readDeviceClass(ByteSpan b, std::size_t at) {
  const std::uint32_t v = readLe32(b, at);
  return isKnownDeviceClass(v) ? static_cast<DeviceClass>(v) : DeviceClass::Unknown;
}

template <std::size_t N>
void writeFixedText(MutableByteSpan b, std::size_t at, const FixedText<N>& text) {
  writeText(b, at, N, text.view());
}

template <std::size_t N>
void readFixedText(ByteSpan b, std::size_t at, FixedText<N>& text) {
  // readText stops at the field's end; FixedText keeps room for the terminator.
  text.assign(readText(b, at, N));
}

template <std::size_t N>
void readKey(ByteSpan b, std::size_t at, std::array<std::uint8_t, N>& key) {
  for (std::size_t i = 0; i < N; ++i) key[i] = readU8(b, at + i);
}

}  // namespace

void encodeRateStats(const RateStats& in, std::span<std::uint8_t, kRateStatsSize> out) {
  using namespace rate_image;
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  writeLe32(out, kFails, in.fails);
  writeLe32(out, kDrops, in.drops);
  writeDouble(out, kCurrentRate, in.currentRate);
  writeDouble(out, kLowestRate, in.lowestRate);
  writeDouble(out, kHighestRate, in.highestRate);
  writeU8(out, kRateChanged, in.rateChanged ? 1 : 0);
}

void decodeRateStats(std::span<const std::uint8_t, kRateStatsSize> in, RateStats& out) {
  using namespace rate_image;
  out.fails = readLe32(in, kFails);
  out.drops = readLe32(in, kDrops);
  out.currentRate = readRate(in, kCurrentRate);
  out.lowestRate = readRate(in, kLowestRate);
  out.highestRate = readRate(in, kHighestRate);
  out.rateChanged = readU8(in, kRateChanged) != 0;
}

void encodeRemoteDevice(const RemoteDevice& in, std::span<std::uint8_t, kRemoteDeviceSize> out) {
  using namespace remote_image;
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  writeLe32(out, kInUse, in.inUse ? 1 : 0);
  writeMac(out, kMac, in.mac);
  writeU8(out, kScansLeft, static_cast<std::uint8_t>(in.scansLeft));
  writeLe32(out, kDeviceClass, static_cast<std::uint32_t>(in.deviceClass));
  writeFixedText(out, kVendorText1, in.vendorText1);
  writeFixedText(out, kVendorText2, in.vendorText2);
  writeFixedText(out, kFirmware, in.firmware);
  writeLe32(out, kTimesSeen, in.timesSeen);
  writeLe32(out, kScansMissed, in.scansMissed);
  writeU8(out, kClassChanged, in.classChanged ? 1 : 0);
  encodeRateStats(in.rateStats, out.subspan<kRateStats, kRateStatsSize>());
  writeBytes(out, kNetworkKey, in.networkKey);
  writeFixedText(out, kNetworkName, in.networkName);
}

void decodeRemoteDevice(std::span<const std::uint8_t, kRemoteDeviceSize> in, RemoteDevice& out) {
  using namespace remote_image;
  out.inUse = readLe32(in, kInUse) != 0;
  out.mac = readMac(in, kMac);
  out.scansLeft = static_cast<std::int8_t>(readU8(in, kScansLeft));
  out.deviceClass = readDeviceClass(in, kDeviceClass);
  readFixedText(in, kVendorText1, out.vendorText1);
  readFixedText(in, kVendorText2, out.vendorText2);
  readFixedText(in, kFirmware, out.firmware);
  out.timesSeen = readLe32(in, kTimesSeen);
  out.scansMissed = readLe32(in, kScansMissed);
  out.classChanged = readU8(in, kClassChanged) != 0;
  decodeRateStats(in.subspan<kRateStats, kRateStatsSize>(), out.rateStats);
  readKey(in, kNetworkKey, out.networkKey);
  readFixedText(in, kNetworkName, out.networkName);
}

void encodeInterfaceDevices(const InterfaceDevices& in,
                            std::span<std::uint8_t, kInterfaceDevicesSize> out) {
  using namespace interface_image;
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  writeMac(out, kInterfaceMac, in.interfaceMac);
  writeLe32(out, kLocalPresent, in.localPresent ? 1 : 0);
  writeLe32(out, kLocalClass, static_cast<std::uint32_t>(in.localClass));
  writeMac(out, kLocalMac, in.localMac);
  for (std::size_t k = 0; k < in.remotes.size(); ++k) {
    encodeRemoteDevice(in.remotes[k], std::span<std::uint8_t, kRemoteDeviceSize>(out.subspan(
                                          kRemotes + k * kRemoteDeviceSize, kRemoteDeviceSize)));
  }
  encodeRateStats(in.rateStats, out.subspan<kRateStats, kRateStatsSize>());
  writeFixedText(out, kLocalFirmware, in.localFirmware);
  writeLe32(out, kRemoteCount, static_cast<std::uint32_t>(in.remoteCount));
  writeBytes(out, kLocalNetworkKey, in.localNetworkKey);
  writeFixedText(out, kLocalNetworkName, in.localNetworkName);
}

void decodeInterfaceDevices(std::span<const std::uint8_t, kInterfaceDevicesSize> in,
                            InterfaceDevices& out) {
  using namespace interface_image;
  out.interfaceMac = readMac(in, kInterfaceMac);
  out.localPresent = readLe32(in, kLocalPresent) != 0;
  out.localClass = readDeviceClass(in, kLocalClass);
  out.localMac = readMac(in, kLocalMac);
  for (std::size_t k = 0; k < out.remotes.size(); ++k) {
    decodeRemoteDevice(std::span<const std::uint8_t, kRemoteDeviceSize>(
                           in.subspan(kRemotes + k * kRemoteDeviceSize, kRemoteDeviceSize)),
                       out.remotes[k]);
  }
  decodeRateStats(in.subspan<kRateStats, kRateStatsSize>(), out.rateStats);
  readFixedText(in, kLocalFirmware, out.localFirmware);
  const auto count = static_cast<std::int32_t>(readLe32(in, kRemoteCount));
  out.remoteCount = std::clamp(count, 0, kMaxRemotes);
  readKey(in, kLocalNetworkKey, out.localNetworkKey);
  readFixedText(in, kLocalNetworkName, out.localNetworkName);
}

void encodeDeviceTableBlock(const std::array<InterfaceDevices, kInterfaceCount>& in,
                            std::span<std::uint8_t, kDeviceTableBlockSize> out) {
  for (std::size_t i = 0; i < in.size(); ++i) {
    encodeInterfaceDevices(in[i], std::span<std::uint8_t, kInterfaceDevicesSize>(out.subspan(
                                      i * kInterfaceDevicesSize, kInterfaceDevicesSize)));
  }
}

void decodeDeviceTableBlock(std::span<const std::uint8_t, kDeviceTableBlockSize> in,
                            std::array<InterfaceDevices, kInterfaceCount>& out) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    decodeInterfaceDevices(std::span<const std::uint8_t, kInterfaceDevicesSize>(
                               in.subspan(i * kInterfaceDevicesSize, kInterfaceDevicesSize)),
                           out[i]);
  }
}

}  // namespace quorrel::api
