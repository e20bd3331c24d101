// Byte images of the device records: fields at their file offsets, round trips, damaged bytes.
#include "api/device_images.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace quorrel::api {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes encode(const InterfaceDevices& d) {
  Bytes b(kInterfaceDevicesSize, 0xCC);  // encoders must write every byte
  encodeInterfaceDevices(d, std::span<std::uint8_t, kInterfaceDevicesSize>(b.data(), b.size()));
  return b;
}

void decode(const Bytes& b, InterfaceDevices& d) {
  decodeInterfaceDevices(std::span<const std::uint8_t, kInterfaceDevicesSize>(b.data(), b.size()),
                         d);
}

Bytes at(const Bytes& b, std::size_t offset, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(offset),
               b.begin() + static_cast<std::ptrdiff_t>(offset + n));
}

std::uint32_t le32(const Bytes& b, std::size_t offset) {
  return b[offset] | (b[offset + 1] << 8) | (b[offset + 2] << 16) |
         (std::uint32_t{b[offset + 3]} << 24);
}

double leDouble(const Bytes& b, std::size_t offset) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[offset + static_cast<std::size_t>(i)];
  return std::bit_cast<double>(bits);
}

TEST(DeviceImages, InterfaceFieldsLandAtTheOffsetsTheDataFileUses) {
  auto d = std::make_unique<InterfaceDevices>();
  d->interfaceMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x0A};
  d->localPresent = true;
  d->localClass = DeviceClass::AvSecondGeneration;
  d->localMac = {0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};
  d->rateStats.fails = 0x01020304;
  d->rateStats.highestRate = 85;
  d->localFirmware = std::string(64, 'F');
  d->remoteCount = 2;
  d->localNetworkKey.fill(0x5A);
  d->localNetworkName = std::string(39, 'N');

  RemoteDevice& r0 = d->remotes[0];
  r0.inUse = true;
  r0.mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  r0.scansLeft = -2;
  r0.deviceClass = DeviceClass::Turbo;
  r0.vendorText1 = "V1";
  r0.vendorText2 = "V2";
  r0.firmware = "LQA-100-FW";
  r0.timesSeen = 0x0A0B0C0D;
  r0.scansMissed = 6;
  r0.classChanged = true;
  r0.rateStats.currentRate = 200;
  r0.rateStats.rateChanged = true;
  r0.networkKey.fill(0x3C);
  r0.networkName = "Net";
  d->remotes[31].mac = {0x00, 0x31, 0, 0, 0, 0x31};
  d->remotes[31].rateStats.currentRate = 14;

  const Bytes b = encode(*d);
  EXPECT_EQ(at(b, 0, 6), (Bytes{0x02, 0, 0, 0, 0, 0x0A}));
  EXPECT_EQ(at(b, 6, 4), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(at(b, 10, 4), (Bytes{5, 0, 0, 0}));
  EXPECT_EQ(at(b, 14, 6), (Bytes{0x00, 0xB0, 0x52, 0x12, 0x34, 0x56}));
  EXPECT_EQ(at(b, 20, 25), Bytes(25, 0));

  // First remote entry starts at 45.
  EXPECT_EQ(at(b, 45, 4), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(at(b, 49, 6), (Bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
  EXPECT_EQ(at(b, 55, 50), Bytes(50, 0));
  EXPECT_EQ(b[105], 0xFE);
  EXPECT_EQ(at(b, 106, 4), (Bytes{2, 0, 0, 0}));
  EXPECT_EQ(at(b, 110, 3), (Bytes{'V', '1', 0}));
  EXPECT_EQ(at(b, 190, 3), (Bytes{'V', '2', 0}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[270])), "LQA-100-FW");
  EXPECT_EQ(at(b, 335, 121), Bytes(121, 0));
  EXPECT_EQ(at(b, 456, 4), (Bytes{0x0D, 0x0C, 0x0B, 0x0A}));
  EXPECT_EQ(le32(b, 460), 6u);
  EXPECT_EQ(b[464], 1);
  // 200.0 is 0x4069000000000000.
  EXPECT_EQ(at(b, 473, 8), (Bytes{0, 0, 0, 0, 0, 0, 0x69, 0x40}));
  EXPECT_EQ(b[497], 1);
  EXPECT_EQ(at(b, 498, 16), Bytes(16, 0x3C));
  EXPECT_EQ(at(b, 514, 4), (Bytes{'N', 'e', 't', 0}));

  // Last remote entry: 45 + 31 * 509 = 15824.
  EXPECT_EQ(at(b, 15828, 6), (Bytes{0x00, 0x31, 0, 0, 0, 0x31}));
  EXPECT_EQ(leDouble(b, 16252), 14.0);

  EXPECT_EQ(at(b, 16333, 4), (Bytes{4, 3, 2, 1}));
  // 85.0 is 0x4055400000000000.
  EXPECT_EQ(at(b, 16357, 8), (Bytes{0, 0, 0, 0, 0, 0x40, 0x55, 0x40}));
  EXPECT_EQ(at(b, 16366, 64), Bytes(64, 'F'));
  EXPECT_EQ(b[16430], 0);
  EXPECT_EQ(le32(b, 16431), 2u);
  EXPECT_EQ(at(b, 16435, 16), Bytes(16, 0x5A));
  EXPECT_EQ(at(b, 16451, 39), Bytes(39, 'N'));
  EXPECT_EQ(b[16490], 0);
}

TEST(DeviceImages, RateStatsImage) {
  RateStats s{0x11223344, 7, 101, 3, 86801, true};
  std::array<std::uint8_t, kRateStatsSize> b{};
  encodeRateStats(s, b);
  const Bytes v(b.begin(), b.end());
  EXPECT_EQ(at(v, 0, 4), (Bytes{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(le32(v, 4), 7u);
  EXPECT_EQ(leDouble(v, 8), 101.0);
  EXPECT_EQ(leDouble(v, 16), 3.0);
  EXPECT_EQ(leDouble(v, 24), 86801.0);
  EXPECT_EQ(v[32], 1);
  RateStats back;
  decodeRateStats(b, back);
  EXPECT_EQ(back, s);
}

// Every field of every record different, so a swapped or shifted field cannot go unnoticed.
void fillTable(std::array<InterfaceDevices, kInterfaceCount>& t) {
  std::uint32_t n = 1;
  auto next = [&n] { return n = n * 1103515245u + 12345u; };
  for (int i = 0; i < kInterfaceCount; ++i) {
    InterfaceDevices& d = t[i];
    for (auto& x : d.interfaceMac) x = static_cast<std::uint8_t>(next());
    d.localPresent = i % 2 == 0;
    d.localClass = static_cast<DeviceClass>(i % 6);
    for (auto& x : d.localMac) x = static_cast<std::uint8_t>(next());
    for (int k = 0; k < kMaxRemotes; ++k) {
      RemoteDevice& r = d.remotes[k];
      r.inUse = (k + i) % 3 != 0;
      for (auto& x : r.mac) x = static_cast<std::uint8_t>(next());
      r.scansLeft = static_cast<std::int8_t>(k - 16);
      r.deviceClass = static_cast<DeviceClass>((k + i) % 6);
      r.vendorText1 = std::string(static_cast<std::size_t>(k + 48), static_cast<char>('a' + i));
      r.vendorText2 = "second " + std::to_string(k);
      r.firmware = "LQA-130-MAC-" + std::to_string(next());
      r.timesSeen = next();
      r.scansMissed = next();
      r.classChanged = k % 2 == 1;
      r.rateStats = RateStats{next(), next(), double(k * 7), double(k), double(k * 9), k % 2 == 0};
      for (auto& x : r.networkKey) x = static_cast<std::uint8_t>(next());
      r.networkName = "network " + std::to_string(i) + "/" + std::to_string(k);
    }
    d.rateStats = RateStats{next(), next(), 55, 12, 90, true};
    d.localFirmware = std::string(64, static_cast<char>('A' + i));
    d.remoteCount = i * 4;
    for (auto& x : d.localNetworkKey) x = static_cast<std::uint8_t>(next());
    d.localNetworkName = "local network " + std::to_string(i);
  }
}

TEST(DeviceImages, FullTableRoundTrip) {
  auto table = std::make_unique<std::array<InterfaceDevices, kInterfaceCount>>();
  fillTable(*table);
  Bytes block(kDeviceTableBlockSize, 0xCC);
  encodeDeviceTableBlock(
      *table, std::span<std::uint8_t, kDeviceTableBlockSize>(block.data(), block.size()));
  EXPECT_EQ(block.size(), 131928u);
  // Interface 3's record starts at 3 * 16491; its local MAC is 14 bytes in.
  EXPECT_EQ(at(block, 3 * 16491 + 14, 6),
            Bytes((*table)[3].localMac.begin(), (*table)[3].localMac.end()));

  auto back = std::make_unique<std::array<InterfaceDevices, kInterfaceCount>>();
  decodeDeviceTableBlock(
      std::span<const std::uint8_t, kDeviceTableBlockSize>(block.data(), block.size()), *back);
  for (int i = 0; i < kInterfaceCount; ++i) {
    for (int k = 0; k < kMaxRemotes; ++k) {
      EXPECT_EQ((*back)[i].remotes[k], (*table)[i].remotes[k]) << i << "/" << k;
    }
    EXPECT_EQ((*back)[i], (*table)[i]) << i;
  }
  Bytes again(kDeviceTableBlockSize, 0);
  encodeDeviceTableBlock(
      *back, std::span<std::uint8_t, kDeviceTableBlockSize>(again.data(), again.size()));
  EXPECT_EQ(again, block);
}

TEST(DeviceImages, DamagedBytesGiveTerminatedTextsAndValuesInRange) {
  Bytes b(kInterfaceDevicesSize, 0xFF);  // no terminator anywhere, every count at its maximum
  auto d = std::make_unique<InterfaceDevices>();
  decode(b, *d);
  EXPECT_EQ(d->remoteCount, 0);  // 0xFFFFFFFF is -1
  EXPECT_EQ(d->localClass, DeviceClass::Unknown);
  EXPECT_EQ(d->localFirmware.size(), 64u);
  EXPECT_EQ(d->localNetworkName.size(), 39u);
  EXPECT_EQ(d->rateStats.currentRate, 0);  // all-ones is a NaN
  for (const RemoteDevice& r : d->remotes) {
    EXPECT_EQ(r.deviceClass, DeviceClass::Unknown);
    EXPECT_EQ(r.vendorText1.size(), 79u);
    EXPECT_EQ(r.vendorText2.size(), 79u);
    EXPECT_EQ(r.firmware.size(), 64u);
    EXPECT_EQ(r.networkName.size(), 39u);
    EXPECT_EQ(r.scansLeft, -1);
    EXPECT_EQ(r.rateStats.highestRate, 0);
  }
  // Re-encoded, each text ends inside its field.
  const Bytes e = encode(*d);
  EXPECT_EQ(e[16430], 0);
  EXPECT_EQ(e[16490], 0);
  EXPECT_EQ(e[45 + 144], 0);
  EXPECT_EQ(e[45 + 224], 0);
  EXPECT_EQ(e[45 + 289], 0);
  EXPECT_EQ(e[45 + 508], 0);

  auto put32 = [&b](std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      b[offset + static_cast<std::size_t>(i)] = std::uint8_t(v >> (8 * i));
  };
  auto putDouble = [&put32](std::size_t offset, double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    put32(offset, static_cast<std::uint32_t>(bits));
    put32(offset + 4, static_cast<std::uint32_t>(bits >> 32));
  };
  const struct {
    std::uint32_t stored;
    std::int32_t decoded;
  } counts[] = {{0, 0},           {32, 32},        {33, 32}, {1000, 32},
                {0x7FFFFFFF, 32}, {0x80000000, 0}, {17, 17}};
  for (const auto& c : counts) {
    put32(16431, c.stored);
    decode(b, *d);
    EXPECT_EQ(d->remoteCount, c.decoded) << c.stored;
  }
  put32(10, 6);
  put32(45 + 61, 5);
  putDouble(16341, -1.0);
  putDouble(16349, 1e300);
  putDouble(16357, 85.0);
  putDouble(45 + 428, std::numeric_limits<double>::infinity());
  decode(b, *d);
  EXPECT_EQ(d->localClass, DeviceClass::Unknown);
  EXPECT_EQ(d->remotes[0].deviceClass, DeviceClass::AvSecondGeneration);
  EXPECT_EQ(d->rateStats.currentRate, 0);
  EXPECT_EQ(d->rateStats.lowestRate, 0);
  EXPECT_EQ(d->rateStats.highestRate, 85);
  EXPECT_EQ(d->remotes[0].rateStats.currentRate, 0);
}

TEST(DeviceImages, DecodingReplacesEverythingThatWasThere) {
  auto table = std::make_unique<std::array<InterfaceDevices, kInterfaceCount>>();
  fillTable(*table);
  const Bytes zeros(kInterfaceDevicesSize, 0);
  decode(zeros, (*table)[2]);
  EXPECT_EQ((*table)[2], InterfaceDevices{});

  // A short text over a long one leaves nothing of the long one behind.
  InterfaceDevices d;
  d.localFirmware = "LQA-100-a-long-firmware-text";
  Bytes b = encode(d);
  std::memcpy(&b[16366], "LQA-1", 6);
  decode(b, d);
  EXPECT_EQ(d.localFirmware, "LQA-1");
  EXPECT_EQ(encode(d)[16366 + 10], 0);
}

}  // namespace
}  // namespace quorrel::api
