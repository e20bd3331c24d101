// "OUIList.txt": the line format, bad lines, long names, order, and the lookup.
#include "persistence/vendor_list.h"

#include "persistence_fixture.h"

namespace quorrel::persistence::testing {
namespace {

class VendorListTest : public PersistenceTest {
 protected:
  std::size_t load(const std::string& text) {
    writeFile(scratch.file("OUIList.txt"), text);
    return LoadVendorListFrom(scratch.file("OUIList.txt"));
  }
  static MacAddress mac(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return MacAddress{a, b, c, 1, 2, 3};
  }
};

TEST_F(VendorListTest, FortyByteListWithTwoLinesFindsBoth) {
  const std::string text =
      "00B052\tFirst_Makers\n"  // 20 bytes each
      "0A1B2C\tSecond_Maker\n";
  ASSERT_EQ(text.size(), 40u);
  EXPECT_EQ(load(text), 2u);
  EXPECT_EQ(VendorName(mac(0x00, 0xB0, 0x52)), "First Maker");
  EXPECT_EQ(VendorName(mac(0x0A, 0x1B, 0x2C)), "Second Make");
  EXPECT_EQ(VendorName(mac(0x0A, 0x1B, 0x2D)), "Velmora");
}

TEST_F(VendorListTest, ResellerRangeComesFirst) {
  load("001FAB\tListed\n");
  preferences().oemOui = {0x00, 0x1F, 0xAB};
  preferences().oemVendorName = "Own_Brand";
  EXPECT_EQ(VendorName(mac(0x00, 0x1F, 0xAB)), "Own_Brand");
  preferences().oemOui = {0x00, 0x00, 0x01};
  EXPECT_EQ(VendorName(mac(0x00, 0x1F, 0xAB)), "Listed");
}

TEST_F(VendorListTest, NamesAreCutToElevenCharacters) {
  const VendorTable t = decodeVendorList("AABBCC\tA_Very_Long_Vendor_Name_Indeed\nAABBCD\tNext\n");
  ASSERT_EQ(t.entries.size(), 2u);
  EXPECT_EQ(t.entries[0].nameView(), "A Very Long");
  EXPECT_EQ(t.entries[0].name.back(), '\0');
  EXPECT_EQ(t.entries[1].nameView(), "Next");
}

TEST_F(VendorListTest, UnsortedListIsSortedForTheSearch) {
  load("FFFFFF\tLast\n000001\tFirst\n800000\tMiddle\n7FFFFF\tBelow\n");
  const auto& e = vendorTable().entries;
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e.front().nameView(), "First");
  EXPECT_EQ(e.back().nameView(), "Last");
  EXPECT_EQ(VendorName(mac(0xFF, 0xFF, 0xFF)), "Last");
  EXPECT_EQ(VendorName(mac(0x80, 0x00, 0x00)), "Middle");
  EXPECT_EQ(VendorName(mac(0x7F, 0xFF, 0xFF)), "Below");
  EXPECT_EQ(VendorName(mac(0x00, 0x00, 0x01)), "First");
}

TEST_F(VendorListTest, ReadingStopsAtTheFirstMalformedLine) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"00B052\tOne\nnot a line\n00B053\tTwo\n", 1},
      {"00B052\tOne\n00B05\tShort\n", 1},
      {"00B052\tOne\n00B0G2\tBadHex\n", 1},
      {"00B052\n00B053\tTwo\n", 0},  // no name
      {"00B052One\n", 0},            // no separator
      {"00B052\tOne\r\n\r\n\n00B053\tTwo\r\n", 2},
      {"  00B052 \t One extra words\n00B053\tTwo", 2},
      {"", 0},
  };
  for (const auto& [text, count] : cases)
    EXPECT_EQ(decodeVendorList(text).entries.size(), count) << text;
  const std::string withNul("00B052\tOne\n00B053\tA\0B\n00B054\tThree\n", 35);
  EXPECT_EQ(decodeVendorList(withNul).entries.size(), 1u);
}

TEST_F(VendorListTest, MissingListNamesEveryDeviceVelmora) {
  load("00B052\tSome\n");
  EXPECT_EQ(LoadVendorListFrom(scratch.file("absent.txt")), 0u);
  EXPECT_TRUE(vendorTable().entries.empty());
  EXPECT_EQ(VendorName(mac(0x00, 0xB0, 0x52)), "Velmora");
}

TEST_F(VendorListTest, ListInTheResourceFolderIsRead) {
  writeFile(scratch.file("OUIList.txt"), std::string("00B052\tSome\n"));
  setResourceDirectory(scratch.path());
  EXPECT_EQ(LoadVendorList(), 1u);
  EXPECT_EQ(resourceDirectory(), scratch.path());
  setResourceDirectory("");
}

}  // namespace
}  // namespace quorrel::persistence::testing
