// Chip model, class and firmware text from version confirmations, good and hostile.
#include "api/identification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/interface_table.h"

namespace quorrel::api {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The decoded data of a version confirmation: identifier, length, 64-byte text field.
Bytes versionData(std::uint8_t id, std::string_view text, int lengthByte = -1) {
  Bytes b(2 + version_data::kTextSize, 0);
  b[0] = id;
  b[1] = static_cast<std::uint8_t>(lengthByte >= 0 ? lengthByte : static_cast<int>(text.size()));
  for (std::size_t i = 0; i < text.size() && i < version_data::kTextSize; ++i) {
    b[2 + i] = static_cast<std::uint8_t>(text[i]);
  }
  return b;
}

class IdentificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    transport::ResetInterfaceTable();
    ResetDeviceTable();
  }
  void TearDown() override { ResetDeviceTable(); }
};

TEST_F(IdentificationTest, EveryChipByIdentifier) {
  const struct {
    std::uint8_t id;
    const char* text;
    const char* chip;
    const char* firmware;
    DeviceClass cls;
    AvGeneration gen;
  } cases[] = {
      {1, "LQA-100-FW-2-4-0517", "LQA-100", "LQA-100-FW-2-4-0517", DeviceClass::AvFirstGeneration,
       AvGeneration::First},
      {2, "LQA-100-FW-2-4-0517", "LQA-130", "LQA-130-FW-2-4-0517", DeviceClass::AvFirstGeneration,
       AvGeneration::First},
      {3, "LQA-100-FW-4-0", "LQA-140", "LQA-140-FW-4-0", DeviceClass::AvFirstGeneration,
       AvGeneration::First},
      {4, "LQB-200-FW-5-2-5200", "LQ-B200", "LQ-B200-FW-5-2-5200",
       DeviceClass::AvSecondGeneration, AvGeneration::Second},
      {5, "LQA-100-FW-3-5", "LQ-A145", "LQ-A145-FW-3-5", DeviceClass::AvFirstGeneration,
       AvGeneration::First},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.id));
    ResetDeviceTable();
    const Bytes data = versionData(c.id, c.text);
    const MacAddress source{0x00, 0xB0, 0x52, 0xAB, 0xCD, c.id};
    EXPECT_EQ(IdentifyLocalAv(2, {source, 2, data}), c.gen);
    EXPECT_EQ(deviceTable().localChipName, c.chip);
    EXPECT_EQ(interfaceDevices(2).localFirmware, c.firmware);
    const InterfaceState& s = interfaceState(2);
    EXPECT_EQ(s.localClass, c.cls);
    EXPECT_TRUE(s.localPresent);
    EXPECT_TRUE(s.localAnswered);
    EXPECT_EQ(s.localMac, source);
    EXPECT_EQ(DeviceClassLabel(2), kDeviceClassLabels[static_cast<std::size_t>(c.cls)]);

    RemoteDevice r;
    r.deviceClass = DeviceClass::AvFirstGeneration;
    EXPECT_EQ(IdentifyRemoteAv(r, data, StationListLayout::Mmv0), c.gen);
    EXPECT_EQ(r.firmware, c.firmware);
    EXPECT_EQ(r.deviceClass, DeviceClass::AvFirstGeneration);  // MMV 0 cannot tell
    EXPECT_FALSE(r.classChanged);
    IdentifyRemoteAv(r, data, StationListLayout::Mmv1);
    EXPECT_EQ(r.deviceClass, c.cls);
    EXPECT_EQ(r.classChanged, c.cls == DeviceClass::AvSecondGeneration);
  }
  EXPECT_EQ(chipModelFor(0), nullptr);
  EXPECT_EQ(chipModelFor(6), nullptr);
}

TEST_F(IdentificationTest, TextBeforeThePrefixIsDroppedAndOnlyTheFirstPrefixRewritten) {
  EXPECT_EQ(RewriteFirmwareText(versionData(2, "xy LQA-100-MAC")), "LQA-130-MAC");
  EXPECT_EQ(RewriteFirmwareText(versionData(2, "LQA-100-LQA-100")), "LQA-130-LQA-100");
  // A first-generation prefix in a second-generation text is not the chip's prefix.
  EXPECT_EQ(RewriteFirmwareText(versionData(4, "LQA-100-LQB-200-9")), "LQ-B200-9");
}

TEST_F(IdentificationTest, LengthByteBeyondTheFieldReadsAtMostSixtyFourBytes) {
  const std::string full(64, 'Z');
  Bytes data = versionData(9, full, 255);
  data.resize(300, 'Q');  // bytes beyond the text field must not be taken
  EXPECT_EQ(RewriteFirmwareText(data), full);
  const std::string text = "LQA-100" + std::string(57, '7');
  data = versionData(1, text, 200);
  EXPECT_EQ(IdentifyLocalAv(0, {{}, 0, data}), AvGeneration::First);
  EXPECT_EQ(interfaceDevices(0).localFirmware, text);
  EXPECT_EQ(interfaceDevices(0).localFirmware.size(), 64u);
}

TEST_F(IdentificationTest, ShortEmptyAndUnterminatedData) {
  EXPECT_EQ(RewriteFirmwareText({}), "");
  const Bytes idOnly{1};
  EXPECT_EQ(RewriteFirmwareText(idOnly), "");
  const Bytes cut{2, 40, 'L', 'Q', 'A', '-', '1'};  // claims 40 bytes, carries 5
  EXPECT_EQ(RewriteFirmwareText(cut), "LQA-1");
  const Bytes exact{2, 9, 'L', 'Q', 'A', '-', '1', '0', '0', '-', '2'};
  EXPECT_EQ(RewriteFirmwareText(exact), "LQA-130-2");
  // The length byte counts, not the zero byte: a text cut by its length loses the rest.
  EXPECT_EQ(RewriteFirmwareText(versionData(2, "LQA-100-MAC", 5)), "LQA-1");
  // An embedded zero ends the text.
  Bytes zero = versionData(1, "LQA-100-AB");
  zero[2 + 8] = 0;
  EXPECT_EQ(RewriteFirmwareText(zero), "LQA-100-");
  EXPECT_EQ(RewriteFirmwareText(versionData(1, "")), "");
}

TEST_F(IdentificationTest, UnknownIdentifierOrMissingPrefixKeepsTheTextAndTheClass) {
  for (std::uint8_t id : {std::uint8_t{0}, std::uint8_t{6}, std::uint8_t{0xFF}}) {
    SCOPED_TRACE(static_cast<int>(id));
    ResetDeviceTable();
    interfaceState(1).localClass = DeviceClass::HomePlug1;
    const MacAddress source{0x00, 0xB0, 0x52, 0, 0, 9};
    EXPECT_EQ(IdentifyLocalAv(1, {source, 1, versionData(id, "LQA-100-X")}), AvGeneration::Unknown);
    EXPECT_EQ(interfaceDevices(1).localFirmware, "LQA-100-X");
    EXPECT_TRUE(deviceTable().localChipName.empty());
    EXPECT_EQ(interfaceState(1).localClass, DeviceClass::HomePlug1);
    EXPECT_TRUE(interfaceState(1).localPresent);
    EXPECT_EQ(interfaceState(1).localMac, source);

    RemoteDevice r;
    r.deviceClass = DeviceClass::AvFirstGeneration;
    r.firmware = "older and much longer firmware text";
    EXPECT_EQ(IdentifyRemoteAv(r, versionData(id, "B"), StationListLayout::Mmv1),
              AvGeneration::Unknown);
    EXPECT_EQ(r.firmware, "B");
    EXPECT_EQ(r.deviceClass, DeviceClass::AvFirstGeneration);
  }
  // Known identifier, text without its prefix (a second-generation text on a first-generation id).
  EXPECT_EQ(RewriteFirmwareText(versionData(3, "  LQB-200-7")), "  LQB-200-7");
  EXPECT_EQ(RewriteFirmwareText(versionData(4, "LQA-100-7")), "LQA-100-7");
}

TEST_F(IdentificationTest, ConfirmationArrivingOnAnotherInterfaceAndBadIndexes) {
  const MacAddress source{0x00, 0xB0, 0x52, 0, 0, 3};
  const Bytes data = versionData(4, "LQB-200-1");
  IdentifyLocalAv(0, {source, 3, data});
  EXPECT_EQ(interfaceState(3).localMac, source);
  EXPECT_EQ(interfaceState(0).localMac, kNoMac);
  EXPECT_EQ(interfaceState(0).localClass, DeviceClass::AvSecondGeneration);
  EXPECT_EQ(interfaceDevices(0).localFirmware, "LQ-B200-1");

  ResetDeviceTable();
  EXPECT_EQ(IdentifyLocalAv(8, {source, 8, data}), AvGeneration::Unknown);
  EXPECT_EQ(IdentifyLocalAv(-1, {source, 0, data}), AvGeneration::Unknown);
  for (int i = 0; i < kInterfaceCount; ++i) {
    EXPECT_FALSE(interfaceState(i).localPresent);
    EXPECT_TRUE(interfaceDevices(i).localFirmware.empty());
  }
  EXPECT_TRUE(deviceTable().localChipName.empty());
  // A bad arrival index loses only the MAC.
  EXPECT_EQ(IdentifyLocalAv(7, {source, 12, data}), AvGeneration::Second);
  EXPECT_EQ(interfaceState(7).localMac, kNoMac);
  EXPECT_EQ(interfaceState(7).localClass, DeviceClass::AvSecondGeneration);
}

}  // namespace
}  // namespace quorrel::api
