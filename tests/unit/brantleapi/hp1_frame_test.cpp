// Wire bytes of every host frame at their offsets and sent lengths, the block parser on short,
// cut and odd input, and the reply decoders on good, short, long and hostile frames; the
// firmware rule; Turbo rates.
#include "brantleapi/hp1_frame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "brantleapi/brantleapi.h"
#include "brantleapi/hp1_replies.h"
#include "brantleapi/hp1_requests.h"
#include "unit/brantleapi/reply_frames.h"

namespace quorrel::brantleapi {
namespace {

using Bytes = std::vector<std::uint8_t>;
const MacAddress kHost{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
const MacAddress kDevice{0x00, 0x04, 0x87, 0x01, 0x02, 0x03};
const Hp1Key kKeyA{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
const Hp1Key kKeyB{0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8};
const Hp1ModeBytes kModes{0x41, 0x03, 0x01};

// The addresses (to `dst` from the host), the ethertype, then the block written as hex digits
// ("01 02 0A"), zero-filled to the sent length.
Bytes frame(const MacAddress& dst, std::string_view block, std::size_t length) {
  Bytes f(dst.begin(), dst.end());
  f.insert(f.end(), kHost.begin(), kHost.end());
  f.insert(f.end(), {0x88, 0x7B});
  for (std::size_t i = 0; i + 1 < block.size(); i += block[i] == ' ' ? 1 : 2)
    if (block[i] != ' ') f.push_back(std::stoi(std::string(block.substr(i, 2)), nullptr, 16));
  f.resize(length, 0);
  return f;
}

TEST(Hp1Requests, EveryHostFrameAtItsOffsetsAndSentLengthAndWhatDoesNotFitIsRefused) {
  // Each builder writes into a dirty buffer, so a missed zero fill shows.
  Hp1FrameBuffer b;
  b.fill(0xEE);
  const auto take = [&b](std::size_t n) {
    Bytes f(b.begin(), b.begin() + n);
    b.fill(0xEE);
    return f;
  };
  const std::array<std::uint8_t, 1> zero{0};
  const Bytes fourteen(14, 0x5A), piece{0x3C, 0x3D, 0x3E};
  const MacAddress bc = kBroadcastMac;
  // Braced initialisers run in order: each row's frame is taken before the next is built.
  const std::pair<Bytes, Bytes> rows[] = {
      {take(buildVendorRequest(b, bc, kHost, kVendorIdentity, zero)),
       frame(bc, "01 02 05 000487 10 00", 35)},
      {take(buildVendorRequest(b, kDevice, kHost, kVendorStatistics, fourteen)),
       frame(kDevice, "01 02 12 000487 18 5A5A5A5A5A5A5A 5A5A5A5A5A5A5A", 35)},
      {take(buildPrivateRequest(b, kDevice, kHost, kPrivateNetworkKey)),
       frame(kDevice, "01 12 01 21", 272)},
      {take(buildStatisticsRequest(b, bc, kHost)), frame(bc, "01 07 00", 17)},
      {take(buildLocalParametersRequest(b, bc, kHost, 0x10)), frame(bc, "01 19 0F 10", 32)},
      {take(buildNetworkStatisticsRequest(b, bc, kHost)), frame(bc, "01 1A BB 80", 38)},
      {take(buildTurboLocalKey(b, kDevice, kHost, kKeyA)),
       frame(kDevice, "01 04 09 01 A1A2A3A4A5A6A7A8", 35)},
      {take(buildHp1KeyEntry(b, bc, kHost, 1, kKeyA, kModes, true)),
       frame(bc, "02 04 09 01 A1A2A3A4A5A6A7A8 1F 03 410301", 31)},
      {take(buildHp1KeyEntry(b, kDevice, kHost, 0, kKeyB, kModes, false)),
       frame(kDevice, "01 04 09 00 B1B2B3B4B5B6B7B8", 31)},
      {take(buildTurboKeyFrame(b, kHost, bc, kKeyA, &kKeyB)),
       frame(bc, "01 14 0A 01 00 B1B2B3B4B5B6B7B8 887B 01 04 09 01 A1A2A3A4A5A6A7A8", 41)},
      {take(buildTurboKeyFrame(b, kHost, kDevice, kKeyA, nullptr)),
       frame(kDevice, "01 04 09 01 A1A2A3A4A5A6A7A8", 26)},
      {take(buildModeEntry(b, bc, kHost, {0x40, 0x01, 0x01})), frame(bc, "01 1F 03 400101", 20)},
      {take(buildHardwareReset(b, kDevice, kHost)), frame(kDevice, "01 10 01 7F", 20)},
      {take(buildLocalCommand(b, kDevice, kHost, 0x12, 0x67)), frame(kDevice, "01 12 01 67", 18)},
      {take(buildModulePiece(b, kDevice, kHost, kModuleFirmwareImage, 2048, piece)),
       frame(kDevice, "01 10 01 81 000D 00000100 00000800 0003 3C3D3E", 1054)},
      {take(buildLoaderCommand(b, kDevice, kHost, kLoaderCommit, 0x130)),
       frame(kDevice, "01 10 01 82 0004 00000130", 25)},
      {take(buildChecksumRequest(b, kDevice, kHost, 0x80, 512)),
       frame(kDevice, "01 10 01 83 0008 00000080 00000200", 28)},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << i;

  // What does not fit is refused.
  EXPECT_EQ(buildVendorRequest(b, kDevice, kHost, kVendorStatistics, Bytes(15)), 0u);
  EXPECT_EQ(buildModulePiece(b, kDevice, kHost, 0x100, 0, {}), 0u);
  EXPECT_EQ(buildModulePiece(b, kDevice, kHost, 0x100, 0, Bytes(1025)), 0u);
  EXPECT_EQ(buildLoaderCommand(b, kDevice, kHost, 0x83, 1), 0u);
  std::array<std::uint8_t, 20> small{};
  EXPECT_EQ(buildPrivateRequest(small, kDevice, kHost, 0x20), 0u);
  // Entries ending past the sent length are refused, and nothing half-written stays behind.
  const std::array<std::uint8_t, 9> nine{};
  const Hp1Entry e = makeEntry(0x04, nine);
  small.fill(0xEE);
  EXPECT_EQ(encodeHp1Frame(small, kDevice, kHost, std::span<const Hp1Entry>(&e, 1), 20), 0u);
  EXPECT_EQ(small, (std::array<std::uint8_t, 20>{}));
  EXPECT_EQ(writeHp1Block(small, 18, std::span<const Hp1Entry>(&e, 1)), 0u);
}

TEST(Hp1Frame, ParserRoundTripAndHostileInput) {
  Hp1FrameBuffer b{};
  Bytes f(b.begin(), b.begin() + buildHp1KeyEntry(b, kBroadcastMac, kHost, 1, kKeyA, kModes, true));
  auto v = parseHp1Frame(f);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->source, kHost);
  ASSERT_EQ(v->block.parsed, 2u);
  EXPECT_EQ(v->block.entries[1].type, 0x1F);
  EXPECT_EQ(v->block.entries[1].dataOffset, 28u);
  // The envelope's inner block is read with the same parser.
  const Bytes envelope(b.begin(),
                       b.begin() + buildTurboKeyFrame(b, kHost, kBroadcastMac, kKeyA, &kKeyB));
  auto inner = parseHp1Block(envelope, kKeyEnvelopeInnerBlockOffset);
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->entries[0].type, 0x04);

  // Every prefix of a frame parses without reading past it.
  for (std::size_t n = 0; n <= f.size(); ++n) {
    auto p = parseHp1Frame(ByteSpan(f).first(n));
    ASSERT_EQ(p.has_value(), n >= 15) << n;
    for (std::size_t k = 0; p && k < p->block.parsed; ++k)
      EXPECT_LE(p->block.entries[k].dataOffset + p->block.entries[k].data.size(), n);
    EXPECT_EQ(parseHp1Reply(ByteSpan(f).first(n)).has_value(), n >= 26) << n;
  }
  // Another ethertype, a zero entry count, a huge one, and a length byte past the end.
  f[13] = 0xE1;
  EXPECT_FALSE(parseHp1Frame(f));
  f[13] = 0x7B;
  f[14] = 0;
  EXPECT_TRUE(parseHp1Frame(f));
  EXPECT_FALSE(parseHp1Reply(f));
  f[14] = 255;
  EXPECT_LE(parseHp1Frame(f)->block.parsed, kMaxParsedEntries);
  f[14] = 1;
  f[16] = 200;
  auto cut = parseHp1Frame(f);
  ASSERT_TRUE(cut);
  EXPECT_FALSE(cut->first().complete);
  EXPECT_EQ(cut->first().data.size(), f.size() - 17);
  EXPECT_FALSE(parseHp1Reply(f));
}

using namespace testing;

// The frame as a reply; a frame that is none fails the test (the exception is reported).
Hp1FrameView reply(const std::vector<std::uint8_t>& f) {
  return parseHp1Reply(f).value();
}

TEST(TurboReplies, IdentityAndPrivateRepliesWithHostileLengthsAndTheFirmwareRule) {
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

  // The private replies: the firmware text and its rule, and the key.
  const auto text = [](const std::vector<std::uint8_t>& frame) {
    return decodeTurboFirmwareText(reply(frame)).value();
  };
  const std::string old = "QTB2000 fw rev1.6.0 build";
  EXPECT_EQ(text(firmwareReply(kTestLocal, old, static_cast<std::uint8_t>(old.size()))), old);
  for (const char* fw : {"QTB2000 fw rev1.6.0", "QTB2000 fw rev1.5.2"})
    EXPECT_TRUE(isOldTurboFirmware(fw)) << fw;
  for (const char* fw : {"QTB2000 fw rev1.8.0", "QTB2000 fw rev2.6.0", "QTB2000 fw rev1.", ""})
    EXPECT_FALSE(isOldTurboFirmware(fw)) << fw;

  // The count is byte 16: fewer characters than sent, at most 64, never past the frame.
  EXPECT_EQ(text(firmwareReply(kTestLocal, old, 5)), "QTB20");
  f = firmwareReply(kTestLocal, std::string(100, 'F'), 100);
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

// What the bookkeeping, the scan and the operations read of a frame, written as the entry type
// and what was found: L looped back, N names the local device, c class, s stations, P the
// parameters 1, 2, ... 50; t the Turbo statistics entries, whose count the length byte gives.
// The stations' addresses and rates: the poll test; the loader's reply: the loader wait's table.
TEST(Hp1Replies, OneDecodingServesEveryReader) {
  std::array<std::uint8_t, 50> p{};
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>(i + 1);
  const auto params = [&p](std::uint8_t length, std::size_t size) {
    auto f = localParametersReply(kTestLocal, 2, p);
    f[16] = length;
    f.resize(size);
    return f;
  };
  const auto netStats = [](std::uint8_t type, std::uint8_t cls, std::size_t size) {
    auto f = replyFrame(kTestLocal, kTestHost, type, 0xBB, size);
    if (size > 17) f[17] = cls;
    return f;
  };
  const auto seen = [&p](const std::vector<std::uint8_t>& f) {
    const Hp1Reply r = decodeHp1Reply(f).value();
    char type[4];
    std::snprintf(type, sizeof type, "%02X", r.type);
    std::string s = type;
    if (r.loopback) s += " L";
    if (r.namesLocalDevice) s += " N";
    if (r.localClass) s += " c" + std::to_string(*r.localClass);
    if (r.networkStatistics) s += " s" + std::to_string(r.networkStatistics->count);
    if (r.localParameters) s += r.localParameters->parameters == p ? " P" : " P?";
    const auto turbo = parseHp1Reply(f);
    if (const auto t = turbo ? decodeTurboStatistics(*turbo) : std::nullopt)
      s += " t" + std::to_string(t->count);
    return s;
  };
  const MacAddress a{0, 4, 0x87, 0, 0, 0xA}, b{0, 4, 0x87, 0, 0, 0xB};
  std::vector<StationRate> many;
  for (int k = 0; k < 17; ++k) many.push_back({MacAddress{0, 4, 0x87, 0, 1, std::uint8_t(k)}, 9});
  auto blockless = replyFrame(kTestRemote, kTestHost, 0x08, 0);
  blockless.resize(15);  // the count, but no entry
  const std::pair<std::vector<std::uint8_t>, const char*> rows[] = {
      {replyFrame(kTestLocal, kTestLocal, 0x08, 0), "08 L"},
      {replyFrame(kBroadcastMac, kBroadcastMac, 0x08, 0), "08"},
      {blockless, "00"},
      {netStats(0x1A, 3, 60), "1A N c3 s3"},
      {netStats(0x1A, 3, 24 + 12 + 8), "1A N c3 s1"},  // whole stations only
      {netStats(0x1A, 3, 24 + 12 * 16), "1A N c3 s15"},
      {netStats(0x1A, 5, 23), "1A N c5"},  // no room for the counts
      {netStats(0x1A, 3, 17), "1A"},       // nor for the class
      {netStats(0x1A, 0x80, 60), "1A"},    // the request
      {netStats(0x1A, 0x83, 60), "1A"},    // bit 7 marks requests, whatever the other bits
      {netStats(0x1E, 0, 60), "1E N"},     // names the local device, has no class
      {params(0x33, 68), "19 P"},
      {params(0x33, 67), "19"},
      {params(0x32, 68), "19"},
      {statisticsReply(kTestLocal, 2, {}), "02 t0"},  // below 3 is none, not a huge count
      {statisticsReply(kTestLocal, 3, {}), "02 t0"},
      {statisticsReply(kTestLocal, 16, {}), "02 t0"},
      {statisticsReply(kTestLocal, 255, many), "02 t15"},
      {statisticsReply(kTestLocal, 31, {{a, 1}, {b, 2}}, 48), "02 t1"},  // 2 announced, 1 whole
  };
  for (const auto& [f, expected] : rows) EXPECT_EQ(seen(f), expected);
}

}  // namespace
}  // namespace quorrel::brantleapi
