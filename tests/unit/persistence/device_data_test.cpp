// The device data file's bytes, damaged files and all-or-nothing save; known devices; the
// preferences and vendor list; the data folder and its fallback.
#include <set>
#include <tuple>

#include "persistence/device_data.h"
#include "persistence/locations.h"
#include "persistence_fixture.h"

namespace quorrel::persistence::testing {
namespace {

// Hand-computed from the layout: 8 bytes, then 8 interfaces of 16491, the count, the records.
constexpr std::size_t kIf2 = 8 + 2 * 16491;
constexpr std::size_t kCountAt = 131936;
constexpr std::size_t recordAt(std::size_t j) {
  return 131940 + 198 * j;  // recordAt(n) is where the layout starts
}

using Bytes = std::vector<std::uint8_t>;
Bytes text(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.push_back(0);
  return b;
}

DeviceData sampleData(int n) {
  DeviceData d;
  d.currentInterface = 3;
  d.devices[2].localPresent = true;  // the interface records' own bytes are tested in api
  d.devices[2].localNetworkName = "Private Net";
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
  d.layout = {{0, 3, 1, 4, 2}, {150, 121, 71, 81, 111}, 0, 2};
  return d;
}

const std::string kReadProblem = "Unexpected condition reading database. Attempting to recover.";
const std::string kWriteProblem = "Unexpected condition writing database. Attempting to recover.";

class DeviceDataTest : public PersistenceTest {
 protected:
  std::string path() const { return file("Quorrel Utility.data"); }
  void install(const Bytes& bytes) { writeFile(path(), bytes); }
  void oneKnown() {
    knownDevices().knownCount = 1;
    knownDevices().records[0].mac = macOf(1);
  }
  // Every notice shown, as text, caption and icon.
  std::string shown() const {
    std::string out;
    for (const auto& n : notices.shown)
      out += n.text + "|" + n.caption + "|" +
             (n.icon == platform::NoticeIcon::Stop ? "stop;" : "warn;");
    return out;
  }
};

TEST_F(DeviceDataTest, BytesAtTheirOffsetsAndLoadThenSaveGivesTheSameBytes) {
  for (const int n : {0, 1, 32, 100}) {
    SCOPED_TRACE(n);
    const Bytes b = encodeDeviceData(sampleData(n));
    ASSERT_EQ(b.size(), 131988u + 198u * n);
    std::vector<std::pair<std::size_t, Bytes>> fields = {
        {0, {0x32, 0x01, 0, 0, 3, 0, 0, 0}},  // version 306, current interface
        {kIf2 + 6, {1, 0, 0, 0}},
        {kIf2 + 16451, text("Private Net")},
        {kCountAt, {std::uint8_t(n), 0, 0, 0}},  // n is at most 100
        {recordAt(n),
         {0,   0, 0, 0, 3,  0, 0, 0, 1,  0, 0, 0, 4,   0, 0, 0, 2, 0, 0, 0, 150, 0, 0, 0,
          121, 0, 0, 0, 71, 0, 0, 0, 81, 0, 0, 0, 111, 0, 0, 0, 0, 0, 0, 0, 2,   0, 0, 0}},
    };
    for (const int j : {0, n / 2, n - 1}) {
      if (j < 0 || j >= n) continue;
      const std::size_t at = recordAt(static_cast<std::size_t>(j));
      const auto k = static_cast<std::uint8_t>(0xA0 + j);
      fields.push_back({at, text("Device " + std::to_string(j + 1))});
      fields.push_back({at + 35, {0x00, 0xB0, 0x52, 0x10, 0x20, std::uint8_t(j + 1)}});
      fields.push_back({at + 41, text("PASS-" + std::to_string(j))});
      fields.push_back({at + 97, text("Net" + std::to_string(j))});
      fields.push_back({at + 149, {k, k, k, k, k, k, k, k, k, k, k, k, k, k, k, k, 0}});
      fields.push_back({at + 190, {std::uint8_t(8 + j), 7, 6, 5, 4, 3, 2, 1}});  // last seen
    }
    for (const auto& [at, want] : fields)
      EXPECT_EQ(Bytes(b.begin() + at, b.begin() + at + want.size()), want) << "at " << at;

    install(b);  // none known is a table like any other
    ASSERT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
    std::filesystem::remove(path());
    ASSERT_EQ(SaveDeviceData(), SaveOutcome::Saved);
    EXPECT_EQ(readFile(path()), b);
    EXPECT_TRUE(notices.shown.empty());
  }
}

TEST_F(DeviceDataTest, CountsOutsideZeroToHundredDropTheRecordsOnlyAndOlderVersionsReset) {
  // With the count, a current interface out of range: it reads as the nearest of 0..7.
  const std::tuple<std::int32_t, std::int32_t, std::uint32_t> rows[] = {
      {-1, -1, 0}, {-5, 8, 7}, {101, INT32_MIN, 0}, {0x7FFFFFFF, 5, 5}};
  for (const auto& [n, stored, current] : rows) {
    SCOPED_TRACE(n);
    notices.clear();
    oneKnown();
    auto b = encodeDeviceData(sampleData(0));
    writeLe32(b, kCountAt, static_cast<std::uint32_t>(n));
    writeLe32(b, data_image::kCurrentInterface, static_cast<std::uint32_t>(stored));
    install(b);
    resetListSettings();
    EXPECT_EQ(LoadDeviceData(), LoadOutcome::CountOutOfRange);
    // The list's own layout is not reached and stays.
    EXPECT_EQ((std::tuple{knownDevices().knownCount, knownDevices().records[0].mac,
                          api::interfaceDevices(2).localNetworkName.str(), shown(), listSettings(),
                          transport::currentInterface()}),
              (std::tuple{0, kNoMac, "Private Net", kReadProblem + "|Problem Occurred|warn;",
                          ListSettings{}, current}));
  }

  // A version below 306 resets and is left on disk; a later one is read.
  notices.clear();
  auto b = encodeDeviceData(sampleData(2));
  writeLe32(b, 0, 305);
  install(b);
  oneKnown();
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::OldVersion);
  EXPECT_EQ(knownDevices().knownCount, 0);
  EXPECT_EQ(api::interfaceDevices(5).localNetworkName, "HomePlugAV");
  EXPECT_EQ(shown(), kReadProblem + "|Attention!|warn;");
  EXPECT_EQ(readFile(path()), b);
  writeLe32(b, 0, 307);
  install(b);
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
  EXPECT_EQ(knownDevices().knownCount, 2);
}

TEST_F(DeviceDataTest, CutFileKeepsWhatCameBeforeTheCutAndIsMovedAside) {
  const std::size_t n = 3;
  const auto whole = encodeDeviceData(sampleData(n));
  std::vector<std::size_t> cuts{0, 2, 4, 6, 8, 8 + 100, kCountAt, kCountAt + 2};
  for (std::size_t i = 1; i <= 8; ++i) cuts.push_back(8 + 16491 * i - 1);
  for (std::size_t j = 0; j < n; ++j) cuts.insert(cuts.end(), {recordAt(j), recordAt(j) + 197});
  for (std::size_t k = 0; k < 48; k += 2) cuts.push_back(recordAt(n) + k);

  for (const std::size_t cut : cuts) {
    SCOPED_TRACE(cut);
    resetKnownDevices();
    resetListSettings();
    api::resetDeviceTable();
    transport::setCurrentInterface(1);
    install(Bytes(whole.begin(), whole.begin() + cut));
    writeFile(path() + ".damaged", std::string("older damage"));
    EXPECT_EQ(LoadDeviceData(), LoadOutcome::Damaged);
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(path()));
    EXPECT_EQ(readFile(path() + ".damaged").size(), cut);

    EXPECT_EQ(transport::currentInterface(), cut >= 8 ? 3u : 1u);
    EXPECT_EQ(api::interfaceDevices(2).localPresent, cut >= kIf2 + 16491);
    const std::size_t records = cut < recordAt(0) ? 0 : std::min((cut - recordAt(0)) / 198, n);
    EXPECT_EQ(knownDevices().knownCount, static_cast<int>(records));
    EXPECT_TRUE(records == 0 || knownDevices().records[records - 1].mac == macOf(records));
    EXPECT_TRUE(isZeroMac(knownDevices().records[records].mac));
    EXPECT_EQ(listSettings().columnOrder[1], cut >= recordAt(n) + 20 ? 3 : 4);
    EXPECT_EQ(listSettings().sortColumn, cut >= recordAt(n) + 48 ? 2u : 1u);
  }
}

TEST_F(DeviceDataTest, StoredColumnOrderMustFitTheList) {
  const std::tuple<int, ColumnArray, ColumnArray> cases[] = {
      // columns, stored, applied
      {5, {0, 3, 1, 4, 2}, {0, 3, 1, 4, 2}},
      {5, {0, 0, 1, 2, 3}, {0, 4, 3, 2, 1}},  // repeated column
      {5, {0, 1, 2, 3, 5}, {0, 4, 3, 2, 1}},  // no such column
      {4, {0, 4, 2, 1, 3}, {0, 3, 2, 1, 4}},  // column 4 is not there
      {3, {-1, 0, 1, 2, 3}, {0, 2, 1, 3, 4}},
  };
  for (const auto& [columns, stored, applied] : cases) {
    PlainListLayout list(columns);
    list.widths = {1, 2, 3, 4, 5};
    DeviceData d = sampleData(1);
    d.layout.columnOrder = stored;
    d.layout.columnWidths = {150, -4, 9000, 81, 111};  // the two out of range are not applied
    install(encodeDeviceData(d));
    ASSERT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
    list.show(columnsToShow(listSettings(), columns));
    EXPECT_EQ(list.order, applied);
    EXPECT_EQ((std::array{list.widths[0], list.widths[1], list.widths[2]}),
              (std::array{150, 2, 3}));
    // Saved as read back from the list: missing columns in the last places, without width.
    listSettings() = withShownColumns(listSettings(), list.shown());
    ASSERT_EQ(SaveDeviceData(), SaveOutcome::Saved);
    const auto b = readFile(path());
    for (std::size_t k = 0; k < 5; ++k) {
      EXPECT_EQ(readLe32(b, recordAt(1) + 4 * k), static_cast<std::uint32_t>(applied[k]));
      EXPECT_EQ(readLe32(b, recordAt(1) + 20 + 4 * k),
                static_cast<std::uint32_t>(static_cast<int>(k) < columns ? list.widths[k] : 0));
    }
  }
}

// An empty table replaces only a file this run read whole or wrote, never one it could not
// read; a saved or loaded file is owner-only and named after the product.
TEST_F(DeviceDataTest, SavedAndLoadedFilesAreOwnerOnlyAndAFailedSaveLeavesTheOldOneWhole) {
  const auto old = encodeDeviceData(sampleData(4));
  auto oldVersion = old, badCount = old;
  writeLe32(oldVersion, 0, 305);
  writeLe32(badCount, kCountAt, 101);
  const std::pair<Bytes, bool> unreadFiles[] = {{old, false}, {oldVersion, true}, {badCount, true}};
  for (const auto& [unread, load] : unreadFiles) {
    resetKnownDevices();
    install(unread);
    if (load) LoadDeviceData();
    EXPECT_EQ(SaveDeviceData(), SaveOutcome::NothingToSave);
    EXPECT_EQ(readFile(path()), unread);
  }
  install(old);
  ASSERT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
  for (std::uint8_t j = 1; j <= 4; ++j) RemoveKnownByMac(macOf(j));  // deleted one by one
  EXPECT_EQ(SaveDeviceData(), SaveOutcome::Saved);
  EXPECT_EQ(LoadDeviceData(), LoadOutcome::Loaded);
  EXPECT_EQ(knownDevices().knownCount, 0);
  const mode_t oldMask = ::umask(0);
  oneKnown();
  // Saved anew, saved over a file open to all, loaded as an older version left it.
  for (const auto& [mode, save] : {std::pair{0u, true}, {0777u, true}, {0666u, false}}) {
    if (mode != 0) ::chmod(path().c_str(), mode);
    EXPECT_TRUE(save ? SaveDeviceData() == SaveOutcome::Saved
                     : LoadDeviceData() == LoadOutcome::Loaded);
    EXPECT_EQ(permissionsOf(path()), 0600u) << mode;
  }
  ::umask(oldMask);

  // A save failed at any step leaves the previous file whole.
  for (const ReplaceStep step : {ReplaceStep::Open, ReplaceStep::Write, ReplaceStep::Sync,
                                 ReplaceStep::Close, ReplaceStep::Rename}) {
    SCOPED_TRACE(static_cast<int>(step));
    install(old);
    oneKnown();
    notices.clear();
    FailAt fault(step);
    setReplaceFaults(&fault);
    const SaveOutcome r = SaveDeviceData();
    setReplaceFaults(nullptr);
    EXPECT_EQ(readFile(path()), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // nothing stray
    const bool open = step == ReplaceStep::Open;  // quietly, as for a folder that is not there
    EXPECT_EQ(r, open ? SaveOutcome::NotOpened : SaveOutcome::Failed);
    EXPECT_EQ(shown(), open ? "" : kWriteProblem + "|Problem Occurred|stop;");
  }
  EXPECT_EQ(dataFilePath(), dir + "/Quorrel Utility.data");
  preferences().productName = "Acme/../Net";
  EXPECT_EQ(dataFilePath(), dir + "/Acme_.._Net.data");
}

// Lookups, removals and the bound of the known-device table.
class KnownDevicesTest : public PersistenceTest {
 protected:
  // Records 1..n named "Dev k", MAC macOf(k), seen at time 1000 + k.
  void fill(int n) {
    for (int k = 1; k <= n; ++k) {
      ASSERT_EQ(appendKnownDevice(macOf(static_cast<std::uint8_t>(k)), "Dev " + std::to_string(k)),
                k);
      knownDevices().records[k - 1].lastSeen = 1000 + k;
    }
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (int k = 1; k <= knownDevices().knownCount; ++k) out.push_back(knownAt(k)->name.str());
    return out;
  }
};

TEST_F(KnownDevicesTest, LookupsSearchOnlyTheCountedRecordsAndRemovalsDropRecordAndEntry) {
  fill(3);
  knownDevices().records[5].mac = macOf(6);  // left behind past the count
  EXPECT_EQ(FindKnownByMac(macOf(6)), 0);
  EXPECT_EQ(knownAt(4), nullptr);

  const std::array<std::uint8_t, 16> key{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  knownDevices().records[0].networkKey = {1, 2, 3, 4, 5, 6, 7, 8, 0xFF};
  knownDevices().records[2].networkKey = key;
  knownDevices().records[2].networkName = std::string(51, 'x');
  api::NetworkName found;
  EXPECT_EQ(FindKnownByKey(key, "AV", &found), 3);  // a full match first
  EXPECT_EQ(found.view(), std::string(39, 'x'));    // 52-byte field into a 40-byte one
  EXPECT_EQ(FindKnownByKey(std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}, "Turbo"), 1);
  EXPECT_EQ(FindKnownByKey(std::array<std::uint8_t, 3>{9, 9, 9}, "AV"), 0);

  resetKnownDevices();
  fill(5);
  api::UpsertRemote(macOf(2));
  api::UpsertRemote(macOf(3));
  api::UpsertRemote(macOf(7));
  EXPECT_EQ(RemoveKnownDevice(2), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"Dev 1", "Dev 3", "Dev 4", "Dev 5"}));
  EXPECT_TRUE(isZeroMac(knownDevices().records[4].mac));
  EXPECT_EQ(api::currentDevices().remotes[0].mac, macOf(3));  // moved up
  for (const int bad : {0, -1, 5, 101}) EXPECT_EQ(RemoveKnownDevice(bad), 0) << bad;

  // By address: with no record the remote entry still goes.
  EXPECT_EQ(RemoveKnownByMac(macOf(1)), 1);
  EXPECT_EQ(RemoveKnownByMac(macOf(7)), 0);
  EXPECT_EQ(api::FindRemote(macOf(7)), nullptr);

  knownDevices().records[1].mac = kNoMac;
  EXPECT_EQ(PurgeUnaddressedKnown(), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"Dev 3", "Dev 5"}));
  EXPECT_TRUE(knownDevices().records[2].name.empty());
}

TEST_F(KnownDevicesTest, FullTableGivesTheOldestSeenRecordWithoutPasswordPlace) {
  fill(kKnownCapacity);
  knownDevices().records[41].lastSeen = 5;  // "Dev 42" was seen longest ago but has a password
  knownDevices().records[41].password = "Not PL3D-9QVE";
  knownDevices().records[70].lastSeen = 6;
  EXPECT_EQ(appendKnownDevice(macOf(0xEE, 0x02), "Newcomer"), kKnownCapacity);
  EXPECT_EQ(FindKnownByName("Dev 71"), 0);
  EXPECT_EQ(FindKnownByName("Dev 42"), 42);
  EXPECT_GT(knownAt(kKnownCapacity)->lastSeen, 1000 + kKnownCapacity);  // stamped now
  for (int i = 0; i < 250; ++i) appendKnownDevice(macOf(static_cast<std::uint8_t>(i), 0x06), "x");
  EXPECT_EQ(knownDevices().knownCount, kKnownCapacity);
  EXPECT_EQ(knownAt(1)->name, "Dev 42");  // outlasts every newcomer
  EXPECT_EQ(appendKnownDevice(kNoMac, "none"), 0);

  // Every record holds a password: the newcomer is not kept and nothing is lost.
  for (KnownDevice& r : knownDevices().records) r.password = "ABCD-EFGH";
  const KnownDeviceTable before = knownDevices();
  EXPECT_EQ(appendKnownDevice(macOf(0xEF, 0x02), "Late"), 0);
  EXPECT_EQ(knownDevices().records, before.records);
}

using ResourcesTest = PersistenceTest;

// A record whose every field differs from both zero and its default.
std::vector<std::uint8_t> fullPreferences() {
  std::vector<std::uint8_t> b(289, 0);
  writeLe32(b, 0, 45);
  writeLe16(b, 4, 3);
  writeLe32(b, 6, 0x00112233);
  for (std::size_t at = 10; at <= 32; at += 2)
    writeLe16(b, at, static_cast<std::uint16_t>(at + 100));
  writeText(b, 34, 64, "https://reseller.example/");
  writeText(b, 98, 64, "Reseller Tool");
  writeBytes(b, 162, std::array<std::uint8_t, 3>{0x00, 0x1F, 0xAB});
  writeText(b, 165, 24, "Reseller_Inc");
  writeText(b, 189, 100, "Notice line");
  return b;
}

TEST_F(ResourcesTest, EveryPreferencesLengthTakesTheWholeFieldsItHoldsAndAMissingFileDefaults) {
  const auto whole = fullPreferences();
  for (std::size_t len = 0; len <= 289; ++len) {
    SCOPED_TRACE(len);
    const Preferences p = decodePreferences(ByteSpan(whole).first(len));
    // A zero interval becomes 1.
    EXPECT_EQ((std::vector<int>{p.scanInterval, p.qualityStyle, p.listColour, p.iconSize,
                                p.autoscanEnabled, p.showUpgradeButton, p.oemOui[2]}),
              (std::vector<int>{len >= 4 ? 45 : 1, len >= 6 ? 3 : 0, len >= 10 ? 0x00112233 : 0,
                                len >= 12 ? 110 : 0, len >= 18 ? 116 : 0, len >= 34 ? 132 : 0,
                                len >= 165 ? 0xAB : 0}));
    EXPECT_EQ((std::vector{p.webAddress.str(), p.productName.str(), p.oemVendorName.str(),
                           p.noticeText.str()}),
              (std::vector<std::string>{len >= 98 ? "https://reseller.example/" : "",
                                        len >= 162 ? "Reseller Tool" : "Quorrel Utility",
                                        len >= 189 ? "Reseller_Inc" : "",
                                        len >= 289 ? "Notice line" : ""}));
  }
  // Bytes past the record are ignored; texts without a terminator end inside their fields.
  auto b = whole;
  b.resize(100000, 'Z');
  EXPECT_EQ(decodePreferences(b).noticeText, "Notice line");
  const Preferences z = decodePreferences(std::vector<std::uint8_t>(289, 'Z'));
  EXPECT_EQ((std::vector{z.webAddress.size(), z.productName.size(), z.oemVendorName.size(),
                         z.noticeText.size()}),
            (std::vector<std::size_t>{63, 63, 23, 99}));
  // The scan takes the interval as a signed 16-bit count.
  for (const auto& [stored, loaded] :
       {std::pair{-5, 1}, {INT32_MIN, 1}, {32767, 32767}, {65537, 32767}, {INT32_MAX, 32767}}) {
    b = whole;
    writeLe32(b, 0, static_cast<std::uint32_t>(stored));
    EXPECT_EQ(decodePreferences(b).scanInterval, loaded) << stored;
  }

  listSettings().sortColumn = 4;
  EXPECT_EQ(LoadPreferences(), PreferencesSource::Defaults);
  EXPECT_FALSE(std::filesystem::exists(file("OEMPrefs.dat")));  // and not created
  EXPECT_EQ(preferences(), Preferences{});
  EXPECT_EQ(listSettings().sortColumn, 1u);

  writeFile(file("OEMPrefs.dat"), fullPreferences());
  EXPECT_EQ(LoadPreferences(), PreferencesSource::File);
  EXPECT_EQ(dataFileName(), "Reseller Tool.data");
  writeFile(file("OEMPrefs.dat"), std::string());
  EXPECT_EQ(LoadPreferences(), PreferencesSource::File);
  EXPECT_EQ(preferences().autoscanEnabled, 0);        // a present file's missing fields are zero
  EXPECT_EQ(dataFileName(), "Quorrel Utility.data");  // never ".data"

  std::filesystem::remove(file("OEMPrefs.dat"));
  std::filesystem::create_directory(file("OEMPrefs.dat"));
  EXPECT_EQ(LoadPreferences(), PreferencesSource::Defaults);
  ASSERT_EQ(::mkfifo(file("fifo.dat").c_str(), 0600), 0);
  EXPECT_EQ(loadPreferencesFrom(file("fifo.dat")), PreferencesSource::Defaults);  // no block
}

MacAddress ouiMac(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  return MacAddress{a, b, c, 1, 2, 3};
}

TEST_F(ResourcesTest, VendorNamesAreCutToElevenSortedAndReadUpToAMalformedLine) {
  writeFile(file("OUIList.txt"), std::string("FFFFFF\tLast\n"
                                             "00B052\tA_Very_Long_Vendor_Name\n"
                                             "800000\tMiddle\n"
                                             "7FFFFF\tBelow\n"));
  EXPECT_EQ(LoadVendorList(), 4u);
  const auto& e = vendorTable().entries;
  EXPECT_EQ(e[0].name.back(), '\0');
  EXPECT_EQ((std::vector{std::string(e[0].nameView()), std::string(e[3].nameView()),
                         VendorName(ouiMac(0x80, 0x00, 0x00)), VendorName(ouiMac(0x7F, 0xFF, 0xFF)),
                         VendorName(ouiMac(0x0A, 0x1B, 0x2D))}),
            (std::vector<std::string>{"A Very Long", "Last", "Middle", "Below", "Velmora"}));
  // The reseller's own range comes first.
  preferences().oemOui = {0x80, 0x00, 0x00};
  preferences().oemVendorName = "Own_Brand";
  EXPECT_EQ(VendorName(ouiMac(0x80, 0x00, 0x00)), "Own_Brand");

  std::filesystem::remove(file("OUIList.txt"));
  EXPECT_EQ(LoadVendorList(), 0u);
  EXPECT_EQ(VendorName(ouiMac(0xFF, 0xFF, 0xFF)), "Velmora");

  const std::pair<std::string, std::size_t> cases[] = {
      {"00B052\tOne\nnot a line\n00B053\tTwo\n", 1},
      {"00B052\tOne\n00B05\tShort\n", 1},
      {"00B052\tOne\n00B0G2\tBadHex\n", 1},
      {"00B052\n00B053\tTwo\n", 0},  // no name
      {"00B052One\n", 0},            // no separator
      {"00B052\tOne\r\n\r\n\n00B053\tTwo\r\n", 2},
      {"  00B052 \t One extra words\n00B053\tTwo", 2},
      {std::string("00B052\tOne\n00B053\tA\0B\n00B054\tThree\n", 35), 1},
  };
  for (const auto& [text, count] : cases)
    EXPECT_EQ(decodeVendorList(text).entries.size(), count) << text;
}

// A file system in memory that refuses what it is told to, as a read-only tree would.
class FakeDirectories final : public DirectoryOps {
 public:
  bool isDirectory(const std::string& p) override { return dirs.count(p) != 0; }
  bool makeDirectory(const std::string& p) override {
    if (refused.count(p) != 0 || !isDirectory(p.substr(0, p.find_last_of('/')))) return false;
    dirs.insert(p);
    return true;
  }
  bool makeDirectories(const std::string& p) override {
    if (refused.count(p) != 0) return false;
    for (std::size_t at = p.find('/', 1); at != std::string::npos; at = p.find('/', at + 1))
      dirs.insert(p.substr(0, at));
    dirs.insert(p);
    return true;
  }
  bool isWritable(const std::string& p) override { return readOnly.count(p) == 0; }

  std::set<std::string> dirs{"/home", "/home/u"};
  std::set<std::string> refused, readOnly;
};

const DataDirectoryRoots kRoots{"/home/u/.local/share", "/home/u"};
const std::string kPreferred = "/home/u/.local/share/quorrel-utility";
const std::string kFallback = "/home/u/.velmora_apps/quorrel-utility";

TEST_F(ResourcesTest, PreferredDataFolderIsMadeOrTakenElseTheFallbackWithItsNotice) {
  FakeDirectories fresh;
  EXPECT_EQ(ChooseDataDirectory(kRoots, fresh), kPreferred);
  EXPECT_TRUE(fresh.isDirectory("/home/u/.local") && fresh.isDirectory(kPreferred));
  FakeDirectories there;  // refusing to make what is already there
  there.dirs.insert({"/home/u/.local", kRoots.dataHome, kPreferred});
  there.refused = {kRoots.dataHome, kPreferred};
  EXPECT_EQ(ChooseDataDirectory(kRoots, there), kPreferred);
  EXPECT_TRUE(notices.shown.empty());

  // Each refusal leads to the fallback with its notice.
  const struct {
    const char* what;
    std::set<std::string> refused, readOnly;
  } cases[] = {
      {"data home cannot be made", {kRoots.dataHome}, {}},
      {"program folder cannot be made", {kPreferred}, {}},
      {"program folder read-only", {}, {kPreferred}},
      {"fallback cannot be made either", {kRoots.dataHome, "/home/u/.velmora_apps"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDirectories fs;
    fs.refused = c.refused;
    fs.readOnly = c.readOnly;
    notices.clear();
    EXPECT_EQ(ChooseDataDirectory(kRoots, fs, platform::NoticeOwner::MainPage), kFallback);
    EXPECT_EQ(fs.isDirectory(kFallback), c.refused.count("/home/u/.velmora_apps") == 0);
    ASSERT_EQ(notices.shown.size(), 1u);
    const auto& n = notices.shown[0];
    EXPECT_EQ(n.text, "Unable to create Quorrel Utility.data file at location: " + kPreferred +
                          ", Creating Quorrel Utility.data file at location: " + kFallback);
    EXPECT_EQ((std::tuple{n.caption, n.icon, n.owner}),
              (std::tuple{"Information", platform::NoticeIcon::Information,
                          platform::NoticeOwner::MainPage}));
  }

  // A real tree: a path below a regular file cannot be made, not even by root.
  notices.clear();
  writeFile(file("plain-file"), std::string("x"));
  const std::string chosen =
      ChooseDataDirectory({file("plain-file/share"), dir}, systemDirectoryOps());
  EXPECT_EQ(chosen, dir + "/.velmora_apps/quorrel-utility");
  EXPECT_EQ(notices.shown.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(chosen));
  EXPECT_EQ(permissionsOf(chosen), 0700u);

  EXPECT_EQ(ChooseDataDirectory({file("a/b/share"), dir}, systemDirectoryOps()),
            dir + "/a/b/share/quorrel-utility");
  EXPECT_EQ(notices.shown.size(), 1u);
}

}  // namespace
}  // namespace quorrel::persistence::testing
