// The device data file: exact bytes, damaged and hostile files, the all-or-nothing save.
#include "persistence/device_data.h"

#include <cstring>

#include "persistence_fixture.h"

namespace quorrel::persistence::testing {
namespace {

// Hand-computed from the layout: 4 + 4 + 8 × 16491 = 131936 for the count, records after it.
constexpr std::size_t kCountAt = 131936;
constexpr std::size_t recordAt(std::size_t j) {
  return 131940 + 198 * j;
}
constexpr std::size_t layoutAt(std::size_t n) {
  return 131940 + 198 * n;
}
// Interface 2 starts at 8 + 2 × 16491.
constexpr std::size_t kIf2 = 32990;

std::int32_t i32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(readLe32(b, at));
}

DeviceData sampleData(int n) {
  DeviceData d;
  d.currentInterface = 3;
  api::InterfaceDevices& i2 = d.devices[2];
  i2.localPresent = true;
  i2.localClass = api::DeviceClass::AvSecondGeneration;
  i2.localMac = {0x00, 0xB0, 0x52, 0xAA, 0xBB, 0xCC};
  i2.remotes[0].inUse = true;
  i2.remotes[0].mac = macOf(1);
  i2.remotes[0].deviceClass = api::DeviceClass::AvFirstGeneration;
  i2.remotes[0].rateStats.currentRate = 200.0;
  i2.remoteCount = 1;
  i2.localNetworkKey.fill(0x5A);
  i2.localNetworkName = "Private Net";
  for (int j = 0; j < n; ++j) {
    KnownDevice& r = d.known.records[j];
    r.name = "Device " + std::to_string(j + 1);
    r.mac = macOf(static_cast<std::uint8_t>(j + 1));
    r.password = "PASS-" + std::to_string(j);
    r.networkName = "Net" + std::to_string(j);
    r.networkKey.fill(static_cast<std::uint8_t>(0xA0 + j));
    r.lastSeen = 0x0102030405060708LL + j;
  }
  d.known.knownCount = n;
  d.layout.columnOrder = {0, 3, 1, 4, 2};
  d.layout.columnWidths = {150, 121, 71, 81, 111};
  d.layout.sortDirection = 0;
  d.layout.sortColumn = 2;
  return d;
}

class DeviceDataTest : public PersistenceTest {
 protected:
  std::string path() const { return scratch.file("Quorrel Utility.data"); }
  void install(const std::vector<std::uint8_t>& bytes) { writeFile(path(), bytes); }
  bool noticeShown(const std::string& caption, platform::NoticeIcon icon) const {
    for (const auto& n : notices.shown)
      if (n.caption == caption && n.icon == icon) return true;
    return false;
  }
  std::vector<std::string> strayFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(scratch.path()))
      if (e.path().filename() != "Quorrel Utility.data") names.push_back(e.path().filename());
    return names;
  }
};

TEST_F(DeviceDataTest, FileBytesSitAtTheirOffsetsForEveryCount) {
  for (const int n : {0, 1, 32, 100}) {
    SCOPED_TRACE(n);
    const auto b = encodeDeviceData(sampleData(n));
    ASSERT_EQ(b.size(), 131988u + 198u * n);
    EXPECT_EQ((std::vector<std::uint8_t>(b.begin(), b.begin() + 4)),
              (std::vector<std::uint8_t>{0x32, 0x01, 0x00, 0x00}));  // 306
    EXPECT_EQ(i32At(b, 4), 3);
    EXPECT_EQ(readLe32(b, kIf2 + 6), 1u);        // localPresent
    EXPECT_EQ(readLe32(b, kIf2 + 10), 5u);       // localClass
    EXPECT_EQ(b[kIf2 + 14 + 3], 0xAA);           // localMac
    EXPECT_EQ(readLe32(b, kIf2 + 45), 1u);       // remotes[0].inUse
    EXPECT_EQ(b[kIf2 + 45 + 4 + 5], 1);          // remotes[0].mac
    EXPECT_EQ(readLe32(b, kIf2 + 45 + 61), 4u);  // remotes[0].deviceClass
    EXPECT_EQ(b[kIf2 + 45 + 428 + 7], 0x40);     // 200.0 as a double: 40 69 00 ..
    EXPECT_EQ(b[kIf2 + 45 + 428 + 6], 0x69);
    EXPECT_EQ(i32At(b, kIf2 + 16431), 1);   // remoteCount
    EXPECT_EQ(b[kIf2 + 16435 + 15], 0x5A);  // localNetworkKey
    EXPECT_EQ(readText(b, kIf2 + 16451, 40), "Private Net");
    EXPECT_EQ(i32At(b, kCountAt), n);
    for (const int j : {0, n / 2, n - 1}) {
      if (j < 0 || j >= n) continue;
      const std::size_t at = recordAt(static_cast<std::size_t>(j));
      EXPECT_EQ(readText(b, at, 35), "Device " + std::to_string(j + 1));
      EXPECT_EQ(b[at + 35 + 5], j + 1);
      EXPECT_EQ(readText(b, at + 41, 56), "PASS-" + std::to_string(j));
      EXPECT_EQ(readText(b, at + 97, 52), "Net" + std::to_string(j));
      EXPECT_EQ(b[at + 149], static_cast<std::uint8_t>(0xA0 + j));
      EXPECT_EQ(b[at + 164], static_cast<std::uint8_t>(0xA0 + j));
      EXPECT_EQ(b[at + 165], 0);  // reserved
      EXPECT_EQ(readLe32(b, at + 190), 0x05060708u + j);
      EXPECT_EQ(readLe32(b, at + 194), 0x01020304u);
    }
    const std::size_t l = layoutAt(static_cast<std::size_t>(n));
    EXPECT_EQ(i32At(b, l + 4), 3);       // order[1]
    EXPECT_EQ(i32At(b, l + 16), 2);      // order[4]
    EXPECT_EQ(i32At(b, l + 20), 150);    // widths[0]
    EXPECT_EQ(i32At(b, l + 36), 111);    // widths[4]
    EXPECT_EQ(readLe32(b, l + 40), 0u);  // sort direction
    EXPECT_EQ(readLe32(b, l + 44), 2u);  // sort column
  }
}

TEST_F(DeviceDataTest, LoadThenSaveGivesTheSameBytes) {
  for (const int n : {1, 32, 33, 100}) {
    SCOPED_TRACE(n);
    const auto original = encodeDeviceData(sampleData(n));
    install(original);
    ASSERT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
    EXPECT_EQ(knownDevices().knownCount, n);
    EXPECT_EQ(transport::currentInterface(), 3u);
    EXPECT_EQ(api::interfaceDevices(2).localNetworkName, "Private Net");
    EXPECT_EQ(listSettings().sortColumn, 2u);
    std::filesystem::remove(path());
    ASSERT_EQ(SaveDeviceData(), SaveOutcome::Saved);
    EXPECT_EQ(readFile(path()), original);
    EXPECT_TRUE(notices.shown.empty());
  }
}

TEST_F(DeviceDataTest, ZeroCountFileKeepsTheTablesButWarns) {
  install(encodeDeviceData(sampleData(0)));
  knownDevices().knownCount = 1;
  knownDevices().records[0].mac = macOf(9);
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::CountOutOfRange);
  EXPECT_EQ(knownDevices().knownCount, 0);
  EXPECT_TRUE(isZeroMac(knownDevices().records[0].mac));
  EXPECT_EQ(api::interfaceDevices(2).localNetworkName, "Private Net");
  ASSERT_EQ(notices.shown.size(), 1u);
  EXPECT_EQ(notices.shown[0].text, "Unexpected condition reading database. Attempting to recover.");
  EXPECT_TRUE(noticeShown("Problem Occurred", platform::NoticeIcon::Warning));
}

TEST_F(DeviceDataTest, CountsOutsideOneToHundredAreRefused) {
  PlainListLayout list;
  setListLayout(&list);
  for (const std::int32_t n : {-5, 101, 0x7FFFFFFF}) {
    SCOPED_TRACE(n);
    notices.clear();
    auto b = encodeDeviceData(sampleData(100));
    writeLe32(b, kCountAt, static_cast<std::uint32_t>(n));
    install(b);
    const int setsBefore = list.orderSets;
    EXPECT_EQ(LoadDeviceData(), LoadOutcome::CountOutOfRange);
    EXPECT_EQ(knownDevices().knownCount, 0);
    EXPECT_TRUE(noticeShown("Problem Occurred", platform::NoticeIcon::Warning));
    EXPECT_EQ(list.orderSets, setsBefore + 1);  // the stored layout is still applied
  }
}

TEST_F(DeviceDataTest, VersionBelow306ResetsAndAboveIsRead) {
  PlainListLayout list;
  setListLayout(&list);
  auto b = encodeDeviceData(sampleData(2));
  writeLe32(b, 0, 305);
  install(b);
  knownDevices().knownCount = 1;
  knownDevices().records[0].mac = macOf(7);
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::OldVersion);
  EXPECT_EQ(knownDevices().knownCount, 0);
  EXPECT_FALSE(api::interfaceDevices(2).localPresent);
  EXPECT_EQ(api::interfaceDevices(5).localNetworkName, "HomePlugAV");
  ASSERT_EQ(notices.shown.size(), 1u);
  EXPECT_EQ(notices.shown[0].text, "Unexpected condition reading database. Attempting to recover.");
  EXPECT_TRUE(noticeShown("Attention!", platform::NoticeIcon::Warning));
  EXPECT_EQ(list.orderSets, 0);
  EXPECT_EQ(readFile(path()), b);  // left for the next save to replace

  writeLe32(b, 0, 307);
  install(b);
  notices.clear();
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
  EXPECT_EQ(knownDevices().knownCount, 2);
  EXPECT_TRUE(notices.shown.empty());
}

TEST_F(DeviceDataTest, CurrentInterfaceIsHeldToTheTable) {
  const std::pair<std::int32_t, std::uint32_t> cases[] = {
      {9, 7}, {8, 7}, {-1, 0}, {INT32_MIN, 0}, {5, 5}};
  for (const auto& [stored, loaded] : cases) {
    auto b = encodeDeviceData(sampleData(1));
    writeLe32(b, 4, static_cast<std::uint32_t>(stored));
    install(b);
    EXPECT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
    EXPECT_EQ(transport::currentInterface(), loaded) << stored;
  }
}

TEST_F(DeviceDataTest, CutFileKeepsWhatCameBeforeTheCutAndIsMovedAside) {
  const int n = 3;
  const auto whole = encodeDeviceData(sampleData(n));
  std::vector<std::size_t> cuts{0, 2, 4, 6, 8, 8 + 100, kCountAt, kCountAt + 2, recordAt(0)};
  for (int i = 1; i <= 8; ++i) cuts.push_back(8 + 16491 * static_cast<std::size_t>(i) - 1);
  for (int j = 0; j < n; ++j) {
    cuts.push_back(recordAt(j) + 197);
    cuts.push_back(recordAt(j + 1));
  }
  for (std::size_t k = 0; k < 48; k += 4) cuts.push_back(layoutAt(n) + k + 2);
  for (std::size_t k = 4; k < 48; k += 4) cuts.push_back(layoutAt(n) + k);

  for (const std::size_t cut : cuts) {
    SCOPED_TRACE(cut);
    api::ResetDeviceTable();
    ResetKnownDevices();
    ResetListSettings();
    transport::setCurrentInterface(1);
    api::interfaceDevices(7).localFirmware = "in memory";
    listSettings().sortColumn = 4;
    install(std::vector<std::uint8_t>(whole.begin(), whole.begin() + cut));
    writeFile(path() + ".damaged", std::string("older damage"));

    EXPECT_EQ(LoadDeviceData(), LoadOutcome::Damaged);
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_FALSE(exists(path()));
    EXPECT_EQ(readFile(path() + ".damaged").size(), cut);

    EXPECT_EQ(transport::currentInterface(), cut >= 8 ? 3u : 1u);
    const bool if2Read = cut >= kIf2 + 16491, if7Read = cut >= kCountAt;
    EXPECT_EQ(api::interfaceDevices(2).localPresent, if2Read);
    EXPECT_EQ(api::interfaceDevices(7).localFirmware, if7Read ? "" : "in memory");
    const int recordsRead =
        cut < recordAt(0) ? 0
                          : static_cast<int>(std::min<std::size_t>((cut - recordAt(0)) / 198, n));
    EXPECT_EQ(knownDevices().knownCount, recordsRead);
    if (recordsRead > 0) {
      EXPECT_EQ(knownDevices().records[recordsRead - 1].mac, macOf(recordsRead));
    }
    EXPECT_TRUE(isZeroMac(knownDevices().records[recordsRead].mac));
    EXPECT_EQ(listSettings().sortColumn, cut >= layoutAt(n) + 48 ? 2u : 4u);
    EXPECT_EQ(listSettings().columnOrder[1], cut >= layoutAt(n) + 20 ? 3 : 4);
  }
}

TEST_F(DeviceDataTest, LongFileIsReadUpToItsLayout) {
  auto b = encodeDeviceData(sampleData(2));
  b.resize(b.size() + 5000, 0xEE);
  install(b);
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
  EXPECT_EQ(knownDevices().knownCount, 2);
  EXPECT_EQ(listSettings().sortColumn, 2u);
}

TEST_F(DeviceDataTest, HostileFieldsAreHeldToTheirRanges) {
  auto b = encodeDeviceData(sampleData(1));
  // Texts without terminators.
  std::memset(&b[recordAt(0)], 'N', 35);
  std::memset(&b[recordAt(0) + 41], 'P', 56);
  std::memset(&b[recordAt(0) + 97], 'W', 52);
  std::memset(&b[kIf2 + 16451], 'L', 40);
  writeLe32(b, kIf2 + 10, 77);               // local class
  writeLe32(b, kIf2 + 45 + 61, 0xFFFFFFFF);  // remote class
  writeLe32(b, layoutAt(1) + 40, 2);         // sort direction
  writeLe32(b, layoutAt(1) + 44, 5);         // sort column
  install(b);
  ASSERT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
  const KnownDevice& r = knownDevices().records[0];
  EXPECT_EQ(r.name.view(), std::string(34, 'N'));
  EXPECT_EQ(r.password.view(), std::string(55, 'P'));
  EXPECT_EQ(r.networkName.view(), std::string(51, 'W'));
  EXPECT_EQ(api::interfaceDevices(2).localNetworkName.view(), std::string(39, 'L'));
  EXPECT_EQ(api::interfaceDevices(2).localClass, api::DeviceClass::Unknown);
  EXPECT_EQ(api::interfaceDevices(2).remotes[0].deviceClass, api::DeviceClass::Unknown);
  EXPECT_EQ(listSettings().sortDirection, 1u);
  EXPECT_EQ(listSettings().sortColumn, 1u);
}

TEST_F(DeviceDataTest, StoredColumnOrderMustFitTheList) {
  struct Case {
    int columns;
    ColumnArray stored;
    ColumnArray applied;
  };
  const Case cases[] = {
      {5, {0, 3, 1, 4, 2}, {0, 3, 1, 4, 2}},
      {5, {0, 0, 1, 2, 3}, {0, 4, 3, 2, 1}},  // repeated column
      {5, {0, 1, 2, 3, 5}, {0, 4, 3, 2, 1}},  // no such column
      {4, {1, 0, 3, 2, 4}, {1, 0, 3, 2, 4}},
      {4, {0, 4, 2, 1, 3}, {0, 3, 2, 1, 4}},  // column 4 is not there
      {3, {-1, 0, 1, 2, 3}, {0, 2, 1, 3, 4}},
  };
  for (const Case& c : cases) {
    PlainListLayout list(c.columns);
    list.widths = {1, 2, 3, 4, 5};
    setListLayout(&list);
    DeviceData d = sampleData(1);
    d.layout.columnOrder = c.stored;
    d.layout.columnWidths = {150, -4, 9000, 81, 111};
    install(encodeDeviceData(d));
    ASSERT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
    EXPECT_EQ(list.order, c.applied);
    EXPECT_EQ(list.widths[0], 150);
    EXPECT_EQ(list.widths[1], 2);  // negative: not applied
    EXPECT_EQ(list.widths[2], 3);  // wider than any screen: not applied
    setListLayout(nullptr);
  }
}

TEST_F(DeviceDataTest, SaveReadsTheLayoutBackFromTheList) {
  PlainListLayout list(4);
  setListLayout(&list);
  list.order = {3, 0, 1, 2, 0};
  list.widths = {10, 20, 30, 40, 50};
  knownDevices().knownCount = 1;
  knownDevices().records[0].mac = macOf(1);
  ASSERT_EQ(SaveDeviceData(), SaveOutcome::Saved);
  const auto b = readFile(path());
  const std::size_t l = layoutAt(1);
  EXPECT_EQ(i32At(b, l), 3);
  EXPECT_EQ(i32At(b, l + 12), 2);
  EXPECT_EQ(i32At(b, l + 16), 4);  // the missing column's place
  EXPECT_EQ(i32At(b, l + 32), 40);
  EXPECT_EQ(i32At(b, l + 36), 0);  // a column not present has no width
}

TEST_F(DeviceDataTest, MissingFileResetsToTheEmptyState) {
  PlainListLayout list;
  setListLayout(&list);
  knownDevices().knownCount = 1;
  knownDevices().records[0].mac = macOf(1);
  api::interfaceDevices(4).localPresent = true;
  transport::setCurrentInterface(6);
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::Missing);
  EXPECT_EQ(knownDevices().knownCount, 0);
  EXPECT_FALSE(api::interfaceDevices(4).localPresent);
  for (int i = 0; i < api::kInterfaceCount; ++i)
    EXPECT_EQ(api::interfaceDevices(i).localNetworkName, "HomePlugAV");
  EXPECT_EQ(transport::currentInterface(), 0u);
  EXPECT_EQ(backend.opens, 1);
  EXPECT_EQ(list.orderSets, 1);
  EXPECT_TRUE(notices.shown.empty());
  EXPECT_FALSE(exists(path()));
}

TEST_F(DeviceDataTest, EmptyTableIsNeverWritten) {
  EXPECT_EQ(SaveDeviceData(), SaveOutcome::NothingToSave);
  EXPECT_FALSE(exists(path()));
  const auto old = encodeDeviceData(sampleData(4));
  install(old);
  EXPECT_EQ(SaveDeviceData(), SaveOutcome::NothingToSave);
  EXPECT_EQ(readFile(path()), old);
}

TEST_F(DeviceDataTest, SavedFileIsOwnerOnly) {
  const mode_t oldMask = ::umask(0);
  knownDevices().knownCount = 1;
  knownDevices().records[0].mac = macOf(1);
  knownDevices().records[0].password = "SECRET-PASSWORD";
  EXPECT_EQ(SaveDeviceData(), SaveOutcome::Saved);
  EXPECT_EQ(permissionsOf(path()), 0600u);
  ::chmod(path().c_str(), 0777);
  EXPECT_EQ(SaveDeviceData(), SaveOutcome::Saved);
  EXPECT_EQ(permissionsOf(path()), 0600u);
  ::chmod(path().c_str(), 0666);  // as an older version left it
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
  EXPECT_EQ(permissionsOf(path()), 0600u);
  ::umask(oldMask);
}

class FailAt final : public ReplaceFaults {
 public:
  explicit FailAt(ReplaceStep s) : step(s) {}
  bool allow(ReplaceStep s) override { return s != step; }
  ReplaceStep step;
};

TEST_F(DeviceDataTest, FailedSaveLeavesThePreviousFileWhole) {
  const auto old = encodeDeviceData(sampleData(5));
  for (const ReplaceStep step : {ReplaceStep::Open, ReplaceStep::Write, ReplaceStep::Sync,
                                 ReplaceStep::Close, ReplaceStep::Rename}) {
    SCOPED_TRACE(static_cast<int>(step));
    install(old);
    ResetKnownDevices();
    knownDevices().knownCount = 1;
    knownDevices().records[0].mac = macOf(42);
    notices.clear();
    FailAt fault(step);
    setReplaceFaults(&fault);
    const SaveOutcome r = SaveDeviceData();
    setReplaceFaults(nullptr);
    EXPECT_EQ(readFile(path()), old);
    EXPECT_TRUE(strayFiles().empty());
    if (step == ReplaceStep::Open) {
      EXPECT_EQ(r, SaveOutcome::NotOpened);
      EXPECT_TRUE(notices.shown.empty());
    } else {
      EXPECT_EQ(r, SaveOutcome::Failed);
      ASSERT_EQ(notices.shown.size(), 1u);
      EXPECT_EQ(notices.shown[0].text,
                "Unexpected condition writing database. Attempting to recover.");
      EXPECT_TRUE(noticeShown("Problem Occurred", platform::NoticeIcon::Stop));
    }
  }
}

TEST_F(DeviceDataTest, SaveIntoAMissingFolderIsSilent) {
  setDataDirectory(scratch.file("not-there"));
  knownDevices().knownCount = 1;
  knownDevices().records[0].mac = macOf(1);
  EXPECT_EQ(SaveDeviceData(), SaveOutcome::NotOpened);
  EXPECT_TRUE(notices.shown.empty());
  setDataDirectory("");
  EXPECT_EQ(SaveDeviceData(), SaveOutcome::NotOpened);
}

TEST_F(DeviceDataTest, NegativeCountIsWrittenAsNone) {
  knownDevices().knownCount = -3;
  EXPECT_EQ(SaveDeviceData(), SaveOutcome::Saved);
  const auto b = readFile(path());
  ASSERT_EQ(b.size(), 131988u);
  EXPECT_EQ(i32At(b, kCountAt), 0);
  EXPECT_TRUE(noticeShown("Problem Occurred", platform::NoticeIcon::Stop));
}

TEST_F(DeviceDataTest, FileIsNamedAfterTheProduct) {
  EXPECT_EQ(dataFilePath(), scratch.path() + "/Quorrel Utility.data");
  preferences().productName = "Acme/../Net";
  EXPECT_EQ(dataFilePath(), scratch.path() + "/Acme_.._Net.data");
}

}  // namespace
}  // namespace quorrel::persistence::testing
