// resetToDefaults: a fresh image of version 4.4 that passes validation.
#include <algorithm>
#include <cstdint>

#include "paramblock/defaults.h"
#include "paramblock/region_map.h"

namespace quorrel::paramblock {

using R = ParameterBlockResult;
using namespace field;

namespace {

// Region values that validation needs away from zero; every other field stays zero.
constexpr std::uint32_t kDefaultRate = 10000000;
constexpr std::uint32_t kDefaultLevelsValue = 120;
constexpr std::uint8_t kDefaultLevelsLow = 80;
constexpr std::uint8_t kDefaultLevelsHigh = 100;
constexpr std::uint32_t kDefaultLinkRate = 1000000;
constexpr std::uint8_t kDefaultCarrier[5] = {0, 1, 0, 2, 1};
constexpr std::uint16_t kDefaultSerialTimeout = 1000;
constexpr std::uint16_t kDefaultSerialFrame = 500;

// The accessors' results all fold into one: any failure means our defaults broke a rule.
struct Steps {
  R result = R::kSuccess;
  void operator()(R r) {
    if (result == R::kSuccess) result = r;
  }
};

}  // namespace

R ParameterBlock::resetToDefaults(MutableByteSpan image) {
  if (image.data() == nullptr) return R::kNoImage;
  if (image.size() < kParameterBlockLength) return R::kBadLength;
  std::fill_n(image.begin(), kParameterBlockLength, 0);
  writeU8(image, kVersionOffset, kParameterBlockVersion.first);
  writeU8(image, kVersionOffset + 1, kParameterBlockVersion.second);
  writeLe16(image, kLengthOffset, static_cast<std::uint16_t>(kParameterBlockLength));
  image_ = image;
  validated_ = true;

  // The address every adapter answers at is the placeholder until the upgrade writes the
  // adapter's own; setMacAddress refuses it for that reason, so it is written directly.
  writeMac(image_, kMacAddress.offset, kLocalDeviceMac);
  Steps step;
  step(setDeviceAccessKey(kDefaultDeviceAccessKey));
  step(setManufacturerName(kDefaultManufacturerName));
  step(setNetworkMembershipKey(kDefaultNetworkMembershipKey, 0));
  step(setUserDeviceName(kDefaultDeviceName));
  step(setNetworkName(kDefaultNetworkName));

  for (const Field* rate : {&kRateA, &kRateB, &kRateC, &kRateD})
    step(writeField(*rate, kDefaultRate));
  step(writeField(kLevelsValue, kDefaultLevelsValue));
  step(writeField(kLevelsLow, kDefaultLevelsLow));
  step(writeField(kLevelsHigh, kDefaultLevelsHigh));
  std::uint8_t map[kLevelsMap.size];
  for (std::size_t i = 0; i < kLevelsMap.size; ++i) map[i] = static_cast<std::uint8_t>(i);
  step(writeBytesField(kLevelsMap, map));
  step(writeField(kLinkRate, kDefaultLinkRate));
  step(writeField(kCarrierCount, 1));
  step(replaceCarrier(0, kDefaultCarrier));
  step(writeField(kSerialEnable, 1));
  step(writeField(kSerialTimeout, kDefaultSerialTimeout));
  step(writeField(kSerialFrame, kDefaultSerialFrame));
  for (std::size_t port = 0; port < kSerialPortCount; ++port)
    step(setSerialPort(port, SerialPortSetting{}));
  step(writeTextField(kTimeZoneRule, kDefaultTimeZoneRule));
  return step.result;
}

}  // namespace quorrel::paramblock
