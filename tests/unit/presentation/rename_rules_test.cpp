// Typed names: the refusals, the stored length in characters and bytes, hostile bytes.
#include "ui/presentation/rename_rules.h"

#include <gtest/gtest.h>

#include "support/desktop_fixture.h"

namespace quorrel::ui {
namespace {

TEST(RenameRules, RefusalsAndWhatIsStoredWholeCharacters) {
  testing::DesktopState state;
  persistence::AppendKnownDevice(testing::mac(2), "Kitchen");
  persistence::AppendKnownDevice(testing::mac(3), std::string(31, 'y'));
  // Duplicates (exact, case-sensitive, also after the cut to 31), controls and broken UTF-8.
  for (const std::string& bad :
       {std::string(), std::string("Kitchen"), std::string(50, 'y'), std::string("Tab\there"),
        std::string("Line\nbreak"), std::string("nul\0inside", 10), std::string("del\x7F"),
        std::string("broken \xC3"), std::string("overlong \xC0\xAF"),
        std::string("surrogate \xED\xA0\x80")})
    EXPECT_FALSE(CheckRename(bad).accepted) << bad;
  EXPECT_TRUE(CheckRename("kitchen").accepted);
  EXPECT_EQ(CheckRename(std::string(40, 'x')).storedName, std::string(31, 'x'));

  // Non-ASCII: whole characters only, and never more bytes than the field holds.
  std::string euros;
  for (int i = 0; i < 40; ++i) euros += "\xE2\x82\xAC";
  const RenameCheck e = CheckRename(euros);
  ASSERT_TRUE(e.accepted);
  EXPECT_LE(e.storedName.size(), kMaxStoredNameBytes);
  EXPECT_EQ(e.storedName.size() % 3, 0u);
  persistence::KnownDevice record;
  record.name = e.storedName;
  EXPECT_EQ(record.name.view(), e.storedName);  // fits the field whole
  EXPECT_EQ(CheckRename("Wohnzimmer \xC3\xBC" + std::string(30, 'z')).storedName,
            "Wohnzimmer \xC3\xBC" + std::string(19, 'z'));  // 31 characters
  // The prefix stops before a character that does not fit or is broken.
  EXPECT_EQ(utf8Prefix("abc", 2, 10), "ab");
  EXPECT_EQ(utf8Prefix("a\xC3\xA9z", 10, 2), "a");  // é would not fit in 2 bytes
  EXPECT_EQ(utf8Prefix("a\xF0\x9F\x98\x80", 10, 10), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(utf8Prefix("a\xF0\x9F\x98", 10, 10), "a");
  EXPECT_EQ(utf8Prefix("\xFF\xFE", 10, 10), "");
}

}  // namespace
}  // namespace quorrel::ui
