// Reply decoders on good, short, long and hostile frames; the firmware rule; Turbo rates.
#include "brantleapi/hp1_replies.h"

#include <gtest/gtest.h>

#include "brantleapi/brantleapi.h"
#include "unit/brantleapi/reply_frames.h"

namespace quorrel::brantleapi {
namespace {

using namespace testing;

std::optional<TurboIdentity> identityOf(const std::vector<std::uint8_t>& f) {
  auto v = parseHp1Reply(f);
  return v ? decodeTurboIdentity(*v) : std::nullopt;
}

TEST(TurboIdentityReply, VersionTextsAndVendorTexts) {
  EXPECT_EQ(identityOf(identityReply(kTestLocal, false, 1, 0, 0x15, "a", "b"))->version,
            "Version 1.2");
  EXPECT_EQ(identityOf(identityReply(kTestLocal, false, 1, 0, 0x16, "a", "b"))->version,
            "Version 1.4");
  const auto id = identityOf(identityReply(kTestRemote, true, 2, 3, 7, "Maker", "Model X"));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->version, "Version 3.7");
  EXPECT_TRUE(id->fromRemote);
  EXPECT_EQ(id->vendorText1, "Maker");
  EXPECT_EQ(id->vendorText2, "Model X");

  const auto blank = identityOf(identityReply(kTestLocal, false, 2, 1, 1, "", "Second"));
  ASSERT_TRUE(blank);
  EXPECT_FALSE(blank->fromRemote);
  EXPECT_EQ(blank->vendorText1, " ");
  EXPECT_EQ(blank->vendorText2, "Second");
}

TEST(TurboIdentityReply, HostileLengthsAreCutOrIgnored) {
  // Longer than its field: 79 characters kept, and the second text is still found behind it.
  const std::string longText(120, 'L');
  auto id = identityOf(identityReply(kTestLocal, false, 2, 1, 8, longText, "tail"));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->vendorText1, std::string(79, 'L'));
  EXPECT_EQ(id->vendorText2, "tail");

  // A text length running past the captured bytes: ignored, whatever the cut.
  auto f = identityReply(kTestLocal, false, 2, 1, 8, "abc", "def");
  f[26] = 200;
  EXPECT_FALSE(identityOf(f));
  f[26] = 3;
  f[27 + 3] = 250;
  EXPECT_FALSE(identityOf(f));
  for (std::size_t n = 17; n < 34; ++n) {
    auto v = parseHp1Frame(ByteSpan(f).first(n));
    if (v) {
      EXPECT_FALSE(decodeTurboIdentity(*v)) << n;
    }
  }
  // An unterminated text stops at a zero byte inside its count.
  f = identityReply(kTestLocal, false, 2, 1, 8, std::string("ab\0cd", 5), "x");
  EXPECT_EQ(identityOf(f)->vendorText1, "ab");

  // Bit 7 clear is a request, not a reply.
  f = identityReply(kTestLocal, false, 2, 1, 8, "a", "b");
  f[20] = 0x10;
  auto v = parseHp1Reply(f);
  ASSERT_TRUE(v);
  EXPECT_FALSE(vendorReplyCode(*v));
}

std::optional<TurboStatistics> statisticsOf(const std::vector<std::uint8_t>& f) {
  auto v = parseHp1Reply(f);
  return v ? decodeTurboStatistics(*v) : std::nullopt;
}

TEST(TurboStatisticsReply, EntryCountFromTheLengthByte) {
  const MacAddress a{0, 4, 0x87, 0, 0, 0xA};
  const MacAddress b{0, 4, 0x87, 0, 0, 0xB};
  auto s = statisticsOf(statisticsReply(kTestLocal, 31, {{a, 2812}, {b, 252}}));
  ASSERT_TRUE(s);
  ASSERT_EQ(s->count, 2u);
  EXPECT_EQ(s->stations[0].mac, a);
  EXPECT_EQ(s->stations[0].rawRate, 2812);
  EXPECT_EQ(s->stations[1].rawRate, 252);

  // Below 3 is no entry, not a huge unsigned count.
  for (std::uint8_t len : {0, 1, 2, 3, 16}) {
    auto none = statisticsOf(statisticsReply(kTestLocal, len, {}));
    ASSERT_TRUE(none) << int{len};
    EXPECT_EQ(none->count, 0u) << int{len};
  }
  // More than 15 announced: cut to 15.
  std::vector<StationRate> many;
  for (int k = 0; k < 17; ++k) many.push_back({MacAddress{0, 4, 0x87, 0, 1, std::uint8_t(k)}, 9});
  auto cut = statisticsOf(statisticsReply(kTestLocal, 255, many));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->count, 15u);
  // Only whole entries within the captured bytes: 31 announces 2, a 48-byte frame holds 1.
  auto shortFrame = statisticsOf(statisticsReply(kTestLocal, 31, {{a, 1}, {b, 2}}, 48));
  ASSERT_TRUE(shortFrame);
  EXPECT_EQ(shortFrame->count, 1u);
  // A length byte past the frame: ignored.
  EXPECT_FALSE(statisticsOf(statisticsReply(kTestLocal, 200, {{a, 1}}, 60)));
}

TEST(TurboPrivateReply, FirmwareTextAndRule) {
  auto text = [](const std::vector<std::uint8_t>& f) {
    auto v = parseHp1Reply(f);
    return v ? decodeTurboFirmwareText(*v) : std::nullopt;
  };
  const std::string old = "QTB2000 fw rev1.6.0 build";
  EXPECT_EQ(old[14], '1');
  EXPECT_EQ(old[16], '6');
  auto t = text(firmwareReply(kTestLocal, old, static_cast<std::uint8_t>(old.size())));
  ASSERT_TRUE(t);
  EXPECT_EQ(*t, old);
  EXPECT_TRUE(isOldTurboFirmware(*t));
  EXPECT_TRUE(isOldTurboFirmware("QTB2000 fw rev1.5.2"));
  EXPECT_FALSE(isOldTurboFirmware("QTB2000 fw rev1.8.0"));
  EXPECT_FALSE(isOldTurboFirmware("QTB2000 fw rev2.6.0"));
  EXPECT_FALSE(isOldTurboFirmware("QTB2000 fw rev1."));
  EXPECT_FALSE(isOldTurboFirmware(""));

  // The count is byte 16: fewer characters than sent, at most 64, never past the frame.
  EXPECT_EQ(*text(firmwareReply(kTestLocal, old, 5)), "QTB20");
  const std::string huge(100, 'F');
  auto f = firmwareReply(kTestLocal, huge, 100);
  EXPECT_EQ(text(f)->size(), 64u);
  f.resize(17 + 100);
  EXPECT_EQ(text(f)->size(), 64u);  // 99 captured, 64 kept
  auto shortF = firmwareReply(kTestLocal, "ABCDEFGH", 30);
  shortF.resize(48);
  EXPECT_EQ(*text(shortF), "ABCDEFGH");  // stops at the zeros after the text
  // Unterminated up to the end of the frame.
  auto full = firmwareReply(kTestLocal, std::string(42, 'Z'), 42);
  full.resize(60);
  EXPECT_EQ(text(full)->size(), 42u);
}

TEST(TurboPrivateReply, NetworkKey) {
  const Hp1Key key{1, 2, 3, 4, 5, 6, 7, 8};
  auto f = networkKeyReply(kTestLocal, key);
  auto v = parseHp1Reply(f);
  ASSERT_TRUE(v);
  EXPECT_EQ(decodeTurboNetworkKey(*v), key);
  EXPECT_FALSE(decodeTurboFirmwareText(*v));
  f.resize(26);
  f[16] = 8;
  v = parseHp1Reply(f);
  ASSERT_TRUE(v);
  EXPECT_FALSE(decodeTurboNetworkKey(*v));
}

TEST(Hp1Replies, LocalParametersNetworkStatisticsAndLoader) {
  std::array<std::uint8_t, 50> p{};
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>(i + 1);
  auto f = localParametersReply(kTestLocal, 1, p);
  auto lp = decodeLocalParametersReply(*parseHp1Reply(f));
  ASSERT_TRUE(lp);
  EXPECT_EQ(lp->selector, 1);
  EXPECT_EQ(lp->parameters, p);
  f[16] = 0x32;
  EXPECT_FALSE(decodeLocalParametersReply(*parseHp1Reply(f)));

  auto ns = replyFrame(kTestLocal, kTestLocal, 0x1A, 0xBB, 17 + 0xBB);
  ns[17] = 0x03;
  writeBe16(ns, 20, 7);
  writeBe16(ns, 22, 9);
  for (std::size_t k = 0; k < 15; ++k) {
    writeMac(ns, 24 + 12 * k, MacAddress{0x01, 4, 0x87, 0, 0, std::uint8_t(k)});
    writeBe16(ns, 24 + 12 * k + 6, static_cast<std::uint16_t>(100 + k));
  }
  auto s = decodeNetworkStatistics(*parseHp1Reply(ns));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->count, 15u);
  EXPECT_EQ(s->localClass(), 3);
  EXPECT_FALSE(s->isRequest());
  EXPECT_EQ(s->fails, 7);
  EXPECT_EQ(s->drops, 9);
  EXPECT_EQ(s->stations[14].mac, (MacAddress{0x00, 4, 0x87, 0, 0, 14}));
  EXPECT_EQ(s->stations[14].rawRate, 114);
  EXPECT_TRUE(isLoopbackFrame(*parseHp1Reply(ns)));
  ns.resize(60);
  ns[16] = 40;
  EXPECT_EQ(decodeNetworkStatistics(*parseHp1Reply(ns))->count, 3u);

  auto lr = replyFrame(kTestLocal, kTestHost, 0x10, 1, 60);
  lr[17] = 0x83;
  lr[20] = 0;
  writeBe32(lr, 29, 0xDEADBEEF);
  auto r = decodeLoaderReply(*parseHp1Reply(lr), kTestHost);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->checksum, 0xDEADBEEFu);
  EXPECT_FALSE(decodeLoaderReply(*parseHp1Reply(lr), kTestRemote));
  lr[17] = 0x85;
  EXPECT_FALSE(decodeLoaderReply(*parseHp1Reply(lr), kTestHost));
}

TEST(TurboRate, Breakpoints) {
  EXPECT_DOUBLE_EQ(turboRateToMbps(0), 0.0);
  EXPECT_DOUBLE_EQ(turboRateToMbps(252), 6.0);
  EXPECT_NEAR(turboRateToMbps(519), 14.0, 1e-9);
  EXPECT_NEAR(turboRateToMbps(2812), 85.0, 1e-9);
  EXPECT_LT(turboRateToMbps(251), 6.0);
  EXPECT_GT(turboRateToMbps(253), 6.0);
}

}  // namespace
}  // namespace quorrel::brantleapi
