// "OEMPrefs.dat": fields at their offsets, short and long files, the missing file.
#include "persistence/preferences.h"

#include "persistence_fixture.h"

namespace quorrel::persistence::testing {
namespace {

// A record whose every field differs from both zero and its default.
std::vector<std::uint8_t> fullFile() {
  std::vector<std::uint8_t> b(289, 0);
  writeLe32(b, 0, 45);          // scanInterval
  writeLe16(b, 4, 3);           // qualityStyle
  writeLe32(b, 6, 0x00112233);  // listColour
  for (std::size_t at = 10; at <= 32; at += 2)
    writeLe16(b, at, static_cast<std::uint16_t>(at + 100));
  writeText(b, 34, 64, "https://reseller.example/");
  writeText(b, 98, 64, "Reseller Tool");
  b[162] = 0x00;
  b[163] = 0x1F;
  b[164] = 0xAB;
  writeText(b, 165, 24, "Reseller Inc");
  writeText(b, 189, 100, "Notice line");
  return b;
}

class PreferencesTest : public PersistenceTest {
 protected:
  std::string path() const { return scratch.file("OEMPrefs.dat"); }
};

TEST_F(PreferencesTest, EveryLengthTakesTheWholeFieldsItHolds) {
  const auto whole = fullFile();
  for (std::size_t len = 0; len <= 289; ++len) {
    SCOPED_TRACE(len);
    const Preferences p = decodePreferences(ByteSpan(whole).first(len));
    EXPECT_EQ(p.scanInterval, len >= 4 ? 45 : 1);  // a zero interval becomes 1
    EXPECT_EQ(p.qualityStyle, len >= 6 ? 3 : 0);
    EXPECT_EQ(p.listColour, len >= 10 ? 0x00112233 : 0);
    EXPECT_EQ(p.iconSize, len >= 12 ? 110 : 0);
    EXPECT_EQ(p.diagnosticsLevel, len >= 14 ? 112 : 0);
    EXPECT_EQ(p.autoscanEnabled, len >= 18 ? 116 : 0);
    EXPECT_EQ(p.reservedE, len >= 26 ? 124 : 0);
    EXPECT_EQ(p.showRateColumn, len >= 28 ? 126 : 0);
    EXPECT_EQ(p.showUpgradeButton, len >= 34 ? 132 : 0);
    EXPECT_EQ(p.webAddress, len >= 98 ? "https://reseller.example/" : "");
    EXPECT_EQ(p.productName, len >= 162 ? "Reseller Tool" : "Quorrel Utility");
    EXPECT_EQ(p.oemOui[2], len >= 165 ? 0xAB : 0);
    EXPECT_EQ(p.oemVendorName, len >= 189 ? "Reseller Inc" : "");
    EXPECT_EQ(p.noticeText, len >= 289 ? "Notice line" : "");
  }
}

TEST_F(PreferencesTest, IntervalIsHeldToWhatTheScanCanTake) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {0, 1},         {-5, 1},        {INT32_MIN, 1},    {1, 1}, {32767, 32767}, {32768, 32767},
      {65536, 32767}, {65537, 32767}, {INT32_MAX, 32767}};
  for (const auto& [stored, loaded] : cases) {
    auto b = fullFile();
    writeLe32(b, 0, static_cast<std::uint32_t>(stored));
    EXPECT_EQ(decodePreferences(b).scanInterval, loaded) << stored;
    EXPECT_EQ(static_cast<std::int16_t>(decodePreferences(b).scanInterval), loaded);
  }
}

TEST_F(PreferencesTest, TextsWithoutTerminatorEndInsideTheirFields) {
  std::vector<std::uint8_t> b(289, 'Z');
  const Preferences p = decodePreferences(b);
  EXPECT_EQ(p.webAddress.view(), std::string(63, 'Z'));
  EXPECT_EQ(p.productName.view(), std::string(63, 'Z'));
  EXPECT_EQ(p.oemVendorName.view(), std::string(23, 'Z'));
  EXPECT_EQ(p.noticeText.view(), std::string(99, 'Z'));
}

TEST_F(PreferencesTest, MissingFileGivesDefaultsAndIsNotCreated) {
  listSettings().sortDirection = 0;
  listSettings().sortColumn = 4;
  EXPECT_EQ(LoadPreferencesFrom(path()), PreferencesSource::Defaults);
  EXPECT_FALSE(exists(path()));
  const Preferences& p = preferences();
  EXPECT_EQ(p, Preferences{});
  EXPECT_EQ(p.scanInterval, 30);
  EXPECT_EQ(p.iconSize, 24);
  EXPECT_EQ(p.diagnosticsLevel, 1);
  EXPECT_EQ(p.autoscanEnabled, 1);
  EXPECT_EQ(p.reservedC, 310);
  EXPECT_EQ(p.productName, "Quorrel Utility");
  EXPECT_EQ(listSettings().sortDirection, 1u);
  EXPECT_EQ(listSettings().sortColumn, 1u);
  EXPECT_EQ(dataFileName(), "Quorrel Utility.data");
}

TEST_F(PreferencesTest, FileInTheResourceFolderIsRead) {
  writeFile(path(), fullFile());
  setResourceDirectory(scratch.path());
  EXPECT_EQ(LoadPreferences(), PreferencesSource::File);
  setResourceDirectory("");
  EXPECT_EQ(preferences().productName, "Reseller Tool");
  EXPECT_EQ(dataFileName(), "Reseller Tool.data");
}

TEST_F(PreferencesTest, EmptyAndLongFiles) {
  writeFile(path(), std::string());
  EXPECT_EQ(LoadPreferencesFrom(path()), PreferencesSource::File);
  EXPECT_EQ(preferences().diagnosticsLevel, 0);  // a present file's missing fields are zero
  EXPECT_EQ(preferences().autoscanEnabled, 0);
  EXPECT_EQ(dataFileName(), "Quorrel Utility.data");  // never ".data"

  auto b = fullFile();
  b.resize(100000, 0xFF);
  writeFile(path(), b);
  EXPECT_EQ(LoadPreferencesFrom(path()), PreferencesSource::File);
  EXPECT_EQ(preferences().noticeText, "Notice line");
}

TEST_F(PreferencesTest, SomethingOtherThanAFileGivesDefaults) {
  std::filesystem::create_directory(path());
  EXPECT_EQ(LoadPreferencesFrom(path()), PreferencesSource::Defaults);
  const std::string fifo = scratch.file("fifo.dat");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadPreferencesFrom(fifo), PreferencesSource::Defaults);  // and does not block
}

}  // namespace
}  // namespace quorrel::persistence::testing
