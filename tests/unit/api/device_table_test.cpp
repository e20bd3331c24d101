// Remote-entry bookkeeping and interface choice; rate conversions and the rate history rules;
// the records' byte images; identification from version confirmations; the local network key.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "api/device_images.h"
#include "api/device_table.h"
#include "api/identification.h"
#include "api/local_network_key.h"
#include "api/rate_stats.h"
#include "make-samples/sample_files.h"
#include "support/sim_host.h"
#include "thpapi/module_transfer.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::api {
namespace {

MacAddress mac(std::uint8_t last, std::uint8_t first = 0x00) {
  return {first, 0x11, 0x22, 0x33, 0x44, last};
}

class DeviceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    transport::resetInterfaceTable();
    resetDeviceTable();
  }
  void TearDown() override { SetUp(); }
  std::array<RemoteDevice, kMaxRemotes>& remotes() { return currentDevices().remotes; }
};

TEST_F(DeviceTableTest, MissedDeviceDropsAtThresholdAndComesBackToItsOldEntry) {
  UpsertRemote(mac(1));
  UpsertRemote(mac(2))->firmware = "LQA-130-FW-2-4-0517";
  // Device 1 keeps being listed; device 2 is missed: 3 -> 2 -> 1 -> 0.
  for (int step = 1; step <= 3; ++step) {
    UpsertRemote(mac(1));
    AgeRemotes();
    EXPECT_EQ(remotes()[1].scansLeft, 3 - step) << step;
    EXPECT_EQ(currentDevices().remoteCount, step < 3 ? 2 : 1) << step;
  }
  AgeRemotes();  // a dropped entry is not dropped again
  RemoteDevice& dropped = remotes()[1];
  EXPECT_FALSE(dropped.inUse);
  EXPECT_EQ(dropped.scansMissed, 3u);

  EXPECT_EQ(UpsertRemote(mac(2)), &dropped);
  EXPECT_EQ(
      (std::tuple{dropped.inUse, dropped.scansLeft, dropped.timesSeen, dropped.firmware.str()}),
      (std::tuple{true, 3, 2u, "LQA-130-FW-2-4-0517"}));
}

TEST_F(DeviceTableTest, ThresholdsCountersClassesAndIndexesAreHeldToTheirRanges) {
  setDropThreshold(0);
  EXPECT_EQ(deviceTable().dropThreshold, 1);
  setDropThreshold(25);
  EXPECT_EQ(deviceTable().dropThreshold, 10);
  UpsertRemote(mac(1));
  remotes()[0].scansLeft = -5;  // as a damaged file may hold
  currentDevices().remoteCount = 17;
  AgeRemotes();
  EXPECT_EQ((std::tuple{remotes()[0].inUse, remotes()[0].scansLeft, currentDevices().remoteCount}),
            (std::tuple{false, 0, 0}));
  interfaceState(1).localClass = DeviceClass::AvSecondGeneration;
  EXPECT_EQ(DeviceClassLabel(1), kDeviceClassLabels[5]);
  interfaceState(1).localClass = static_cast<DeviceClass>(0x45);  // a HomePlug 1.0 class byte
  for (const int i : {1, 8, -1}) EXPECT_EQ(DeviceClassLabel(i), "Adapter") << i;
  EXPECT_EQ(ReadFrameCounters(8), FrameCounters{});
  EXPECT_EQ(&interfaceDevices(99), &interfaceDevices(7));
  EXPECT_EQ(&interfaceState(-4), &interfaceState(0));
}

TEST_F(DeviceTableTest, ThirtyThirdDeviceTakesOverTheLastEntryAndRemovalMovesTheRestUp) {
  for (std::uint8_t i = 0; i < kMaxRemotes; ++i) ASSERT_NE(UpsertRemote(mac(i)), nullptr);
  RemoteDevice& last = remotes()[kMaxRemotes - 1];
  last.firmware = "old firmware";
  last.rateStats.highestRate = 85;
  last.scansMissed = 6;
  EXPECT_EQ(UpsertRemote(mac(0xAA)), &last);
  EXPECT_EQ(
      (std::tuple{last.mac, last.timesSeen, last.scansMissed, last.firmware.str(), last.rateStats}),
      (std::tuple{mac(0xAA), 1u, 0u, "", RateStats{}}));
  EXPECT_EQ(FindRemote(mac(kMaxRemotes - 1)), nullptr);

  // Removal moves the rest up; clearing keeps the addresses.
  for (RemoteDevice& e : remotes()) e.rateStats.currentRate = 9;
  EXPECT_EQ(RemoveRemote(mac(0x77)), 0);
  EXPECT_EQ(RemoveRemote(kNoMac), 0);
  EXPECT_EQ(RemoveRemote(mac(5)), 1);
  for (int i = 0; i + 2 < kMaxRemotes; ++i) EXPECT_EQ(remotes()[i].mac, mac(i < 5 ? i : i + 1));
  EXPECT_EQ(remotes()[kMaxRemotes - 2].mac, mac(0xAA));
  EXPECT_EQ(remotes()[kMaxRemotes - 1], RemoteDevice{});

  currentDevices().remoteCount = 32;
  ClearRemotes();
  EXPECT_EQ(currentDevices().remoteCount, 0);
  for (const RemoteDevice& e : remotes()) EXPECT_FALSE(e.inUse || e.rateStats.currentRate != 0);
  EXPECT_EQ(FindRemote(mac(3)), &remotes()[3]);
}

TEST_F(DeviceTableTest, UnaddressableAndLocalMacsMakeNoEntry) {
  currentState().localMac = mac(0x50);
  currentDevices().localMac = mac(0x51);
  for (const MacAddress& m : {kNoMac, kBroadcastMac, mac(7, 0x01), mac(0x50), mac(0x51)}) {
    EXPECT_EQ(UpsertRemote(m), nullptr) << formatMac(m);
  }
  for (const RemoteDevice& e : remotes()) EXPECT_EQ(e, RemoteDevice{});
  remotes()[0].inUse = true;  // a zero-MAC entry left by a damaged file is still not found
  EXPECT_EQ(FindRemote(kNoMac), nullptr);
}

TEST_F(DeviceTableTest, SightingRecordsTheFamilysNetworkAndClassOnTheInterfaceSelected) {
  DeviceTable& t = deviceTable();
  t.localAvNetworkKey.fill(0xA5);
  t.localAvNetworkName = "HomePlugAV";
  t.localHp1NetworkKey = {1, 2, 3, 4, 5, 6, 7, 8};
  t.localHp1NetworkName = "HomePlug";
  t.avLocal = true;
  RemoteDevice* av = UpsertRemote(mac(1));
  EXPECT_EQ((std::tuple{av->deviceClass, av->networkKey, av->networkName.str()}),
            (std::tuple{DeviceClass::AvFirstGeneration, t.localAvNetworkKey, "HomePlugAV"}));
  // Seen again under a HomePlug 1.0 local device: class kept, the 8-byte key, zero after it.
  t.avLocal = false;
  UpsertRemote(mac(1));
  EXPECT_EQ(
      (std::tuple{av->deviceClass, av->networkKey, av->networkName.str()}),
      (std::tuple{DeviceClass::AvFirstGeneration, NetworkKey{1, 2, 3, 4, 5, 6, 7, 8}, "HomePlug"}));
  EXPECT_EQ(UpsertRemote(mac(2))->deviceClass, DeviceClass::Usb);

  // Selecting an interface by its MAC address needs a local device there.
  const MacAddress own = mac(0xE0, 0x02), other = mac(0xE1, 0x02);
  interfaceDevices(2).interfaceMac = own;  // no local device there
  interfaceDevices(5).interfaceMac = own;
  interfaceDevices(5).localPresent = true;
  interfaceDevices(5).localClass = DeviceClass::Turbo;
  transport::setCurrentInterface(1);
  EXPECT_EQ((std::vector{SelectInterfaceByMac(&other), SelectInterfaceByMac(nullptr),
                         SelectInterfaceByMac(&kNoMac)}),
            (std::vector{false, true, true}));
  EXPECT_EQ(transport::currentInterface(), 1u);
  EXPECT_TRUE(SelectInterfaceByMac(&own));
  EXPECT_EQ((std::tuple{transport::currentInterface(), deviceTable().turboLocal}),
            (std::tuple{5u, true}));
  UpsertRemote(mac(1));  // remote operations follow the current interface
  EXPECT_EQ(interfaceDevices(5).remotes[0].mac, mac(1));
}

TEST(Rates, ConversionsAtKnownPointsAndWithinTheBoundAndTheRulesOfTheHistory) {
  EXPECT_EQ(rateToMbps(151, RateMode::HomePlugAv), 200);
  EXPECT_EQ(rateToMbps(150, RateMode::HomePlugAv), 198);  // integer quotient of 198.67
  EXPECT_NEAR(rateToMbps(42, RateMode::HomePlug1), 1.01366, 1e-5);
  EXPECT_EQ((std::vector{turboRateToMbps(126), turboRateToMbps(252), turboRateToMbps(519),
                         rateToMbps(2812, RateMode::Turbo)}),
            (std::vector<double>{3, 6, 14, 85}));
  EXPECT_EQ(rateToMbps(2812, static_cast<RateMode>(3)), 0);
  // No conversion goes beyond the bound the image decoder trusts.
  EXPECT_EQ(rateToMbps(65535, RateMode::HomePlugAv), kMaxRateMbps);
  EXPECT_LT(rateToMbps(65535, RateMode::HomePlug1), kMaxRateMbps);
  EXPECT_LT(rateToMbps(65535, RateMode::Turbo), kMaxRateMbps);

  // A sample: whole rates, the change rule, the extremes and hostile samples.
  RateStats s;
  updateRateStats(s, 42, 7, 9, RateMode::HomePlug1);
  EXPECT_EQ(s, (RateStats{7, 9, 1, 1, 1, true}));  // 1.0137 truncated; the first sets the lowest

  s = RateStats{};
  s.currentRate = 100;
  recordRate(s, 100.02, 0, 0);  // not more than 0.02 away
  EXPECT_FALSE(s.rateChanged);
  recordRate(s, 101, 0, 0);
  recordRate(s, 101, 0, 0);
  EXPECT_TRUE(s.rateChanged);  // stays until the list clears it
  for (double v : {80.0, 30.0, 60.0}) recordRate(s, v, 0, 0);
  EXPECT_EQ((std::tuple{s.lowestRate, s.highestRate}), (std::tuple{30.0, 101.0}));
  recordRate(s, 0.5, 0, 0);  // 0 becomes the lowest, and the next sample replaces it
  recordRate(s, 40, 0, 0);
  EXPECT_EQ(s.lowestRate, 40);

  s = RateStats{};
  updateRateStats(s, 0, 0, 0, RateMode::HomePlug1);  // converts to -0.13
  EXPECT_EQ(s.currentRate, 0);
  EXPECT_FALSE(std::signbit(s.currentRate));
  recordRate(s, std::numeric_limits<double>::quiet_NaN(), 0, 0);
  recordRate(s, std::numeric_limits<double>::infinity(), 0, 0);
  EXPECT_EQ((std::tuple{s.currentRate, s.highestRate}), (std::tuple{0.0, 0.0}));
}

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
    const InterfaceState& s = interfaceState(2);
    EXPECT_EQ((std::tuple{std::string(deviceTable().localChipName),
                          interfaceDevices(2).localFirmware.str(),
                          s.localPresent && s.localAnswered, s.localMac}),
              (std::tuple{c.chip, c.firmware, true, source}));
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
  EXPECT_EQ((std::tuple{interfaceState(3).localMac, interfaceState(0).localMac,
                        interfaceState(0).localClass}),
            (std::tuple{source, kNoMac, DeviceClass::AvSecondGeneration}));
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
