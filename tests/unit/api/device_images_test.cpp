// Byte images of the device records: fields at their file offsets, round trips, damaged bytes.
// How the eight records follow each other in the data file: the device data tests.
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
  encodeInterfaceDevices(d, std::span<std::uint8_t, kInterfaceDevicesSize>(b));
  return b;
}

void decode(const Bytes& b, InterfaceDevices& d) {
  decodeInterfaceDevices(std::span<const std::uint8_t, kInterfaceDevicesSize>(b), d);
}

void put(Bytes& b, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}
void put(Bytes& b, std::size_t at, std::string_view text) {
  std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}
void putLe(Bytes& b, std::size_t offset, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b[offset + static_cast<std::size_t>(i)] = std::uint8_t(v >> (8 * i));
}

TEST(DeviceImages, FieldsAtTheDataFileOffsetsDecodeFromThereAndDamagedBytesStayInRange) {
  auto d = std::make_unique<InterfaceDevices>();
  d->interfaceMac = {0x02, 0, 0, 0, 0, 0x0A};
  d->localPresent = true;
  d->localClass = DeviceClass::AvSecondGeneration;
  d->localMac = {0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};
  d->remotes[0] = {.inUse = true,
                   .mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55},
                   .scansLeft = -2,
                   .deviceClass = DeviceClass::Turbo,
                   .vendorText1 = {"V1"},
                   .vendorText2 = {"V2"},
                   .firmware = {"LQA-100-FW"},
                   .timesSeen = 0x0A0B0C0D,
                   .scansMissed = 6,
                   .classChanged = true,
                   .rateStats = {.currentRate = 200, .rateChanged = true},
                   .networkKey = {0x3C, 0x3D},
                   .networkName = {"Net"}};
  d->remotes[31].mac = {0x00, 0x31, 0, 0, 0, 0x31};
  d->rateStats = {.fails = 0x01020304, .highestRate = 85};
  d->localFirmware = std::string(64, 'F');  // fills its field: no terminator
  d->remoteCount = 2;
  d->localNetworkKey = {0x5A, 0x5B};
  d->localNetworkName = std::string(39, 'N');

  Bytes e(kInterfaceDevicesSize, 0);  // what is not set stays zero, reserved bytes included
  put(e, 0, {0x02, 0, 0, 0, 0, 0x0A, 1, 0, 0, 0, 5, 0, 0, 0, 0x00, 0xB0, 0x52, 0x12, 0x34, 0x56});
  // The first remote entry starts at 45, the last at 45 + 31 * 509 = 15824.
  put(e, 45, {1, 0, 0, 0, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
  put(e, 105, {0xFE, 2});
  put(e, 110, "V1");
  put(e, 190, "V2");
  put(e, 270, "LQA-100-FW");
  put(e, 456, {0x0D, 0x0C, 0x0B, 0x0A, 6, 0, 0, 0, 1});
  put(e, 473, {0, 0, 0, 0, 0, 0, 0x69, 0x40});  // 200.0
  put(e, 497, {1, 0x3C, 0x3D});
  put(e, 514, "Net");
  put(e, 15828, {0x00, 0x31, 0, 0, 0, 0x31});
  put(e, 16333, {4, 3, 2, 1});
  put(e, 16357, {0, 0, 0, 0, 0, 0x40, 0x55, 0x40});  // 85.0
  put(e, 16366, std::string(64, 'F'));
  put(e, 16431, {2, 0, 0, 0, 0x5A, 0x5B});
  put(e, 16451, std::string(39, 'N'));
  EXPECT_EQ(encode(*d), e);
  auto back = std::make_unique<InterfaceDevices>();
  decode(e, *back);
  EXPECT_TRUE(*back == *d);

  // Damaged bytes give terminated texts and values in range (classes, counts and round trips
  // over any bytes: the record fuzz target's checks, replayed over its corpus).
  Bytes b(kInterfaceDevicesSize, 0xFF);  // no terminator anywhere, every count at its maximum
  decode(b, *d);
  EXPECT_EQ(d->remoteCount, 0);            // 0xFFFFFFFF is -1
  EXPECT_EQ(d->rateStats.currentRate, 0);  // all ones is a NaN
  // Re-encoded, every text of the first entry and of the record ends inside its field.
  e = encode(*d);
  for (std::size_t lastByte : {45 + 144, 45 + 224, 45 + 289, 45 + 508, 16430, 16490}) {
    EXPECT_EQ(e[lastByte], 0) << lastByte;
  }

  const std::pair<std::uint32_t, std::int32_t> counts[] = {
      {32, 32}, {33, 32}, {0x7FFFFFFF, 32}, {0x80000000, 0}, {17, 17}};
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
