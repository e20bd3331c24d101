// Wire bytes of every host frame at their offsets and sent lengths, and the block parser on
// short, cut and odd input.
#include "brantleapi/hp1_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "brantleapi/hp1_requests.h"

namespace quorrel::brantleapi {
namespace {

const MacAddress kHost{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
const MacAddress kDevice{0x00, 0x04, 0x87, 0x01, 0x02, 0x03};
const Hp1Key kKeyA{0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};
const Hp1Key kKeyB{0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18};

// The frame a builder wrote, cut to its sent length; the buffer starts dirty so a missed
// zero fill shows.
struct Built {
  Hp1FrameBuffer buffer;
  std::size_t length = 0;
  Built() { buffer.fill(0xEE); }
  std::vector<std::uint8_t> bytes() const {
    return std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + length);
  }
};

void expectHeader(const std::vector<std::uint8_t>& f, const MacAddress& dst, std::uint8_t count,
                  std::uint8_t type, std::uint8_t length) {
  ASSERT_GE(f.size(), 17u);
  EXPECT_EQ(readMac(f, 0), dst);
  EXPECT_EQ(readMac(f, 6), kHost);
  EXPECT_EQ(f[12], 0x88);
  EXPECT_EQ(f[13], 0x7B);
  EXPECT_EQ(f[14], count);
  EXPECT_EQ(f[15], type);
  EXPECT_EQ(f[16], length);
}

void expectZeroFrom(const std::vector<std::uint8_t>& f, std::size_t from) {
  for (std::size_t i = from; i < f.size(); ++i) EXPECT_EQ(f[i], 0) << "byte " << i;
}

TEST(Hp1Requests, VendorPrivateAndStatisticsRequests) {
  Built b;
  const std::array<std::uint8_t, 1> zero{0};
  b.length = buildVendorRequest(b.buffer, kBroadcastMac, kHost, kVendorIdentity, zero);
  ASSERT_EQ(b.length, 35u);
  auto f = b.bytes();
  expectHeader(f, kBroadcastMac, 1, 0x02, 5);
  EXPECT_EQ((std::vector<std::uint8_t>(f.begin() + 17, f.begin() + 22)),
            (std::vector<std::uint8_t>{0x00, 0x04, 0x87, 0x10, 0x00}));
  expectZeroFrom(f, 22);
  // 14 data bytes fill the 35; one more does not fit.
  std::vector<std::uint8_t> data(14, 0x5A);
  EXPECT_EQ(buildVendorRequest(b.buffer, kDevice, kHost, kVendorStatistics, data), 35u);
  EXPECT_EQ(b.buffer[16], 18);
  EXPECT_EQ(b.buffer[34], 0x5A);
  data.push_back(0x5A);
  EXPECT_EQ(buildVendorRequest(b.buffer, kDevice, kHost, kVendorStatistics, data), 0u);

  Built p;
  p.length = buildPrivateRequest(p.buffer, kDevice, kHost, kPrivateNetworkKey);
  ASSERT_EQ(p.length, 272u);
  f = p.bytes();
  expectHeader(f, kDevice, 1, 0x12, 1);
  EXPECT_EQ(f[17], 0x21);
  expectZeroFrom(f, 18);

  Built s;
  s.length = buildStatisticsRequest(s.buffer, kBroadcastMac, kHost);
  ASSERT_EQ(s.length, 17u);
  expectHeader(s.bytes(), kBroadcastMac, 1, 0x07, 0);

  Built l;
  l.length = buildLocalParametersRequest(l.buffer, kBroadcastMac, kHost, 0x10);
  ASSERT_EQ(l.length, 32u);
  f = l.bytes();
  expectHeader(f, kBroadcastMac, 1, 0x19, 0x0F);
  EXPECT_EQ(f[17], 0x10);
  expectZeroFrom(f, 18);

  Built n;
  n.length = buildNetworkStatisticsRequest(n.buffer, kBroadcastMac, kHost);
  ASSERT_EQ(n.length, 38u);
  f = n.bytes();
  expectHeader(f, kBroadcastMac, 1, 0x1A, 0xBB);
  EXPECT_EQ(f[17], 0x80);
  expectZeroFrom(f, 18);
}

TEST(Hp1Requests, KeyEntriesAndEnvelope) {
  Built t;
  t.length = buildTurboLocalKey(t.buffer, kDevice, kHost, kKeyA);
  ASSERT_EQ(t.length, 35u);
  auto f = t.bytes();
  expectHeader(f, kDevice, 1, 0x04, 9);
  EXPECT_EQ(f[17], 1);
  EXPECT_EQ((Hp1Key{f[18], f[19], f[20], f[21], f[22], f[23], f[24], f[25]}), kKeyA);
  expectZeroFrom(f, 26);

  Built two;
  two.length =
      buildHp1KeyEntry(two.buffer, kBroadcastMac, kHost, 1, kKeyA, {0x41, 0x03, 0x01}, true);
  ASSERT_EQ(two.length, 31u);
  f = two.bytes();
  expectHeader(f, kBroadcastMac, 2, 0x04, 9);
  EXPECT_EQ(f[17], 1);
  EXPECT_EQ(f[25], 0x87);
  EXPECT_EQ(f[26], 0x1F);
  EXPECT_EQ(f[27], 3);
  EXPECT_EQ(f[28], 0x41);
  EXPECT_EQ(f[29], 0x03);
  EXPECT_EQ(f[30], 0x01);

  Built one;
  one.length = buildHp1KeyEntry(one.buffer, kDevice, kHost, 0, kKeyB, {0x41, 0x03, 0x01}, false);
  ASSERT_EQ(one.length, 31u);
  f = one.bytes();
  expectHeader(f, kDevice, 1, 0x04, 9);
  EXPECT_EQ(f[17], 0);
  expectZeroFrom(f, 26);

  Built env;
  env.length = buildTurboKeyFrame(env.buffer, kHost, kBroadcastMac, kKeyA, &kKeyB);
  ASSERT_EQ(env.length, 41u);
  f = env.bytes();
  expectHeader(f, kBroadcastMac, 1, 0x14, 10);
  EXPECT_EQ(f[17], 0x01);
  EXPECT_EQ(f[18], 0x00);
  EXPECT_EQ((Hp1Key{f[19], f[20], f[21], f[22], f[23], f[24], f[25], f[26]}), kKeyB);
  EXPECT_EQ(f[27], 0x88);
  EXPECT_EQ(f[28], 0x7B);
  EXPECT_EQ(f[29], 1);
  EXPECT_EQ(f[30], 0x04);
  EXPECT_EQ(f[31], 9);
  EXPECT_EQ(f[32], 1);
  EXPECT_EQ((Hp1Key{f[33], f[34], f[35], f[36], f[37], f[38], f[39], f[40]}), kKeyA);

  Built bare;
  bare.length = buildTurboKeyFrame(bare.buffer, kHost, kDevice, kKeyA, nullptr);
  ASSERT_EQ(bare.length, 26u);
  f = bare.bytes();
  expectHeader(f, kDevice, 1, 0x04, 9);
  EXPECT_EQ(f[17], 1);
  EXPECT_EQ(f[25], 0x87);

  Built m;
  m.length = buildModeEntry(m.buffer, kBroadcastMac, kHost, {0x40, 0x01, 0x01});
  ASSERT_EQ(m.length, 20u);
  f = m.bytes();
  expectHeader(f, kBroadcastMac, 1, 0x1F, 3);
  EXPECT_EQ(f[17], 0x40);
  EXPECT_EQ(f[19], 0x01);
}

TEST(Hp1Requests, LoaderEntries) {
  Built r;
  r.length = buildHardwareReset(r.buffer, kDevice, kHost);
  ASSERT_EQ(r.length, 20u);
  auto f = r.bytes();
  expectHeader(f, kDevice, 1, 0x10, 1);
  EXPECT_EQ(f[17], 0x7F);
  expectZeroFrom(f, 18);

  Built c;
  c.length = buildLocalCommand(c.buffer, kDevice, kHost, 0x12, 0x67);
  ASSERT_EQ(c.length, 18u);
  f = c.bytes();
  expectHeader(f, kDevice, 1, 0x12, 1);
  EXPECT_EQ(f[17], 0x67);

  std::vector<std::uint8_t> piece(452, 0x3C);
  Built m;
  m.length = buildModulePiece(m.buffer, kDevice, kHost, kModuleFirmwareImage, 2048, piece);
  ASSERT_EQ(m.length, 1054u);
  f = m.bytes();
  expectHeader(f, kDevice, 1, 0x10, 1);
  EXPECT_EQ(f[17], 0x81);
  EXPECT_EQ(readBe16(f, 18), 462);
  EXPECT_EQ(readBe32(f, 20), 0x100u);
  EXPECT_EQ(readBe32(f, 24), 2048u);
  EXPECT_EQ(readBe16(f, 28), 452);
  EXPECT_EQ(f[30], 0x3C);
  EXPECT_EQ(f[30 + 451], 0x3C);
  expectZeroFrom(f, 30 + 452);
  EXPECT_EQ(buildModulePiece(m.buffer, kDevice, kHost, 0x100, 0, {}), 0u);
  EXPECT_EQ(buildModulePiece(m.buffer, kDevice, kHost, 0x100, 0, std::vector<std::uint8_t>(1025)),
            0u);

  Built commit;
  commit.length = buildLoaderCommand(commit.buffer, kDevice, kHost, kLoaderCommit, 0x130);
  ASSERT_EQ(commit.length, 25u);
  f = commit.bytes();
  EXPECT_EQ(f[17], 0x82);
  EXPECT_EQ(readBe16(f, 18), 4);
  EXPECT_EQ((std::vector<std::uint8_t>(f.begin() + 20, f.end())),
            (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0x30, 0x00}));
  EXPECT_EQ(buildLoaderCommand(commit.buffer, kDevice, kHost, 0x83, 1), 0u);

  Built sum;
  sum.length = buildChecksumRequest(sum.buffer, kDevice, kHost, 0x80, 512);
  ASSERT_EQ(sum.length, 28u);
  f = sum.bytes();
  EXPECT_EQ(f[17], 0x83);
  EXPECT_EQ(readBe16(f, 18), 8);
  EXPECT_EQ(readBe32(f, 20), 0x80u);
  EXPECT_EQ(readBe32(f, 24), 512u);
}

TEST(Hp1Frame, EncoderRefusesWhatDoesNotFit) {
  std::array<std::uint8_t, 20> small{};
  EXPECT_EQ(buildStatisticsRequest(small, kBroadcastMac, kHost), 17u);
  EXPECT_EQ(buildPrivateRequest(small, kDevice, kHost, 0x20), 0u);
  const std::array<std::uint8_t, 9> nine{};
  const Hp1Entry e = makeEntry(0x04, nine);
  // Entries ending past the sent length are refused, and nothing half-written stays behind.
  small.fill(0xEE);
  EXPECT_EQ(encodeHp1Frame(small, kDevice, kHost, std::span<const Hp1Entry>(&e, 1), 20), 0u);
  for (auto v : small) EXPECT_EQ(v, 0);
  EXPECT_EQ(writeHp1Block(small, 18, std::span<const Hp1Entry>(&e, 1)), 0u);
}

TEST(Hp1Frame, ParserRoundTripAndHostileInput) {
  Built two;
  two.length =
      buildHp1KeyEntry(two.buffer, kBroadcastMac, kHost, 1, kKeyA, {0x41, 0x03, 0x01}, true);
  auto f = two.bytes();
  auto v = parseHp1Frame(f);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->source, kHost);
  EXPECT_EQ(v->destination, kBroadcastMac);
  ASSERT_EQ(v->block.parsed, 2u);
  EXPECT_EQ(v->block.entries[1].type, 0x1F);
  EXPECT_EQ(v->block.entries[1].dataOffset, 28u);
  EXPECT_TRUE(v->block.entries[1].complete);

  // The envelope's inner block is read with the same parser.
  Built env;
  env.length = buildTurboKeyFrame(env.buffer, kHost, kBroadcastMac, kKeyA, &kKeyB);
  const auto envelope = env.bytes();
  auto inner = parseHp1Block(envelope, kKeyEnvelopeInnerBlockOffset);
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->entries[0].type, 0x04);
  EXPECT_EQ(inner->entries[0].data[0], 1);

  // Every prefix of a frame parses without reading past it.
  for (std::size_t n = 0; n <= f.size(); ++n) {
    auto p = parseHp1Frame(ByteSpan(f).first(n));
    if (n < 15) {
      EXPECT_FALSE(p) << n;
      continue;
    }
    ASSERT_TRUE(p) << n;
    for (std::size_t k = 0; k < p->block.parsed; ++k) {
      const auto& e = p->block.entries[k];
      EXPECT_LE(e.dataOffset + e.data.size(), n);
    }
    EXPECT_EQ(parseHp1Reply(ByteSpan(f).first(n)).has_value(), n >= 26) << n;
  }

  // Another ethertype, a zero entry count, and a length byte past the end.
  f[13] = 0xE1;
  EXPECT_FALSE(parseHp1Frame(f));
  f[13] = 0x7B;
  f[14] = 0;
  EXPECT_TRUE(parseHp1Frame(f));
  EXPECT_FALSE(parseHp1Reply(f));
  f[14] = 255;
  auto many = parseHp1Frame(f);
  ASSERT_TRUE(many);
  EXPECT_LE(many->block.parsed, kMaxParsedEntries);
  f[14] = 1;
  f[16] = 200;
  auto cut = parseHp1Frame(f);
  ASSERT_TRUE(cut);
  EXPECT_FALSE(cut->first().complete);
  EXPECT_EQ(cut->first().data.size(), f.size() - 17);
  EXPECT_FALSE(parseHp1Reply(f));
}

}  // namespace
}  // namespace quorrel::brantleapi
