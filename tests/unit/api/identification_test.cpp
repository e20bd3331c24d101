// Chip model, class and firmware text from version confirmations, good and hostile.
#include "api/identification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "transport/interface_table.h"

namespace quorrel::api {
namespace {

using Bytes = thpapi::VersionInfo;

// A decoded version confirmation, as the decoder gives it: the text cut at the length byte,
// the 64-byte field and the first zero.
thpapi::VersionInfo versionData(std::uint8_t id, std::string_view text, int lengthByte = -1) {
  std::size_t n = lengthByte >= 0 ? static_cast<std::size_t>(lengthByte) : text.size();
  n = std::min({n, text.size(), std::size_t{64}});
  const std::string_view held = text.substr(0, n);
  return {id, std::string(held.substr(0, held.find('\0')))};
}

class IdentificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    transport::ResetInterfaceTable();
    ResetDeviceTable();
  }
  void TearDown() override { ResetDeviceTable(); }
};

// Identifier 6 is unknown: the text stays as reported and the class as it was.
TEST_F(IdentificationTest, EveryChipByIdentifier) {
  const struct {
    std::uint8_t id;
    const char* text;
    const char* chip;
    const char* firmware;
    AvGeneration generation;
  } cases[] = {
      {1, "LQA-100-FW-2-4-0517", "LQA-100", "LQA-100-FW-2-4-0517", AvGeneration::First},
      {2, "LQA-100-FW-2-4-0517", "LQA-130", "LQA-130-FW-2-4-0517", AvGeneration::First},
      {3, "LQA-100-FW-4-0", "LQA-140", "LQA-140-FW-4-0", AvGeneration::First},
      {4, "LQB-200-FW-5-2", "LQ-B200", "LQ-B200-FW-5-2", AvGeneration::Second},
      {5, "LQA-100-FW-3-5", "LQ-A145", "LQ-A145-FW-3-5", AvGeneration::First},
      {6, "LQA-100-X", "", "LQA-100-X", AvGeneration::Unknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.id));
    ResetDeviceTable();
    interfaceState(2).localClass = DeviceClass::HomePlug1;
    const bool second = c.generation == AvGeneration::Second;
    const Bytes data = versionData(c.id, c.text);
    const MacAddress source{0x00, 0xB0, 0x52, 0xAB, 0xCD, c.id};
    EXPECT_EQ(IdentifyLocalAv(2, {source, 2, data}), c.generation);
    EXPECT_EQ(deviceTable().localChipName, c.chip);
    EXPECT_EQ(interfaceDevices(2).localFirmware, c.firmware);
    const InterfaceState& s = interfaceState(2);
    EXPECT_TRUE(s.localPresent && s.localAnswered);
    EXPECT_EQ(s.localMac, source);
    EXPECT_EQ(s.localClass, c.generation == AvGeneration::Unknown ? DeviceClass::HomePlug1
                            : second                              ? DeviceClass::AvSecondGeneration
                                                                  : DeviceClass::AvFirstGeneration);

    RemoteDevice r;
    r.deviceClass = DeviceClass::AvFirstGeneration;
    r.firmware = "older and much longer firmware text";
    IdentifyRemoteAv(r, data, StationListLayout::Mmv0);
    EXPECT_EQ(r.firmware, c.firmware);
    EXPECT_EQ(r.deviceClass, DeviceClass::AvFirstGeneration);  // MMV 0 cannot tell
    EXPECT_EQ(IdentifyRemoteAv(r, data, StationListLayout::Mmv1), c.generation);
    EXPECT_EQ(r.deviceClass,
              second ? DeviceClass::AvSecondGeneration : DeviceClass::AvFirstGeneration);
    EXPECT_EQ(r.classChanged, second);
  }
}

TEST_F(IdentificationTest, FirmwareTextRewrite) {
  const struct {
    Bytes data;
    std::string firmware;
  } cases[] = {
      {versionData(2, "xy LQA-100-MAC"), "LQA-130-MAC"},       // what precedes the prefix goes
      {versionData(2, "LQA-100-LQA-100"), "LQA-130-LQA-100"},  // only the first counts
      {versionData(4, "LQA-100-LQB-200-9"), "LQ-B200-9"},
      {versionData(3, "  LQB-200-7"), "  LQB-200-7"},  // not the identifier's prefix: as reported
      {versionData(4, "LQA-100-7"), "LQA-100-7"},
      {versionData(9, "LQA-100-9"), "LQA-100-9"},  // unknown identifier
      {{}, ""},
      {versionData(2, "LQA-100-MAC", 5), "LQA-1"},
      {versionData(1, std::string_view("LQA-100-\0B", 10)), "LQA-100-"},  // a zero ends the text
  };
  for (const auto& c : cases) EXPECT_EQ(RewriteFirmwareText(c.data), c.firmware);

  // The local firmware field takes all 64 bytes of a text that fills it.
  const std::string text = "LQA-100" + std::string(57, '7');
  EXPECT_EQ(IdentifyLocalAv(0, {{}, 0, versionData(1, text, 200)}), AvGeneration::First);
  EXPECT_EQ(interfaceDevices(0).localFirmware, text);
}

TEST_F(IdentificationTest, ConfirmationFromAnotherInterfaceAndBadIndexes) {
  const MacAddress source{0x00, 0xB0, 0x52, 0, 0, 3};
  const Bytes data = versionData(4, "LQB-200-1");
  IdentifyLocalAv(0, {source, 3, data});
  EXPECT_EQ(interfaceState(3).localMac, source);
  EXPECT_EQ(interfaceState(0).localMac, kNoMac);
  EXPECT_EQ(interfaceState(0).localClass, DeviceClass::AvSecondGeneration);

  ResetDeviceTable();
  EXPECT_EQ(IdentifyLocalAv(8, {source, 8, data}), AvGeneration::Unknown);
  EXPECT_EQ(IdentifyLocalAv(-1, {source, 0, data}), AvGeneration::Unknown);
  for (int i = 0; i < kInterfaceCount; ++i) EXPECT_FALSE(interfaceState(i).localPresent);
  EXPECT_TRUE(deviceTable().localChipName.empty());
  EXPECT_EQ(IdentifyLocalAv(7, {source, 12, data}), AvGeneration::Second);  // MAC has no home
  EXPECT_EQ(interfaceState(7).localMac, kNoMac);
}

}  // namespace
}  // namespace quorrel::api
