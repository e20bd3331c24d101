// Chip model, class and firmware text from version confirmations, good and hostile; the local
// device's network key read from its parameter block against the simulated adapter (blocks it
// must refuse leave the old key and name in place).
#include "api/identification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "api/local_network_key.h"
#include "make-samples/sample_files.h"
#include "support/sim_host.h"
#include "thpapi/module_transfer.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::api {
namespace {

using namespace quorrel::testing;

using Version = thpapi::VersionInfo;

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
    transport::resetInterfaceTable();
    resetDeviceTable();
  }
  void TearDown() override { resetDeviceTable(); }
};

// Identifier 6 is unknown: the text stays as reported and the class as it was.
TEST_F(IdentificationTest, EveryChipByIdentifierConfirmationsFromElsewhereAndTextRewrites) {
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
    resetDeviceTable();
    interfaceState(2).localClass = DeviceClass::HomePlug1;
    const bool second = c.generation == AvGeneration::Second;
    const Version data = versionData(c.id, c.text);
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

  // A confirmation from another interface, and bad indexes.
  const MacAddress source{0x00, 0xB0, 0x52, 0, 0, 3};
  const Version data = versionData(4, "LQB-200-1");
  IdentifyLocalAv(0, {source, 3, data});
  EXPECT_EQ(interfaceState(3).localMac, source);
  EXPECT_EQ(interfaceState(0).localMac, kNoMac);
  EXPECT_EQ(interfaceState(0).localClass, DeviceClass::AvSecondGeneration);
  resetDeviceTable();
  EXPECT_EQ(IdentifyLocalAv(8, {source, 8, data}), AvGeneration::Unknown);
  EXPECT_EQ(IdentifyLocalAv(-1, {source, 0, data}), AvGeneration::Unknown);
  for (int i = 0; i < kInterfaceCount; ++i) EXPECT_FALSE(interfaceState(i).localPresent);
  EXPECT_TRUE(deviceTable().localChipName.empty());
  EXPECT_EQ(IdentifyLocalAv(7, {source, 12, data}), AvGeneration::Second);  // MAC has no home
  EXPECT_EQ(interfaceState(7).localMac, kNoMac);

  // The firmware text rewritten by the identifier's chip name.
  const std::pair<Version, std::string> rewrites[] = {
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
  for (const auto& [version, firmware] : rewrites)
    EXPECT_EQ(rewriteFirmwareText(version), firmware);

  // The local firmware field takes all 64 bytes of a text that fills it.
  const std::string text = "LQA-100" + std::string(57, '7');
  EXPECT_EQ(IdentifyLocalAv(0, {{}, 0, versionData(1, text, 200)}), AvGeneration::First);
  EXPECT_EQ(interfaceDevices(0).localFirmware, text);
}

using Bytes = std::vector<std::uint8_t>;

constexpr NetworkKey kOldKey{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                             0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};

// The local network key read into the device table's key, as the local search does it. The
// ordinary read, and lost, damaged or late pieces: the scan's sweep over this read.
TEST_F(IdentificationTest, OnlyABlockItCanReadGivesTheKeyElseTheOldKeyStays) {
  deviceTable().localAvNetworkName = NetworkName("Old Network");
  const struct {
    const char* what;
    std::function<void(Bytes&)> fault;
    int result;
  } cases[] = {
      {"another layout version, used as it stands", [](Bytes& b) { b[0] = 1, b[1] = 4; }, 1},
      {"region fails validation", [](Bytes& b) { b[244] = 0xFF; }, -1},
      {"length field wrong", [](Bytes& b) { writeLe16(b, 4, 15559), b.resize(15559); }, -1},
      {"version below the field version", [](Bytes& b) { b[0] = 1, b[1] = 3; }, -1},
      {"too short to hold the key", [](Bytes& b) { b[0] = 1, writeLe16(b, 4, 64), b.resize(64); },
       -1},
      {"longer than the buffer", [](Bytes& b) { b = patternBlock(20000, 20000); }, -1},
      {"no source address",
       [](Bytes&) { transport::interfaceTable().entries[0].macAddress = kNoMac; }, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SimHost h(simScenario());
    deviceTable().localAvNetworkKey = kOldKey;
    Bytes block = samples::buildParameterBlock(kSimLocalMac, kSimLocalKey);
    c.fault(block);
    h.local().modules.parameterBlock = block;
    EXPECT_EQ(ReadLocalNetworkKey(path, kLocalDeviceMac, deviceTable().localAvNetworkKey),
              c.result);
    EXPECT_EQ(deviceTable().localAvNetworkKey, c.result == 1 ? NetworkKey(kSimLocalKey) : kOldKey);
    EXPECT_EQ(deviceTable().localAvNetworkName.view(), "Old Network");
  }
  thpapi::abandonTransfer();
}

}  // namespace
}  // namespace quorrel::api
