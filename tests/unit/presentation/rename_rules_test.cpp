// Typed names: the refusals, the stored length in characters and bytes, hostile bytes.
#include "ui/presentation/rename_rules.h"

#include <gtest/gtest.h>

#include "support/desktop_fixture.h"

namespace quorrel::ui {
namespace {

TEST(RenameRules, RefusalsAndWhatIsStored) {
  testing::DesktopState state;
  persistence::AppendKnownDevice(testing::mac(2), "Kitchen");
  EXPECT_FALSE(CheckRename("").accepted);
  EXPECT_FALSE(CheckRename("Kitchen").accepted);  // the renamed record's own name too
  EXPECT_TRUE(CheckRename("kitchen").accepted);   // exact, case-sensitive
  EXPECT_FALSE(CheckRename("Tab\there").accepted);
  EXPECT_FALSE(CheckRename("Line\nbreak").accepted);
  EXPECT_FALSE(CheckRename(std::string("nul\0inside", 10)).accepted);
  EXPECT_FALSE(CheckRename("del\x7F").accepted);
  EXPECT_FALSE(CheckRename("broken \xC3").accepted);
  EXPECT_FALSE(CheckRename("overlong \xC0\xAF").accepted);
  EXPECT_FALSE(CheckRename("surrogate \xED\xA0\x80").accepted);

  const std::string forty(40, 'x');
  const RenameCheck cut = CheckRename(forty);
  ASSERT_TRUE(cut.accepted);
  EXPECT_EQ(cut.storedName, std::string(31, 'x'));

  // A long name whose first 31 characters are taken already is refused, since the record
  // would otherwise hold a duplicate name.
  persistence::AppendKnownDevice(testing::mac(3), std::string(31, 'y'));
  EXPECT_FALSE(CheckRename(std::string(50, 'y')).accepted);

  // Non-ASCII: whole characters only, and never more bytes than the field holds.
  std::string euros;
  for (int i = 0; i < 40; ++i) euros += "\xE2\x82\xAC";  // 3 bytes each
  const RenameCheck e = CheckRename(euros);
  ASSERT_TRUE(e.accepted);
  EXPECT_LE(e.storedName.size(), kMaxStoredNameBytes);
  EXPECT_EQ(e.storedName.size() % 3, 0u);
  EXPECT_TRUE(isPrintableUtf8(e.storedName));
  persistence::KnownDevice record;
  record.name = e.storedName;
  EXPECT_EQ(record.name.view(), e.storedName);  // fits the field whole

  const RenameCheck mixed = CheckRename("Wohnzimmer \xC3\xBC" + std::string(30, 'z'));
  ASSERT_TRUE(mixed.accepted);
  EXPECT_EQ(mixed.storedName, "Wohnzimmer \xC3\xBC" + std::string(19, 'z'));  // 31 characters
}

TEST(RenameRules, Utf8PrefixStopsAtBrokenSequences) {
  EXPECT_EQ(utf8Prefix("abc", 2, 10), "ab");
  EXPECT_EQ(utf8Prefix("a\xC3\xA9z", 10, 2), "a");  // é would not fit in 2 bytes
  EXPECT_EQ(utf8Prefix("a\xF0\x9F\x98\x80", 10, 10), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(utf8Prefix("a\xF0\x9F\x98", 10, 10), "a");
  EXPECT_EQ(utf8Prefix("\xFF\xFE", 10, 10), "");
  EXPECT_EQ(utf8Prefix("", 10, 10), "");
}

}  // namespace
}  // namespace quorrel::ui
