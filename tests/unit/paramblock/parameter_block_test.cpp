// ParameterBlock: header checks, buffers shorter than the image claims, checksum renewal, the
// MAC address rules and the key read; the sample block itself. Then field accessors, lists,
// region loads and defaults: result codes at the edges of each range, refusals that leave the
// image alone, and the bytes the defaults put at their offsets.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "crypto/keys.h"
#include "make-samples/sample_files.h"
#include "paramblock/defaults.h"
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
  b[0] = first;
  b[1] = second;
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
  EXPECT_EQ(view.setMacAddress({0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}), R::kInvalidValue);
  EXPECT_EQ(view.setMacAddress(kBroadcastMac), R::kInvalidValue);
  for (const MacAddress& reserved : kReservedMacAddresses)
    EXPECT_EQ(view.setMacAddress(reserved), R::kInvalidValue);
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
  for (std::uint8_t b : key) EXPECT_EQ(b, 0xEE);

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
    if (s.expected != R::kSuccess) {
      EXPECT_EQ(image, before) << s.what;
    }
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
  EXPECT_EQ(readLe16(image, 0), 0x0404);
  EXPECT_EQ(readMac(image, 12), kLocalDeviceMac);
  EXPECT_EQ(readText(image, 180, 64), kDefaultNetworkName);
  EXPECT_EQ(readText(image, 15377, 183), kDefaultTimeZoneRule);
  EXPECT_EQ(readLe32(image, 7824), 120u);
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

}  // namespace
}  // namespace quorrel::paramblock
