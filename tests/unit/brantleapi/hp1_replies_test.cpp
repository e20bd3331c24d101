// Reply decoders on good, short, long and hostile frames; the firmware rule; Turbo rates.
#include "brantleapi/hp1_replies.h"

#include <gtest/gtest.h>

#include "brantleapi/brantleapi.h"
#include "unit/brantleapi/reply_frames.h"

namespace quorrel::brantleapi {
namespace {

using namespace testing;

// The frame as a reply; a frame that is none fails the test (the exception is reported).
Hp1FrameView reply(const std::vector<std::uint8_t>& f) {
  return parseHp1Reply(f).value();
}

TEST(TurboIdentityReply, VersionVendorTextsAndHostileLengths) {
  for (const auto& [minor, text] : {std::pair{0x15, "Version 1.2"}, {0x16, "Version 1.4"}})
    EXPECT_EQ(
        decodeTurboIdentity(reply(identityReply(kTestLocal, false, 1, 0, minor, "", "")))->version,
        text);
  auto id = decodeTurboIdentity(reply(identityReply(kTestRemote, true, 2, 3, 7, "", "X")));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->version, "Version 3.7");
  EXPECT_TRUE(id->fromRemote);
  EXPECT_EQ(id->vendorText1, " ");  // an empty text shows as a blank
  EXPECT_EQ(id->vendorText2, "X");

  // Longer than its field: 79 characters kept, and the second text is still found behind it.
  id = decodeTurboIdentity(
      reply(identityReply(kTestLocal, false, 2, 1, 8, std::string(120, 'L'), "tail")));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->vendorText1, std::string(79, 'L'));
  EXPECT_EQ(id->vendorText2, "tail");
  // An unterminated text stops at a zero byte inside its count.
  id = decodeTurboIdentity(
      reply(identityReply(kTestLocal, false, 2, 1, 8, std::string("ab\0cd", 5), "x")));
  EXPECT_EQ(id->vendorText1, "ab");
  // A text length running past the captured bytes: ignored, whatever the cut.
  auto f = identityReply(kTestLocal, false, 2, 1, 8, "abc", "def");
  f[26] = 200;
  EXPECT_FALSE(decodeTurboIdentity(reply(f)));
  f[26] = 3;
  f[27 + 3] = 250;
  EXPECT_FALSE(decodeTurboIdentity(reply(f)));
  for (std::size_t n = 17; n < 34; ++n) {
    const auto v = parseHp1Frame(ByteSpan(f).first(n));
    EXPECT_FALSE(v && decodeTurboIdentity(*v)) << n;
  }
  f[20] = 0x10;  // bit 7 clear: a request, not a reply
  EXPECT_FALSE(vendorReplyCode(reply(f)));
}

TEST(TurboStatisticsReply, EntryCountFromTheLengthByte) {
  const MacAddress a{0, 4, 0x87, 0, 0, 0xA}, b{0, 4, 0x87, 0, 0, 0xB};
  // The stations' addresses and rates: the poll test, which rates a remote from them.
  const auto count = [](const std::vector<std::uint8_t>& f) {
    return decodeTurboStatistics(reply(f)).value().count;
  };
  for (std::uint8_t len : {0, 1, 2, 3, 16})  // below 3 is no entry, not a huge unsigned count
    EXPECT_EQ(count(statisticsReply(kTestLocal, len, {})), 0u) << int{len};
  std::vector<StationRate> many;
  for (int k = 0; k < 17; ++k) many.push_back({MacAddress{0, 4, 0x87, 0, 1, std::uint8_t(k)}, 9});
  EXPECT_EQ(count(statisticsReply(kTestLocal, 255, many)), 15u);
  // Only whole entries within the captured bytes: 31 announces 2, a 48-byte frame holds 1.
  EXPECT_EQ(count(statisticsReply(kTestLocal, 31, {{a, 1}, {b, 2}}, 48)), 1u);
  EXPECT_FALSE(parseHp1Reply(statisticsReply(kTestLocal, 200, {{a, 1}}, 60)));  // past the frame
}

TEST(TurboPrivateReply, FirmwareTextRuleAndKey) {
  const auto text = [](const std::vector<std::uint8_t>& f) {
    return decodeTurboFirmwareText(reply(f)).value();
  };
  const std::string old = "QTB2000 fw rev1.6.0 build";
  EXPECT_EQ(text(firmwareReply(kTestLocal, old, static_cast<std::uint8_t>(old.size()))), old);
  for (const char* f : {"QTB2000 fw rev1.6.0", "QTB2000 fw rev1.5.2"})
    EXPECT_TRUE(isOldTurboFirmware(f)) << f;
  for (const char* f : {"QTB2000 fw rev1.8.0", "QTB2000 fw rev2.6.0", "QTB2000 fw rev1.", ""})
    EXPECT_FALSE(isOldTurboFirmware(f)) << f;

  // The count is byte 16: fewer characters than sent, at most 64, never past the frame.
  EXPECT_EQ(text(firmwareReply(kTestLocal, old, 5)), "QTB20");
  auto f = firmwareReply(kTestLocal, std::string(100, 'F'), 100);
  EXPECT_EQ(text(f).size(), 64u);
  f.resize(17 + 100);
  EXPECT_EQ(text(f).size(), 64u);  // 99 captured, 64 kept
  f = firmwareReply(kTestLocal, "ABCDEFGH", 30);
  f.resize(48);
  EXPECT_EQ(text(f), "ABCDEFGH");  // stops at the zeros after the text
  f = firmwareReply(kTestLocal, std::string(42, 'Z'), 42);
  f.resize(60);
  EXPECT_EQ(text(f).size(), 42u);  // unterminated up to the end of the frame

  const Hp1Key key{1, 2, 3, 4, 5, 6, 7, 8};
  auto k = networkKeyReply(kTestLocal, key);
  EXPECT_EQ(decodeTurboNetworkKey(reply(k)), key);
  EXPECT_FALSE(decodeTurboFirmwareText(reply(k)));
  k.resize(26);
  k[16] = 8;
  EXPECT_FALSE(decodeTurboNetworkKey(reply(k)));
}

// The network statistics reply (its count, class, counters, stations and loopback): the scan's
// intake tests, which read it through the bookkeeping and the handler; the loader's reply: the
// loader wait's table.
TEST(Hp1Replies, LocalParametersNeedTheirWholeLength) {
  std::array<std::uint8_t, 50> p{};
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>(i + 1);
  auto f = localParametersReply(kTestLocal, 1, p);
  EXPECT_EQ(decodeLocalParametersReply(reply(f)).value().parameters, p);
  f[16] = 0x32;
  EXPECT_FALSE(decodeLocalParametersReply(reply(f)));
}

}  // namespace
}  // namespace quorrel::brantleapi
