// Wire bytes of every host frame at their offsets and sent lengths, and the block parser on
// short, cut and odd input.
#include "brantleapi/hp1_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brantleapi/hp1_requests.h"

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

}  // namespace
}  // namespace quorrel::brantleapi
