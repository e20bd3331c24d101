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
using Table = std::array<InterfaceDevices, kInterfaceCount>;

Bytes encode(const InterfaceDevices& d) {
  Bytes b(kInterfaceDevicesSize, 0xCC);  // encoders must write every byte
  encodeInterfaceDevices(d, std::span<std::uint8_t, kInterfaceDevicesSize>(b));
  return b;
}

void decode(const Bytes& b, InterfaceDevices& d) {
  decodeInterfaceDevices(std::span<const std::uint8_t, kInterfaceDevicesSize>(b), d);
}

Bytes at(const Bytes& b, std::size_t offset, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(offset),
               b.begin() + static_cast<std::ptrdiff_t>(offset + n));
}

void putLe(Bytes& b, std::size_t offset, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b[offset + static_cast<std::size_t>(i)] = std::uint8_t(v >> (8 * i));
}

TEST(DeviceImages, FieldsLandAtTheOffsetsTheDataFileUses) {
  auto d = std::make_unique<InterfaceDevices>();
  d->interfaceMac = {0x02, 0, 0, 0, 0, 0x0A};
  d->localPresent = true;
  d->localClass = DeviceClass::AvSecondGeneration;
  d->localMac = {0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};
  d->rateStats.fails = 0x01020304;
  d->rateStats.highestRate = 85;
  d->localFirmware = std::string(64, 'F');
  d->remoteCount = 2;
  d->localNetworkKey.fill(0x5A);
  d->localNetworkName = std::string(39, 'N');
  RemoteDevice& r = d->remotes[0];
  r.inUse = true;
  r.mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  r.scansLeft = -2;
  r.deviceClass = DeviceClass::Turbo;
  r.vendorText1 = "V1";
  r.vendorText2 = "V2";
  r.firmware = "LQA-100-FW";
  r.timesSeen = 0x0A0B0C0D;
  r.scansMissed = 6;
  r.classChanged = true;
  r.rateStats.currentRate = 200;
  r.rateStats.rateChanged = true;
  r.networkName = "Net";
  d->remotes[0].networkKey.fill(0x3C);
  d->remotes[31].mac = {0x00, 0x31, 0, 0, 0, 0x31};
  d->remotes[31].rateStats.currentRate = 14;

  const Bytes b = encode(*d);
  EXPECT_EQ(at(b, 0, 6), (Bytes{0x02, 0, 0, 0, 0, 0x0A}));
  EXPECT_EQ(at(b, 6, 4), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(at(b, 10, 4), (Bytes{5, 0, 0, 0}));
  EXPECT_EQ(at(b, 14, 6), (Bytes{0x00, 0xB0, 0x52, 0x12, 0x34, 0x56}));
  EXPECT_EQ(at(b, 20, 25), Bytes(25, 0));
  // The first remote entry starts at 45.
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
  EXPECT_EQ(at(b, 460, 5), (Bytes{6, 0, 0, 0, 1}));
  EXPECT_EQ(at(b, 473, 8), (Bytes{0, 0, 0, 0, 0, 0, 0x69, 0x40}));  // 200.0
  EXPECT_EQ(b[497], 1);
  EXPECT_EQ(at(b, 498, 16), Bytes(16, 0x3C));
  EXPECT_EQ(at(b, 514, 4), (Bytes{'N', 'e', 't', 0}));
  // The last remote entry starts at 45 + 31 * 509 = 15824.
  EXPECT_EQ(at(b, 15828, 6), (Bytes{0x00, 0x31, 0, 0, 0, 0x31}));
  EXPECT_EQ(at(b, 16252, 8), (Bytes{0, 0, 0, 0, 0, 0, 0x2C, 0x40}));  // 14.0
  EXPECT_EQ(at(b, 16333, 4), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(at(b, 16357, 8), (Bytes{0, 0, 0, 0, 0, 0x40, 0x55, 0x40}));  // 85.0
  EXPECT_EQ(at(b, 16366, 64), Bytes(64, 'F'));
  EXPECT_EQ(b[16430], 0);
  EXPECT_EQ(at(b, 16431, 4), (Bytes{2, 0, 0, 0}));
  EXPECT_EQ(at(b, 16435, 16), Bytes(16, 0x5A));
  EXPECT_EQ(at(b, 16451, 39), Bytes(39, 'N'));
  EXPECT_EQ(b[16490], 0);
}

// Every field of every record different, so a swapped or shifted field cannot go unnoticed.
void fillTable(Table& t) {
  std::uint32_t n = 1;
  auto next = [&n] { return n = n * 1103515245u + 12345u; };
  auto fill = [&next](auto& bytes) {
    for (auto& x : bytes) x = static_cast<std::uint8_t>(next());
  };
  for (int i = 0; i < kInterfaceCount; ++i) {
    InterfaceDevices& d = t[i];
    fill(d.interfaceMac);
    fill(d.localMac);
    fill(d.localNetworkKey);
    d.localPresent = i % 2 == 0;
    d.localClass = static_cast<DeviceClass>(i % 6);
    d.rateStats = {next(), next(), 55, 12, 90, true};
    d.localFirmware = std::string(64, static_cast<char>('A' + i));
    d.remoteCount = i * 4;
    d.localNetworkName = "local network " + std::to_string(i);
    for (int k = 0; k < kMaxRemotes; ++k) {
      RemoteDevice& r = d.remotes[k];
      fill(r.mac);
      fill(r.networkKey);
      r.inUse = (k + i) % 3 != 0;
      r.scansLeft = static_cast<std::int8_t>(k - 16);
      r.deviceClass = static_cast<DeviceClass>((k + i) % 6);
      r.vendorText1 = std::string(static_cast<std::size_t>(k + 48), static_cast<char>('a' + i));
      r.vendorText2 = "second " + std::to_string(k);
      r.firmware = "LQA-130-MAC-" + std::to_string(next());
      r.timesSeen = next();
      r.scansMissed = next();
      r.classChanged = k % 2 == 1;
      r.rateStats = {next(), next(), double(k * 7), double(k), double(k * 9), k % 2 == 0};
      r.networkName = "network " + std::to_string(i) + "/" + std::to_string(k);
    }
  }
}

TEST(DeviceImages, FullTableRoundTrip) {
  auto table = std::make_unique<Table>();
  fillTable(*table);
  Bytes block(kDeviceTableBlockSize, 0xCC);
  encodeDeviceTableBlock(*table, std::span<std::uint8_t, kDeviceTableBlockSize>(block));
  ASSERT_EQ(block.size(), 131928u);
  // Interface 3's record starts at 3 * 16491; its local MAC is 14 bytes in.
  const MacAddress& m = (*table)[3].localMac;
  EXPECT_EQ(at(block, 3 * 16491 + 14, 6), Bytes(m.begin(), m.end()));

  auto back = std::make_unique<Table>();
  (*back)[2].localFirmware = "left over from before";
  decodeDeviceTableBlock(std::span<const std::uint8_t, kDeviceTableBlockSize>(block), *back);
  EXPECT_TRUE(*back == *table);
  Bytes again(kDeviceTableBlockSize, 0);
  encodeDeviceTableBlock(*back, std::span<std::uint8_t, kDeviceTableBlockSize>(again));
  EXPECT_TRUE(again == block);
}

TEST(DeviceImages, DamagedBytesGiveTerminatedTextsAndValuesInRange) {
  Bytes b(kInterfaceDevicesSize, 0xFF);  // no terminator anywhere, every count at its maximum
  auto d = std::make_unique<InterfaceDevices>();
  decode(b, *d);
  EXPECT_EQ(d->remoteCount, 0);  // 0xFFFFFFFF is -1
  EXPECT_EQ(d->localClass, DeviceClass::Unknown);
  EXPECT_EQ(d->localFirmware.size(), 64u);
  EXPECT_EQ(d->localNetworkName.size(), 39u);
  EXPECT_EQ(d->rateStats.currentRate, 0);  // all ones is a NaN
  for (const RemoteDevice& r : d->remotes) {
    EXPECT_EQ(r.deviceClass, DeviceClass::Unknown);
    EXPECT_EQ(r.vendorText1.size() + r.vendorText2.size(), 2 * 79u);
    EXPECT_EQ(r.firmware.size() + r.networkName.size(), 64u + 39u);
  }
  // Re-encoded, every text of the first entry and of the record ends inside its field.
  const Bytes e = encode(*d);
  for (std::size_t lastByte : {45 + 144, 45 + 224, 45 + 289, 45 + 508, 16430, 16490}) {
    EXPECT_EQ(e[lastByte], 0) << lastByte;
  }

  const std::pair<std::uint32_t, std::int32_t> counts[] = {
      {32, 32}, {33, 32}, {1000, 32}, {0x7FFFFFFF, 32}, {0x80000000, 0}, {17, 17}};
  for (const auto& [stored, decoded] : counts) {
    putLe(b, 16431, stored, 4);
    decode(b, *d);
    EXPECT_EQ(d->remoteCount, decoded) << stored;
  }
  putLe(b, 10, 6, 4);
  putLe(b, 45 + 61, 5, 4);
  putLe(b, 16341, std::bit_cast<std::uint64_t>(-1.0), 8);
  putLe(b, 16349, std::bit_cast<std::uint64_t>(1e300), 8);
  putLe(b, 16357, std::bit_cast<std::uint64_t>(85.0), 8);
  decode(b, *d);
  EXPECT_EQ(d->localClass, DeviceClass::Unknown);
  EXPECT_EQ(d->remotes[0].deviceClass, DeviceClass::AvSecondGeneration);
  EXPECT_EQ(d->rateStats.currentRate, 0);
  EXPECT_EQ(d->rateStats.lowestRate, 0);
  EXPECT_EQ(d->rateStats.highestRate, 85);

  // A short text over a long one leaves nothing of the long one behind.
  std::memcpy(&b[16366], "LQA-1", 6);
  decode(b, *d);
  EXPECT_EQ(d->localFirmware, "LQA-1");
  EXPECT_EQ(encode(*d)[16366 + 10], 0);
}

}  // namespace
}  // namespace quorrel::api
