// ParameterBlock: header checks, checksum renewal, the MAC rules and the key read; field
// accessors, lists, region loads, defaults and region rules at the edges of each range.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "crypto/keys.h"
#include "make-samples/sample_files.h"
#include "paramblock/defaults.h"
#include "paramblock/parameter_block.h"
#include "paramblock/region_map.h"
#include "platform/checksum32.h"

namespace quorrel::paramblock {
namespace {

using R = ParameterBlockResult;
using Bytes = std::vector<std::uint8_t>;
using namespace field;

constexpr MacAddress kMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr NetworkMembershipKey kNmk{0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                    0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};

Bytes goodBlock() {
  return samples::buildParameterBlock(kMac, kNmk);
}

void setVersion(Bytes& b, std::uint8_t first, std::uint8_t second) {
  b[0] = first, b[1] = second;
}

std::uint32_t xorOfWords(ByteSpan b, std::size_t words) {
  std::uint32_t x = 0;
  for (std::size_t i = 0; i < words; ++i) x ^= readLe32(b, 4 * i);
  return x;
}

TEST(ParameterBlock, ValidationChecksVersionThenLengthThenRegions) {
  const struct {
    const char* what;
    std::function<void(Bytes&)> damage;
    R result;
  } cases[] = {
      {"good", [](Bytes&) {}, R::kSuccess},
      {"stored checksum is not compared", [](Bytes& b) { b[8] ^= 0x5A; }, R::kSuccess},
      {"trailing bytes after the image", [](Bytes& b) { b.resize(b.size() + 100, 0xEE); },
       R::kSuccess},
      {"a region", [](Bytes& b) { b[244] = 4; }, R::kRegionInvalid},
      // Other versions stop at the version: neither length nor regions are looked at.
      {"version 1.4", [](Bytes& b) { setVersion(b, 1, 4), writeLe16(b, 4, 3), b[244] = 0xFF; },
       R::kWrongVersion},
      {"version 4.5", [](Bytes& b) { setVersion(b, 4, 5); }, R::kWrongVersion},
      {"version 5.4", [](Bytes& b) { setVersion(b, 5, 4); }, R::kWrongVersion},
      {"length 15559", [](Bytes& b) { writeLe16(b, kLengthOffset, 15559); }, R::kBadLength},
      {"length 15561", [](Bytes& b) { writeLe16(b, kLengthOffset, 15561); }, R::kBadLength},
      // A buffer shorter than the length it claims, and nothing read past its end.
      {"one byte short", [](Bytes& b) { b.pop_back(); }, R::kBadLength},
      {"header cut", [](Bytes& b) { b.resize(kHeaderLength - 1); }, R::kBadLength},
  };
  for (const auto& c : cases) {
    Bytes block = goodBlock();
    c.damage(block);
    ParameterBlock view;
    EXPECT_EQ(view.attachImage(block), c.result) << c.what;
    EXPECT_EQ(view.validated(), c.result == R::kSuccess) << c.what;
  }
  // Damage after a good validation clears `validated`.
  Bytes block = goodBlock();
  ParameterBlock view;
  ASSERT_EQ(view.attachImage(block), R::kSuccess);
  block[244] = 4;
  EXPECT_EQ(view.validateImage(), R::kRegionInvalid);
  EXPECT_FALSE(view.validated());
}

TEST(ParameterBlock, UpdateChecksumSumsTheStatedLengthWithinTheBuffer) {
  ParameterBlock view;
  Bytes block = goodBlock();
  writeLe32(block, kChecksumOffset, 0x12345678);
  block[200] ^= 0x01;  // a name byte: changes the sum, not the validity
  EXPECT_EQ(view.updateChecksum(block), R::kSuccess);
  EXPECT_EQ(checksum32(block), 0u);
  block[245] = 9;  // a block whose regions fail still gets its checksum
  writeLe32(block, kChecksumOffset, 0);
  EXPECT_EQ(view.updateChecksum(block), R::kRegionInvalid);
  EXPECT_EQ(xorOfWords(block, kParameterBlockLength / 4), 0xFFFFFFFFu);

  // Another version: the length it states, in whole words.
  Bytes other(400, 0x33);
  setVersion(other, 1, 4);
  writeLe16(other, kLengthOffset, 202);
  EXPECT_EQ(view.updateChecksum(other), R::kWrongVersion);
  EXPECT_EQ(xorOfWords(other, 50), 0xFFFFFFFFu);
  // Beyond 16384, or within it but beyond the buffer: refused instead of summed past the end.
  for (std::uint16_t stated : {20000, 401}) {
    writeLe32(other, kChecksumOffset, 0xAAAAAAAA);
    writeLe16(other, kLengthOffset, stated);
    EXPECT_EQ(view.updateChecksum(other), R::kBadLength) << stated;
    EXPECT_EQ(readLe32(other, kChecksumOffset), 0u) << stated;
  }

  // Refused images of version 4.4 are left untouched.
  block = goodBlock();
  writeLe16(block, kLengthOffset, 15559);
  const Bytes before = block;
  EXPECT_EQ(view.updateChecksum(block), R::kBadLength);
  EXPECT_EQ(block, before);
  Bytes tiny(6, 0x04);
  EXPECT_EQ(view.updateChecksum(tiny), R::kBadLength);
  EXPECT_EQ(tiny, Bytes(6, 0x04));
}

TEST(ParameterBlock, MacAddressRulesKeyReadAndTheSampleBlock) {
  Bytes block = goodBlock();
  const Bytes before = block;
  ParameterBlock view;
  ASSERT_EQ(view.attachImage(block), R::kSuccess);
  NetworkMembershipKey key{};
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kSuccess);
  EXPECT_EQ(key, kNmk);
  for (const MacAddress& refused :
       {MacAddress{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}, kBroadcastMac, kReservedMacAddresses[0],
        kReservedMacAddresses[1], kReservedMacAddresses[2]})
    EXPECT_EQ(view.setMacAddress(refused), R::kInvalidValue);
  EXPECT_EQ(block, before);

  // Only the six bytes change; the checksum is left for updateChecksum.
  const MacAddress local{0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};
  EXPECT_EQ(view.setMacAddress(local), R::kSuccess);
  Bytes expected = before;
  std::copy(local.begin(), local.end(), expected.begin() + kMacAddressOffset);
  EXPECT_EQ(block, expected);

  setVersion(block, 1, 3);
  EXPECT_EQ(view.setMacAddress(kMac), R::kVersionTooOld);
  setVersion(block, 1, 4);
  EXPECT_EQ(view.setMacAddress(kMac), R::kSuccess);
  Bytes cut(block.begin(), block.begin() + 17);  // ends inside the MAC field
  view.attachImage(cut);
  EXPECT_EQ(view.setMacAddress(local), R::kBadLength);

  // Version 1.4 is read by the accessor although validation stops at the version.
  Bytes old(kNetworkMembershipKeyOffset + 16, 0);
  setVersion(old, 1, 4);
  old.back() = 15;
  EXPECT_EQ(view.attachImage(old), R::kWrongVersion);
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kSuccess);
  EXPECT_EQ(key[15], 15);
  setVersion(old, 0, 9);
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kVersionTooOld);

  // A buffer that ends inside the key leaves the output alone.
  setVersion(old, 1, 4);
  old.pop_back();
  key.fill(0xEE);
  view.attachImage(old);
  EXPECT_EQ(view.getNetworkMembershipKey(key), R::kBadLength);
  EXPECT_EQ(std::count(key.begin(), key.end(), 0xEE), 16);

  // The sample block the tests build on: its bytes, a reserved address refused, and the strict
  // key text (a group address and a short key: the make-samples command tests).
  NetworkMembershipKey nmk{};
  ASSERT_TRUE(samples::parseKeyHex("102132435465768798a9BACBDCEDFE0F", nmk));
  EXPECT_EQ(nmk, kNmk);
  block = goodBlock();
  ASSERT_EQ(block.size(), kParameterBlockLength);
  EXPECT_EQ(readMac(block, kMacAddressOffset), kMac);
  EXPECT_EQ(readText(block, 36, 64), samples::kSampleManufacturerName);
  EXPECT_EQ(checksum32(block), 0u);
  EXPECT_TRUE(samples::buildParameterBlock(kReservedMacAddresses[2], kNmk).empty());
  for (const char* bad : {"00112233445566778899AABBCCDDEEF", "00112233445566778899AABBCCDDEEFG",
                          "00112233445566778899AABBCCDDEEFF00"})
    EXPECT_FALSE(samples::parseKeyHex(bad, nmk)) << bad;
  EXPECT_EQ(nmk, kNmk);  // untouched on failure
}

Bytes defaultImage() {
  Bytes image(kParameterBlockLength);
  ParameterBlock view;
  EXPECT_EQ(view.resetToDefaults(image), R::kSuccess);
  return image;
}

using V = ParameterBlock&;
constexpr R kOk = R::kSuccess, kBad = R::kInvalidValue, kOff = R::kRegionDisabled,
            kPast = R::kIndexBeyondCount;

struct Step {
  const char* what;
  std::function<R(ParameterBlock&)> call;
  R expected;
};

const Bytes kStation{0x10, 0x02, 0, 0, 0, 0, 0};
Bytes classifier(std::uint32_t cls, std::uint32_t type, std::uint32_t value) {
  Bytes e(28, 0);
  writeLe32(e, 0, cls);
  writeLe32(e, 4, type);
  writeLe32(e, 12, value);
  return e;
}

// Run in order on one default image; every refusal must leave the image as it was.
TEST(Fields, EveryAccessorAtItsBoundaries) {
  const std::string name63(63, 'n'), name64(64, 'n');
  const std::string zone182(182, 'z'), zone183(183, 'z'), withZero("ab\0c", 4);
  const MacAddress group{0x01, 0, 0, 0, 0, 1};
  const SerialPortSetting stop3{921600, 7, 2, 3, 1}, top{921600, 7, 2, 2, 1};
  const Bytes zeroFirst{0, 2, 0, 0, 0, 0, 0}, groupSecond{1, 3, 0, 0, 0, 0, 0};
  const Bytes rule = classifier(3, 2, 7), level33{0, 0, 0, 33, 0};
  const Step steps[] = {
      {"DAK", [](V v) { return v.setDeviceAccessKey(DeviceAccessKey{}); }, kOk},
      {"manufacturer 63", [&](V v) { return v.setManufacturerName(name63); }, kOk},
      {"manufacturer 64", [&](V v) { return v.setManufacturerName(name64); }, kBad},
      {"network name with zero", [&](V v) { return v.setNetworkName(withZero); }, kBad},
      {"network name 63", [&](V v) { return v.setNetworkName(name63); }, kOk},
      {"NMK level 1", [](V v) { return v.setNetworkMembershipKey({}, 1); }, kOk},
      {"NMK level 2", [](V v) { return v.setNetworkMembershipKey({}, 2); }, kBad},
      {"address switch on, group", [&](V v) { return v.setAddressSwitch(true, group); }, kBad},
      {"address switch off, group", [&](V v) { return v.setAddressSwitch(false, group); }, kOk},
      {"enumeration 3", [](V v) { return v.setIdentitySetting(kEnumerationA, 3); }, kOk},
      {"enumeration 4", [](V v) { return v.setIdentitySetting(kEnumerationA, 4); }, kBad},
      {"flags 31", [](V v) { return v.setIdentitySetting(kIdentityFlags, 31); }, kOk},
      {"flags bits 4-5 = 2", [](V v) { return v.setIdentitySetting(kIdentityFlags, 0x20); }, kBad},
      {"not an identity setting", [](V v) { return v.setIdentitySetting(kRateA, 1); }, kBad},
      {"timer off", [](V v) { return v.writeField(kTimerValue, 2); }, kOff},
      {"timer on", [](V v) { return v.writeField(kTimerEnable, 1); }, kOk},
      {"timer 1", [](V v) { return v.writeField(kTimerValue, 1); }, kBad},
      {"timer 1440", [](V v) { return v.writeField(kTimerValue, 1440); }, kOk},
      {"timer 1441", [](V v) { return v.writeField(kTimerValue, 1441); }, kBad},
      {"rate 65000000", [](V v) { return v.writeField(kRateB, 65000000); }, kOk},
      {"identity field", [](V v) { return v.writeField(kEnumerationA, 0); }, kBad},
      {"key 15 bytes", [](V v) { return v.writeBytesField(kKeyValue, Bytes(15)); }, kBad},
      {"time zone 182", [&](V v) { return v.writeTextField(kTimeZoneRule, zone182); }, kOk},
      {"time zone 183", [&](V v) { return v.writeTextField(kTimeZoneRule, zone183); }, kBad},
      {"text 256", [](V v) { return v.writeTextField(kTextC, std::string(256, 't')); }, kOk},
      {"serial timeout 9", [](V v) { return v.writeField(kSerialTimeout, 9); }, kBad},
      {"serial timeout 2000", [](V v) { return v.writeField(kSerialTimeout, 2000); }, kOk},
      {"port 3", [](V v) { return v.setSerialPort(3, {}); }, kPast},
      {"port stop bits 3", [&](V v) { return v.setSerialPort(2, stop3); }, kBad},
      {"port at the top", [&](V v) { return v.setSerialPort(2, top); }, kOk},
      {"stations off: setting", [](V v) { return v.setStationsSetting(5); }, kOff},
      {"stations off: add", [](V v) { return v.addStation(kStation); }, kOff},
      {"stations on", [](V v) { return v.enableStationsWithDefaults(); }, kOk},
      {"setting 255", [](V v) { return v.setStationsSetting(255); }, kBad},
      {"setting 254", [](V v) { return v.setStationsSetting(254); }, kOk},
      {"stations group address", [&](V v) { return v.setStationsAddress(group); }, kBad},
      {"station first byte 0", [&](V v) { return v.addStation(zeroFirst); }, kBad},
      {"station group second", [&](V v) { return v.addStation(groupSecond); }, kBad},
      {"replace beyond count", [](V v) { return v.replaceStation(0, kStation); }, kPast},
      {"plain rule in class 5", [](V v) { return v.addClassifier(classifier(5, 2, 1)); }, kBad},
      {"classifier", [&](V v) { return v.addClassifier(rule); }, kOk},
      {"replace classifier 1", [&](V v) { return v.replaceClassifier(1, rule); }, kPast},
      {"carrier level 33", [&](V v) { return v.replaceCarrier(0, level33); }, kBad},
  };
  Bytes image = defaultImage();
  ParameterBlock view;
  ASSERT_EQ(view.attachImage(image), R::kSuccess);
  for (const Step& s : steps) {
    const Bytes before = image;
    EXPECT_EQ(s.call(view), s.expected) << s.what;
    EXPECT_TRUE(s.expected == R::kSuccess || image == before) << s.what;
  }
  EXPECT_EQ(view.validateImage(), R::kSuccess);
  // Stations take eight entries; a ninth is refused and the count stays.
  for (int i = 0; i < 8; ++i) ASSERT_EQ(view.addStation(kStation), R::kSuccess);
  EXPECT_EQ(view.addStation(kStation), R::kListFull);
  EXPECT_EQ(image[kStationsCount.offset], 8);
  EXPECT_EQ(view.replaceStation(7, Bytes{0xFE, 0, 0, 0, 0, 0, 9}), R::kSuccess);
  EXPECT_EQ(image[kStations.entryAt(7) + 6], 9);
  EXPECT_EQ(view.validateImage(), R::kSuccess);
}

TEST(Fields, HeaderChecksComeFirst) {
  ParameterBlock none;
  NetworkMembershipKey nmk{};
  for (const R r :
       {none.writeField(kRateA, 10000), none.setNetworkName("x"), none.resetToDefaults({}),
        none.validateImage(), none.attachImage({}), none.updateChecksum({}),
        none.setMacAddress({0x02, 0, 0, 0, 0, 1}), none.getNetworkMembershipKey(nmk)})
    EXPECT_EQ(r, R::kNoImage);
  Bytes shortImage(kParameterBlockLength - 1);
  EXPECT_EQ(none.resetToDefaults(shortImage), R::kBadLength);

  const R kOld = R::kVersionTooOld, kLength = R::kBadLength, kUnchecked = R::kNotValidated;
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    R config, identity, settings;
  } cases[] = {
      {"version 1.4", [](Bytes& b) { b[1] = 4, b[0] = 1; }, kOld, kOk, kOld},
      {"version 4.1", [](Bytes& b) { b[1] = 1; }, kOld, kOk, kOk},
      {"version 1.3", [](Bytes& b) { b[0] = 1, b[1] = 3; }, kOld, kOld, kOld},
      {"length 15559", [](Bytes& b) { writeLe16(b, kLengthOffset, 15559); }, kLength, kOk, kOk},
      {"a region fails", [](Bytes& b) { b[kEnumerationA.offset] = 9; }, kUnchecked, kOk, kOk},
  };
  for (const auto& c : cases) {
    Bytes image = defaultImage();
    c.change(image);
    ParameterBlock view;
    view.attachImage(image);
    NetworkIdentifier nid{};
    EXPECT_EQ(view.writeField(kRateA, 10000), c.config) << c.what;
    EXPECT_EQ(view.enableStationsWithDefaults(), c.config) << c.what;
    EXPECT_EQ(view.setUserDeviceName("x"), c.identity) << c.what;
    EXPECT_EQ(view.getNetworkIdentifier(nid), c.settings) << c.what;
  }
}

TEST(Fields, DefaultsInPlaceAndTheNetworkIdentifierCarriesTheLevel) {
  Bytes image(kParameterBlockLength + 8, 0xEE);
  ParameterBlock view;
  ASSERT_EQ(view.resetToDefaults(image), R::kSuccess);
  EXPECT_EQ(readLe32(image, kChecksumOffset), 0u);
  EXPECT_EQ(image.back(), 0xEE);  // nothing past the image
  ASSERT_EQ(view.updateChecksum(image), R::kSuccess);
  EXPECT_EQ(checksum32(ByteSpan(image).first(kParameterBlockLength)), 0u);
  EXPECT_EQ((std::tuple{readLe16(image, 0), readMac(image, 12), readText(image, 180, 64),
                        readText(image, 15377, 183), readLe32(image, 7824)}),
            (std::tuple{0x0404, kLocalDeviceMac, std::string(kDefaultNetworkName),
                        std::string(kDefaultTimeZoneRule), 120u}));
  EXPECT_EQ(Bytes(image.begin() + 10248, image.begin() + 10254), (Bytes{1, 0, 1, 0, 2, 1}));
  EXPECT_EQ(Bytes(image.begin() + 11420, image.begin() + 11428),
            (Bytes{0, 0xC2, 1, 0, 8, 0, 1, 0}));
  // The two fixed keys are those of the default names.
  EXPECT_EQ(crypto::deriveNMK(kDefaultNetworkName), kDefaultNetworkMembershipKey);
  const crypto::Key dak = crypto::deriveDAK(kDefaultDeviceName);
  EXPECT_TRUE(std::equal(dak.begin(), dak.end(), kDefaultDeviceAccessKey.begin()));
  EXPECT_TRUE(std::equal(dak.begin(), dak.end(), image.begin() + 18));
  ASSERT_EQ(view.attachImage(image), R::kSuccess);
  // The identifier of the public network's key is the standard's default one, B0F2E695666B03.
  const crypto::Key key = crypto::deriveNMK(crypto::kDefaultAvNetworkPassword);
  for (int level : {0, 1}) {
    ASSERT_EQ(view.setNetworkMembershipKey(key, level), R::kSuccess);
    EXPECT_EQ(Bytes(image.begin() + 247, image.begin() + 254),
              (Bytes{0xB0, 0xF2, 0xE6, 0x95, 0x66, 0x6B, std::uint8_t(0x03 | level << 4)}));
    EXPECT_TRUE(std::equal(key.begin(), key.end(), image.begin() + 100));
  }
}

// Every loadable region: a good copy lands, a wrong checksum or size is refused untouched.
TEST(Fields, RegionLoadsCheckRuleAndChecksum) {
  Bytes source = defaultImage();
  ParameterBlock sourceView;
  sourceView.attachImage(source);
  sourceView.setNetworkName("loaded");
  sourceView.setSerialPort(1, {9600, 7, 1, 2, 1});
  for (const ParameterRegion& region : kParameterRegions) {
    Bytes image = defaultImage();
    ParameterBlock view;
    view.attachImage(image);
    const ByteSpan copy = ByteSpan(source).subspan(region.offset, region.usedBytes);
    const std::uint32_t sum = checksum32(copy.first(region.checksumWords() * 4));
    const Bytes before = image;
    if (region.usedBytes == 0) {
      EXPECT_EQ(view.loadRegion(region, copy, sum), R::kInvalidValue) << region.name;
      continue;
    }
    EXPECT_EQ(view.loadRegion(region, copy, sum ^ 1), R::kChecksumMismatch) << region.name;
    EXPECT_EQ(view.loadRegion(region, copy.first(copy.size() - 1), sum), R::kInvalidValue);
    EXPECT_EQ(image, before) << region.name;
    EXPECT_EQ(view.loadRegion(region, copy, sum), R::kSuccess) << region.name;
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), image.begin() + region.offset));
  }
  // A copy that breaks its rule gives 8; a region that fails in the image is mended by a load.
  Bytes image = defaultImage();
  image[kSerialEnable.offset] = 2;
  ParameterBlock view;
  EXPECT_EQ(view.attachImage(image), R::kRegionInvalid);
  const ParameterRegion& serial = *regionAt(kSerialEnable.offset);
  Bytes bad(source.begin() + serial.offset, source.begin() + serial.offset + serial.usedBytes);
  bad[kSerialEnable.offset - serial.offset] = 3;
  EXPECT_EQ(view.loadRegion(serial, bad, checksum32(bad)), R::kInvalidValue);
  const ByteSpan good = ByteSpan(source).subspan(serial.offset, serial.usedBytes);
  EXPECT_EQ(view.loadRegion(serial, good, checksum32(good)), R::kSuccess);
  EXPECT_TRUE(view.validated());
  EXPECT_EQ(view.loadImage(source, checksum32(source) + 1), R::kChecksumMismatch);
  EXPECT_EQ(view.loadImage(source, checksum32(source)), R::kSuccess);
  EXPECT_EQ(image, source);
}

// A write into the sample block: width 1, 2 or 4 puts a little-endian value; a larger width
// fills that many bytes with it.
struct Put {
  std::size_t at, width;
  std::uint32_t value;
};
using Puts = std::vector<Put>;
Puts operator+(Puts a, const Puts& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Case {
  std::string name;  // starts with the offset of the region that must fail first
  Puts puts;
};

std::vector<std::uint8_t> patched(const Puts& puts) {
  auto block = samples::buildParameterBlock({0x02, 0, 0, 0, 0, 0x01}, {});
  for (const Put& p : puts) {
    if (p.width > 4) std::fill_n(block.begin() + p.at, p.width, std::uint8_t(p.value));
    for (std::size_t i = 0; p.width <= 4 && i < p.width; ++i)
      block[p.at + i] = std::uint8_t(p.value >> (8 * i));
  }
  return block;
}

R validateWith(const Puts& puts) {
  auto block = patched(puts);
  ParameterBlock view;
  return view.attachImage(block);
}

// Offset of the first region that fails, or 0 when all pass.
std::size_t firstFailingRegion(const Puts& puts) {
  const auto block = patched(puts);
  for (const ParameterRegion& r : kParameterRegions) {
    ImageWindow w(block, 0);
    if (!checkRegion(r, w)) return r.offset;
  }
  return 0;
}

// A classifier rule of type `type` with value `v` at image offset `at`.
Puts rule(std::size_t at, std::uint32_t type, std::uint32_t v, std::uint32_t op = 0) {
  return {{at, 4, type}, {at + 4, 4, op}, {at + 8, 4, v}};
}
// Rule set at index 0 of region 524 (count at 556, sets from 784).
Puts ruleSet(std::uint8_t kind, std::uint8_t mode, std::uint16_t count) {
  return {{556, 4, 1}, {784, 1, kind}, {785, 1, mode}, {786, 2, count}};
}
const Puts kClassifier{{552, 4, 1}};                  // one classifier, its rule at 564
const Puts kSchedule{{10888, 2, 1}, {10890, 4, 30}};  // schedule mode 1, period 30

TEST(RegionChecks, DamagedRegionsFailFirstAndTheWindowNeverOverflows) {
  const Case cases[] = {
      {"12 group MAC", {{12, 1, 0x03}}},
      {"12 byte 244", {{244, 1, 4}}},
      {"12 byte 254 over 63", {{254, 1, 64}}},
      {"12 byte 254 bits 4-5", {{254, 1, 0x20}}},
      {"12 switch 256", {{256, 2, 0x0201}}},
      {"268 setting 255", {{268, 2, 0xFF01}}},
      {"268 group address", {{268, 1, 1}, {269, 1, 2}, {270, 1, 1}}},
      {"268 bad entry", {{268, 2, 0x0201}, {277, 2, 0x0502}, {285, 1, 0}}},
      {"524 byte 527", {{527, 1, 4}}},
      {"524 rate low", {{536, 4, 9999}}},
      {"524 rate high", {{540, 4, 65000001}}},
      {"524 class 16", kClassifier + Puts{{560, 4, 16}}},
      {"524 special rule outside class 5", kClassifier + rule(564, 226, 1)},
      {"524 plain rule in class 5", kClassifier + Puts{{560, 4, 5}} + rule(564, 2, 1)},
      {"524 rule operator 2", kClassifier + rule(564, 2, 1, 2)},
      {"524 rule type 16", kClassifier + rule(564, 16, 0)},
      {"524 VLAN priority 8", kClassifier + rule(564, 2, 8)},
      {"524 VLAN id 4096 swapped", kClassifier + rule(564, 3, 0x0010)},
      {"524 flow label 0", kClassifier + rule(564, 9, 0)},
      {"524 type 228 operator 1", kClassifier + rule(564, 228, 0, 1)},
      {"524 classifier count past the image", {{552, 4, 535 + 1}}},
      {"524 classifier count overflowing", {{552, 4, 0xFFFFFFFF}}},
      {"524 rule set count past the image", {{556, 4, 0x80000000}}},
      {"524 rule set kind 7", ruleSet(7, 0, 1)},
      {"524 rule set mode 2 with rules", ruleSet(1, 2, 1)},
      {"524 rule set count 4", ruleSet(1, 0, 4)},
      {"524 rule set kind 5 without special rule", ruleSet(5, 0, 1)},
      {"524 rule set special rule outside kind 5", ruleSet(1, 0, 1) + rule(788, 226, 0)},
      {"524 rule set all special needs mode 1", ruleSet(5, 0, 1) + rule(788, 226, 0)},
      {"524 rule set flow rule with kind 32", ruleSet(32, 0, 1) + rule(788, 10, 0)},
      {"524 rule set kind 16 type 224", ruleSet(16, 0, 1) + rule(788, 224, 0)},
      {"524 rule set kind 16 extra block", ruleSet(16, 0, 1)},
      {"524 rule set kind 34 extra", ruleSet(34, 0, 1)},
      {"524 byte 2384", {{2384, 1, 9}}},
      {"2572 over 17", {{2572, 4, 18}}},
      {"7692 enabled out of range", {{7716, 4, 1}, {7720, 4, 1441}}},
      {"7820 value 19", {{7824, 4, 19}}},
      {"7820 order", {{7828, 2, 0x6501}}},
      {"7864 enabled out of range", {{7962, 4, 1}, {7966, 4, 99}}},
      {"7992 word 7992", {{7992, 4, 13}}},
      {"7992 word 8000", {{8000, 4, 0xFFFF}}},
      {"7992 byte 8012 = 1 range", {{8012, 1, 1}}},
      {"7992 odd 8017", {{8012, 1, 1}, {8013, 4, 2000}, {8017, 4, 9}}},
      {"7992 sum over 100", {{8021, 2, 0x3C01}, {8025, 1, 41}}},
      {"7992 bits 0-3 of 8026", {{8026, 1, 0x08}}},
      {"8072 rate", {{8080, 4, 299999}}},
      {"8072 flag 3", {{8084, 2, 1 << 3}}},
      {"8072 flag 6 group of 6", {{8084, 2, 1 << 6}, {8112, 2, 6 << 9}}},
      {"8072 flag 7 sum", {{8084, 2, 1 << 7}, {8123, 2, 0x3332}}},
      {"8072 flag 8", {{8084, 2, 1 << 8}}},
      {"8136 mode 3", {{8136, 1, 3}}},
      {"8136 mode 0 with key", {{8156, 1, 1}}},
      {"8136 mode 0 flag 1", {{8139, 1, 1}}},
      {"8136 mode 1 flags zero", {{8136, 1, 1}}},
      {"8136 byte 8157", {{8157, 1, 66}}},
      {"8136 word 8163", {{8163, 4, 4}}},
      {"8200 enabled zero", {{8200, 1, 192}}},
      {"10248 empty list", {{10248, 1, 0}}},
      {"10248 list of 33", {{10248, 1, 33}}},
      {"10248 entry byte 4", {{10253, 1, 2}}},
      {"10248 key with mode 0", {{10425, 1, 1}}},
      {"10248 byte 10820", {{10820, 1, 1}}},
      {"10248 bands none", {{10426, 1, 1}}},
      {"10248 bands past the image", {{10426, 1, 1}, {10435, 1, 255}}},
      {"10248 band level", {{10426, 1, 1}, {10435, 1, 1}, {10446, 1, 3}}},
      {"10248 no band matches", {{10426, 1, 1}, {10435, 1, 1}, {10427, 4, 7}}},
      {"10888 period zero", {{10888, 2, 256}}},
      {"10888 period not 30", {{10888, 2, 1}, {10890, 4, 31}}},
      {"10888 period against 11354", kSchedule + Puts{{11354, 4, 3000}}},
      {"10888 table of 4", kSchedule + Puts{{11142, 2, 4}}},
      {"10888 unknown item type", kSchedule + Puts{{11348, 2, 1}, {11204, 4, 1}, {11144, 4, 3}}},
      {"10888 type 0x20000 in the second table",
       kSchedule + Puts{{11348, 2, 1}, {11204, 4, 1}, {11144, 4, 0x20000}, {11148, 4, 1}}},
      {"11400 enable 2", {{11401, 1, 2}}},
      {"11400 value 11408", {{11408, 2, 9}}},
      {"11400 serial speed", {{11444, 4, 921601}}},
      {"11400 serial stop bits", {{11426, 1, 3}}},
      {"11464 text 257 long", {{11724, 257, 'x'}}},
      {"11464 sum 2561", {{12248, 2, 2000}, {12252, 2, 561}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(validateWith(c.puts), R::kRegionInvalid) << c.name;
    EXPECT_EQ(firstFailingRegion(c.puts), std::stoul(c.name)) << c.name;
  }
  // The window the checks read through never overflows its bounds.
  std::vector<std::uint8_t> bytes(100, 0);
  ImageWindow w(bytes, 1000);
  EXPECT_EQ((std::vector{w.holds(1000, 100), w.holds(1000, 101), w.holds(999, 1),
                         w.holds(1099, SIZE_MAX), w.holdsEntries(1010, 3, 30),
                         w.holdsEntries(1010, 4, 30), w.holdsEntries(1000, 0xFFFFFFFFu, 28),
                         w.holdsEntries(1000, UINT64_MAX, 1), w.faulted()}),
            (std::vector{true, false, false, false, true, false, false, false, false}));
  EXPECT_EQ(w.le32(1098), 0u);  // straddles the end
  EXPECT_TRUE(w.faulted());
}

TEST(RegionChecks, BoundaryValuesPass) {
  const Case cases[] = {
      {"268 enabled with entries", {{268, 2, 0xFE01}, {277, 1, 8}, {278, 56, 2}}},
      {"524 special rule in class 5", kClassifier + Puts{{560, 4, 5}} + rule(564, 227, 0xE188)},
      {"524 VLAN id 4095", kClassifier + rule(564, 3, 0xFF0F)},
      {"524 rule set mode 2 without rules", ruleSet(1, 2, 0)},
      {"524 rule set kind 5 all special mode 1", ruleSet(5, 1, 1) + rule(788, 226, 0xFFFFFF)},
      {"524 rule set kind 16",
       ruleSet(16, 0, 1) + Puts{{860, 2, 1}, {864, 2, 9000}, {866, 4, 10000}}},
      {"7992 even 8017", {{8012, 1, 1}, {8013, 4, 5016}, {8017, 4, 24}}},
      {"8136 mode 1", {{8136, 4, 0x01010101}}},
      {"10248 band matches",
       {{10426, 1, 1}, {10435, 1, 2}, {10427, 4, 7}, {10460, 4, 7}, {10446, 1, 0xE8}}},  // -24
      {"10888 mode 256", {{10888, 2, 256}, {10890, 4, 144000}}},
      {"10888 mode 8192 tables",
       {{10888, 2, 8192},
        {10890, 4, 150},
        {10902, 1, 2},
        {10898, 1, 11},
        {11142, 2, 3},
        {10998 + 136, 4, 3},
        {10938 + 136 + 40, 4, 0x20000},
        {10938 + 136 + 44, 4, 1},
        {10938 + 136, 4, 4},
        {10938 + 136 + 20, 4, 1}}},
      {"11464 text 256 long", {{11981, 256, 'y'}}},
      // A port that is off may keep its settings zero; "11400 serial speed" above is the on side.
      {"11400 port off, settings zeroed", {{11401, 1, 0}, {11408, 48, 0}}},
  };
  for (const Case& c : cases) EXPECT_EQ(validateWith(c.puts), R::kSuccess) << c.name;
}

}  // namespace
}  // namespace quorrel::paramblock
