// The resource folder's "OEMPrefs.dat" (fields at their offsets, short, long and odd files) and
// "OUIList.txt" (line format, bad lines, long names, order, lookup); the data folder's order of
// attempts and its fallback.
#include <set>

#include "persistence/locations.h"
#include "persistence_fixture.h"

namespace quorrel::persistence::testing {
namespace {

class ResourcesTest : public PersistenceTest {
 protected:
  void SetUp() override {
    PersistenceTest::SetUp();
    setResourceDirectory(dir);
  }
};

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
    EXPECT_EQ(p.scanInterval, len >= 4 ? 45 : 1);  // a zero interval becomes 1
    EXPECT_EQ(p.qualityStyle, len >= 6 ? 3 : 0);
    EXPECT_EQ(p.listColour, len >= 10 ? 0x00112233 : 0);
    EXPECT_EQ(p.iconSize, len >= 12 ? 110 : 0);
    EXPECT_EQ(p.autoscanEnabled, len >= 18 ? 116 : 0);
    EXPECT_EQ(p.showUpgradeButton, len >= 34 ? 132 : 0);
    EXPECT_EQ(p.webAddress, len >= 98 ? "https://reseller.example/" : "");
    EXPECT_EQ(p.productName, len >= 162 ? "Reseller Tool" : "Quorrel Utility");
    EXPECT_EQ(p.oemOui[2], len >= 165 ? 0xAB : 0);
    EXPECT_EQ(p.oemVendorName, len >= 189 ? "Reseller_Inc" : "");
    EXPECT_EQ(p.noticeText, len >= 289 ? "Notice line" : "");
  }
  // Bytes past the record are ignored; texts without a terminator end inside their fields.
  auto b = whole;
  b.resize(100000, 'Z');
  EXPECT_EQ(decodePreferences(b).noticeText, "Notice line");
  const Preferences z = decodePreferences(std::vector<std::uint8_t>(289, 'Z'));
  EXPECT_EQ(z.webAddress.view(), std::string(63, 'Z'));
  EXPECT_EQ(z.productName.view(), std::string(63, 'Z'));
  EXPECT_EQ(z.oemVendorName.view(), std::string(23, 'Z'));
  EXPECT_EQ(z.noticeText.view(), std::string(99, 'Z'));
  // The scan takes the interval as a signed 16-bit count.
  for (const auto& [stored, loaded] :
       {std::pair{-5, 1}, {INT32_MIN, 1}, {32767, 32767}, {65537, 32767}, {INT32_MAX, 32767}}) {
    b = whole;
    writeLe32(b, 0, static_cast<std::uint32_t>(stored));
    EXPECT_EQ(decodePreferences(b).scanInterval, loaded) << stored;
  }

  // The file missing, empty, or no file.
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
  EXPECT_EQ(e[0].nameView(), "A Very Long");
  EXPECT_EQ(e[0].name.back(), '\0');
  EXPECT_EQ(e[3].nameView(), "Last");
  EXPECT_EQ(VendorName(ouiMac(0x80, 0x00, 0x00)), "Middle");
  EXPECT_EQ(VendorName(ouiMac(0x7F, 0xFF, 0xFF)), "Below");
  EXPECT_EQ(VendorName(ouiMac(0x0A, 0x1B, 0x2D)), "Velmora");
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
  struct Case {
    const char* what;
    std::set<std::string> refused, readOnly;
  };
  const Case cases[] = {
      {"data home cannot be made", {kRoots.dataHome}, {}},
      {"program folder cannot be made", {kPreferred}, {}},
      {"program folder read-only", {}, {kPreferred}},
      {"fallback cannot be made either", {kRoots.dataHome, "/home/u/.velmora_apps"}, {}},
  };
  for (const Case& c : cases) {
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
    EXPECT_EQ(n.caption, "Information");
    EXPECT_EQ(n.icon, platform::NoticeIcon::Information);
    EXPECT_EQ(n.owner, platform::NoticeOwner::MainPage);
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
