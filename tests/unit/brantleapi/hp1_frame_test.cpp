// Host frames' wire bytes, the block parser and the reply decoders on good and hostile frames;
// the Turbo poll, key setting and read-back over a scripted backend and a virtual clock; the
// Turbo upgrade against the simulated adapter's secondary loader, every step failed once.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "api/device_table.h"
#include "brantleapi/brantleapi.h"
#include "brantleapi/hp1_bookkeeping.h"
#include "brantleapi/hp1_frame.h"
#include "brantleapi/hp1_loader.h"
#include "brantleapi/hp1_replies.h"
#include "brantleapi/hp1_requests.h"
#include "brantleapi/hp1_upgrade.h"
#include "platform/clock.h"
#include "support/failure_injector.h"
#include "support/fake_backend.h"
#include "support/scratch_dir.h"
#include "support/sim_host.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"
#include "unit/brantleapi/reply_frames.h"

namespace quorrel::brantleapi {
namespace {

using namespace testing;
using Bytes = std::vector<std::uint8_t>;
const MacAddress& kHost = kTestHost;
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

  // The count is byte 16: fewer characters than sent, at most 64 (of 100 or of 99 captured),
  // never past the zeros after the text nor the frame.
  const std::tuple<std::string, std::uint8_t, std::size_t, std::string> counts[] = {
      {old, 5, 60, "QTB20"},
      {std::string(100, 'F'), 100, 118, std::string(64, 'F')},
      {std::string(100, 'F'), 100, 117, std::string(64, 'F')},
      {"ABCDEFGH", 30, 48, "ABCDEFGH"},
      {std::string(42, 'Z'), 42, 60, std::string(42, 'Z')}};
  for (const auto& [sent, count, size, kept] : counts) {
    f = firmwareReply(kTestLocal, sent, count);
    f.resize(size);
    EXPECT_EQ(text(f), kept) << size;
  }

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

std::vector<LocalParameters> logged;
std::vector<bool> autoscanCalls;
std::vector<std::vector<std::uint8_t>> handedOn;
transport::ReceivePath path;

bool handOn(const transport::Frame& f) {
  return handedOn.emplace_back(f.bytes().begin(), f.bytes().end()), true;
}
Hp1KeyEntryContext context(transport::ReceivePath& from = path) {
  return {from, [](bool on) { return autoscanCalls.push_back(on), true; }, &logged};
}

class TurboOps : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.interfaces.push_back({"veth0", kTestHost});
    transport::setBackend(&fake);
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    platform::setClock(&clock);
    api::resetDeviceTable();
    resetTurboState();
    api::interfaceState(0).localMac = kTestLocal;
    logged.clear();
    autoscanCalls.clear();
    handedOn.clear();
  }
  void TearDown() override {
    transport::resetInterfaceTable();
    transport::setBackend(nullptr);
    platform::setClock(nullptr);
  }
  void queue(std::vector<std::uint8_t> f) { fake.ports[0].incoming.push_back(std::move(f)); }
  std::vector<std::vector<std::uint8_t>>& sent() { return fake.ports[0].sent; }

  quorrel::testing::FakeBackend fake;
  platform::VirtualClock clock;
};

TEST_F(TurboOps, DetectPollAndNetworkStatisticsFillTheTurboStateAndTable) {
  queue(identityReply(kTestLocal, false, 2, 1, 8, "Vendor", "Turbo Adapter"));
  ASSERT_TRUE(detectTurboDevice(path, &handOn));
  const TurboState& s = turboState();
  EXPECT_EQ((std::tuple{s.localTurboVersion, s.localTurboVendorText2, api::LocalDeviceAddress()}),
            (std::tuple{"Version 1.8", "Turbo Adapter", kTestLocal}));

  api::RemoteDevice* r = api::UpsertRemote(kTestRemote);
  r->inUse = false;
  const MacAddress stranger{0, 4, 0x87, 9, 9, 9};
  queue(identityReply(kTestRemote, true, 1, 0, 0x15, "", "Remote"));
  queue(identityReply(stranger, true, 1, 0, 0x15, "x", "y"));
  queue(statisticsReply(kTestLocal, 31, {{kTestRemote, 2812}, {stranger, 252}}));
  queue(firmwareReply(kTestLocal, "QTB2000 fw rev1.6.0", 19));
  queue(networkKeyReply(kTestLocal, {8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_TRUE(pollTurboReplies(path, nullptr, &handOn));
  EXPECT_TRUE(fake.ports[0].incoming.empty());
  EXPECT_TRUE(r->inUse && r->classChanged);
  EXPECT_EQ((std::tuple{r->deviceClass, r->firmware.str(), r->rateStats.currentRate}),
            (std::tuple{api::DeviceClass::Turbo, "Version 1.2", 85.0}));
  EXPECT_EQ(api::FindRemote(stranger), nullptr);  // not in the table: not added by a reply
  EXPECT_EQ(s.localTurboFirmware, "QTB2000 fw rev1.6.0");
  EXPECT_TRUE(s.turboFirmwareOld);
  EXPECT_EQ(api::deviceTable().localHp1NetworkKey, (Hp1Key{8, 7, 6, 5, 4, 3, 2, 1}));

  // Network statistics: a Turbo remote's rate from the Turbo scale, any other's from the
  // HomePlug 1.0 one.
  const MacAddress plain{0, 4, 0x87, 0, 0, 3};
  api::UpsertRemote(plain);
  r->rateStats = {};
  NetworkStatistics n;
  n.stations[0] = {plain, 420, 0, 0};
  n.stations[1] = {kTestRemote, 2812, 0, 0};  // limited to 519, then 519 * 85 / 14
  n.count = 2;
  n.fails = 5;
  applyHp1NetworkStatistics(n);
  // The average of 11 and 85 Mbps goes back through the raw HomePlug 1.0 scale: 48 * 42 raw.
  const api::RateStats& all = api::currentDevices().rateStats;
  EXPECT_EQ((std::tuple{api::FindRemote(plain)->rateStats.currentRate, r->rateStats.currentRate,
                        all.fails, all.currentRate}),
            (std::tuple{11.0, 85.0, 5u, 54.0}));
}

TEST_F(TurboOps, PollIsBoundedStopsAtAvFramesAndHandsOtherTypesOn) {
  for (int i = 0; i < 3 * kMaxPollFrames; ++i) queue(replyFrame(kTestRemote, kTestHost, 0x08, 0));
  EXPECT_TRUE(pollTurboReplies(path, nullptr, &handOn));
  EXPECT_EQ(handedOn.size(), std::size_t(kMaxPollFrames));
  EXPECT_EQ(fake.ports[0].incoming.size(), std::size_t(2 * kMaxPollFrames));
  fake.ports[0].incoming.clear();

  auto av = replyFrame(kTestLocal, kTestHost, 0, 0);
  av[13] = 0xE1;
  queue(av);
  queue(replyFrame(kTestRemote, kTestHost, 0x08, 0));
  EXPECT_FALSE(pollTurboReplies(path, nullptr, &handOn));
  EXPECT_EQ(fake.ports[0].incoming.size(), 1u);  // left for the HomePlug AV intake
  fake.ports[0].incoming.clear();

  std::string text;
  auto unknown = identityReply(kTestLocal, false, 1, 0, 0, "a", "b");
  unknown[17] = 9;
  for (const auto& [code, want] : {std::pair{0x31, "Unknown private response recieved (9)."},
                                   {0x23, "Extended Stats response recieved (9)."}}) {
    unknown[20] = static_cast<std::uint8_t>(0x80 | code);
    queue(unknown);
    EXPECT_FALSE(pollTurboReplies(path, &text, &handOn));
    EXPECT_EQ(text, want);
  }
  EXPECT_FALSE(pollTurboReplies(path, nullptr, &handOn));  // nothing waiting
}

TEST_F(TurboOps, KeyAnswerWaitsForTheRightDeviceAndTimesOutAndNoHostSendsNothing) {
  api::deviceTable().turboLocal = true;
  queue(replyFrame(kTestRemote, kTestHost, 0x06, 0));  // not the target
  queue(replyFrame(kTestLocal, kTestHost, 0x06, 0));
  const Hp1Key key{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(setTurboLocalKey(path, key), kKeyHp1Answered);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(readMac(sent()[0], 0), kTestLocal);

  const std::uint32_t before = platform::tickCount();
  EXPECT_EQ(setTurboLocalKey(path, key), kKeyNoAnswer);
  EXPECT_GE(platform::tickCount() - before, kKeyAnswerWaitMs);

  MacAddress anyone = kBroadcastMac;
  queue(replyFrame(kTestLocal, kTestHost, 0x06, 0));  // the local device does not count
  queue(replyFrame(kTestRemote, kTestHost, 0x06, 0));
  EXPECT_EQ(waitHp1KeyAnswer(path, anyone), kKeyHp1Answered);
  EXPECT_EQ(anyone, kTestRemote);

  sent().clear();
  transport::interfaceTable().entries[0].macAddress = kNoMac;
  EXPECT_EQ((std::tuple{sendVendorRequest(kBroadcastMac, 0x10, {}), requestTurboPrivate(0x20),
                        sendLocalCommand(0x12, 0x67), sendHardwareReset(),
                        setTurboLocalKey(path, Hp1Key{}), sent().empty()}),
            (std::tuple{true, 1, 0, 0, kKeyNoAnswer, true}));
}

std::vector<std::uint8_t> loaderReply(std::uint8_t code, std::uint8_t status,
                                      std::uint32_t checksum = 0, const MacAddress& to = kTestHost,
                                      std::uint8_t type = kEntryLoader, std::size_t size = 60) {
  auto f = replyFrame(kLoaderDefaultMac, to, type, 1, size);
  f[17] = code;
  f[20] = status;
  writeBe32(f, 29, checksum);
  return f;
}

// The wait for the loader's reply: only the reply to the command just sent, addressed to the
// host, counts; its status and checksum decide.
TEST_F(TurboOps, LoaderReplyIsOnlyTheReplyToTheCommandSent) {
  // A partial last word counts with zero bytes.
  EXPECT_EQ(loaderChecksum(std::vector<std::uint8_t>{1, 2, 3, 4, 5}), ~(0x04030201u ^ 0x00000005u));
  const MacAddress other{0x02, 0, 0, 0, 0, 9};
  const struct {
    const char* name;
    std::uint8_t sent;
    std::vector<std::vector<std::uint8_t>> frames;
    bool ok;
    std::uint32_t checksum;
  } cases[] = {
      // clang-format off
      {"piece acknowledged", 0x81, {loaderReply(0x81, 0)}, true, 0},
      {"piece refused", 0x81, {loaderReply(0x81, 1)}, false, 0},
      {"late piece reply is not the commit's", 0x82, {loaderReply(0x81, 0)}, false, 0},
      {"commit after a late piece reply", 0x82, {loaderReply(0x81, 0), loaderReply(0x82, 0)}, true, 0},
      {"checksum report", 0x83, {loaderReply(0x84, 0, 7), loaderReply(0x04, 0, 0xA1B2C3D4)}, true, 0xA1B2C3D4},
      {"checksum reply cut short", 0x83, {loaderReply(0x83, 0, 5, kTestHost, kEntryLoader, 31)}, false, 0},
      {"another station's reply", 0x84, {loaderReply(0x84, 0, 0, other)}, false, 0},
      {"another entry type", 0x84, {loaderReply(0x84, 0, 0, kTestHost, kEntryPrivateReply)}, false, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& f : c.frames) queue(f);
    std::uint32_t checksum = 0;
    EXPECT_EQ(awaitLoaderReply(path, c.sent, kLoaderPieceWaitMs, &checksum), c.ok);
    EXPECT_EQ(checksum, c.checksum);
    fake.ports[0].incoming.clear();
  }
}

class Hp1KeyEntry : public TurboOps {
 protected:
  void SetUp() override {
    TurboOps::SetUp();
    auto& st = api::interfaceState(0);
    st.localAnswered = true;
    for (std::size_t i = 0; i < st.localParameters.size(); ++i)
      st.localParameters[i] = static_cast<std::uint8_t>(0x30 + i);
    // What the device holds after taking the key: selector, key and the mode bytes changed.
    expected = st.localParameters;
    expected[14] = 1;
    std::copy(key.begin(), key.end(), expected.begin() + 15);
    expected[23] |= 0x40;
    expected[25] = 1;
  }
  int send() {
    return sendHp1KeyEntry(context(), 0, kTestHost, kBroadcastMac, 1, key, 1, true, false);
  }
  const Hp1Key key{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  std::array<std::uint8_t, 50> expected{};
};

TEST_F(Hp1KeyEntry, ReadBackAcceptsTheMatchingKeyOnlyWhateverTheBookkeepingStores) {
  queue(localParametersReply(kTestLocal, 1, expected));
  EXPECT_EQ(send(), 1);
  ASSERT_EQ(sent().size(), 2u);  // the key entry and one read-back request
  // The mode bytes sent are those expected back.
  EXPECT_EQ((std::tuple{sent()[0][28], api::interfaceState(0).localParameters, logged.size()}),
            (std::tuple{expected[23], expected, 0u}));

  auto other = expected;
  other[15] ^= 0xFF;
  queue(localParametersReply(kTestLocal, 1, other));
  queue(localParametersReply(kTestLocal, 2, expected));  // the working copy does not count
  EXPECT_EQ(send(), 0);
  // The key entry and three rounds of requests.
  EXPECT_EQ((std::tuple{sent().size(), logged, autoscanCalls}),
            (std::tuple{2u + 4u, std::vector{other}, std::vector<bool>{false, true, false, true}}));

  // The scan's bookkeeping keeps every parameters reply as the interface's copy before the key
  // setting sees it; the read-back must still catch a device that did not take the key.
  Hp1Bookkeeping books;
  transport::ReceivePath kept(&books);
  other = expected;
  other[20] ^= 0x01;
  queue(localParametersReply(kTestLocal, 1, other));
  queue(localParametersReply(kTestLocal, 1, other));
  logged.clear();
  EXPECT_EQ(sendHp1KeyEntry(context(kept), 0, kTestHost, kBroadcastMac, 1, key, 1, true, false), 0);
  EXPECT_EQ(logged.size(), 2u);
}

TEST_F(Hp1KeyEntry, KeepModeAddressedAndHostlessEntriesSkipTheReadBack) {
  const auto before = api::interfaceState(0).localParameters;
  EXPECT_EQ(sendHp1KeyEntry(context(), 0, kTestHost, kTestRemote, 0, key, 0, false, true), 0);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(sent()[0][14], 1);  // no mode entry
  EXPECT_EQ(api::interfaceState(0).localParameters, before);
  // No host address, or a Turbo local device: nothing sent, the switch still restored.
  EXPECT_EQ(sendHp1KeyEntry(context(), 0, kNoMac, kBroadcastMac, 1, key, 1, true, false), 0);
  api::deviceTable().turboLocal = true;
  EXPECT_EQ(send(), 0);
  EXPECT_EQ(sent().size(), 1u);
  EXPECT_EQ(autoscanCalls, (std::vector<bool>{false, true, false, true}));
}

using namespace quorrel::testing;
using Texts = std::vector<std::string>;
constexpr MacAddress kTurboMac{0x00, 0x04, 0x87, 0x12, 0x34, 0x56};
const std::string kNew = "QTB2000 fw rev2.0.0 NEW";
const std::string kAdvice = std::string("\n") + kHp1InLoaderAdvice;

Bytes image(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + (i >> 10));
  const std::string mark = "QTB-VERSION:" + kNew;
  std::copy(mark.begin(), mark.end() + 1, b.begin() + 8);  // with its terminating zero
  return b;
}

std::string file(const std::string& name, const Bytes& bytes) {
  static const ScratchDir folder;
  return folder.write(name, bytes);
}

sim::Scenario turbo() {
  sim::Scenario s;
  s.local.mac = kTurboMac;
  s.local.family = sim::AdapterFamily::Turbo;
  s.local.firmware = sim::kDefaultHp1Firmware;
  return s;
}

// One upgrade run over `h` from a fresh start: adapter out of its loader, notices cleared.
struct Runner {
  SimHost& h;
  platform::RecordingNotice notice;
  transport::ReceivePath path;
  std::size_t from = 0;  // frames sent before the run
  Runner(SimHost& host) : h(host) { platform::setNotice(&notice); }
  ~Runner() { platform::setNotice(nullptr); }
  Hp1UpgradeOutcome run(const std::string& img, const std::string& cfg = {}) {
    h.clock.sleepMs(3000);  // past the last restart
    h.local().firmware = sim::kDefaultHp1Firmware;
    h.local().loader = {};
    api::currentState().localMac = kTurboMac;
    notice.clear();
    from = h.sent().size();
    return runHp1Upgrade(Hp1UpgradeContext{path, platform::NoticeOwner::None, {}}, img, cfg);
  }
  Texts texts() const {
    Texts t;
    for (const auto& r : notice.shown) t.push_back(r.text);
    return t;
  }
  std::vector<Bytes> sent(std::uint8_t code) const {  // loader frames, by code at byte 17
    std::vector<Bytes> out;
    for (std::size_t i = from; i < h.sent().size(); ++i)
      if (h.sent()[i].size() > 17 && h.sent()[i][15] == kEntryLoader && h.sent()[i][17] == code)
        out.push_back(h.sent()[i]);
    return out;
  }
};

TEST(Hp1Upgrade, PiecesMasksBadFilesFirstVerificationAndRetarget) {
  SimHost h(turbo());
  Runner r(h);
  Bytes cfg(960);
  for (std::size_t i = 0; i < cfg.size(); ++i) cfg[i] = static_cast<std::uint8_t>(0x40 + i % 50);
  const struct {
    std::size_t cfgBytes;
    std::uint32_t mask;
    std::vector<std::uint16_t> counts;  // bytes 18 to 19 of each piece
  } cases[] = {{959, 0x130, {1034, 1034, 462, 138, 266}},
               {960, 0x1B0, {1034, 1034, 462, 138, 266, 522}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cfgBytes);
    ASSERT_EQ(r.run(file("a.img", image(2500)),
                    file("a.cfg", Bytes(cfg.begin(), cfg.begin() + c.cfgBytes))),
              Hp1UpgradeOutcome::Succeeded);
    const auto pieces = r.sent(kLoaderModulePiece);
    ASSERT_EQ(pieces.size(), c.counts.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_EQ(pieces[i].size(), 1054u);
      EXPECT_EQ(readBe16(pieces[i], 18), c.counts[i]);
      EXPECT_EQ(readBe16(pieces[i], 28) + 10u, c.counts[i]);
      EXPECT_EQ(readBe32(pieces[i], 24), i < 3 ? i * 1024 : 0);
    }
    EXPECT_EQ(readBe32(r.sent(kLoaderCommit).at(0), 20), c.mask);
    const auto& committed = h.local().loader.committed;
    EXPECT_EQ((std::tuple{committed.at(0x100), committed.at(0x20), committed.count(0x80)}),
              (std::tuple{image(2500), Bytes(cfg.begin() + 128, cfg.begin() + 384),
                          c.cfgBytes == 960 ? 1u : 0u}));
    EXPECT_EQ(r.sent(kLoaderChecksum).size(), c.counts.size() - 2);
    EXPECT_EQ((std::tuple{h.local().firmware, r.texts(), r.notice.shown.back().caption}),
              (std::tuple{kNew, Texts{"Firmware Update Successful"}, "Success"}));
  }

  // The files are read, read-only, before the reset into the loader: a bad one sends nothing.
  const std::string ro = file("ro.img", image(3000));
  const struct {
    std::string img, cfg, message;
  } bad[] = {{"", "", "No Image File is selected"},
             {"/nonexistent/x.img", "", "Can not open Image file"},
             {file("empty.img", {}), "", "Can not open Image file"},
             {ro, "/nonexistent/x.cfg", "Can not open Config file"},
             {ro, file("short.cfg", Bytes(383, 1)), "Can not open Config file"}};
  for (const auto& c : bad) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(r.run(c.img, c.cfg), Hp1UpgradeOutcome::BadInput);
    EXPECT_EQ(r.texts(), Texts{c.message});
    EXPECT_EQ(h.sent().size(), r.from);
  }
  EXPECT_EQ(r.run(ro, file("ok.cfg", Bytes(384, 1))), Hp1UpgradeOutcome::Succeeded);

  // Every module is verified, the image whole whatever its size, each with its own message; and
  // a loader silent at the adapter's address gets everything from the first piece's second
  // sending on at the default address, once.
  const std::string big = file("big.img", image(100 * 1024)), v = file("v.cfg", Bytes(960, 3));
  const struct {
    std::uint32_t module;
    bool sim::Behaviour::*knob;
    Texts texts;
  } modules[] = {{0x100, nullptr, {"Mac Image Verification Failed" + kAdvice}},
                 {0x10, nullptr, {"Identy Section Verification Failed" + kAdvice}},
                 {0x20, nullptr, {"Option section Verification Failed" + kAdvice}},
                 {0x80, nullptr, {"Param Module Verification Failed" + kAdvice}},
                 {0, &sim::Behaviour::loaderDefaultAddressOnly, {"Firmware Update Successful"}},
                 {0, &sim::Behaviour::loaderSilentFirstPiece, {"Firmware Update Successful"}},
                 {0,
                  &sim::Behaviour::loaderMute,
                  {"Packet sent but no response", "MAC Image Sending Failed" + kAdvice}}};
  for (const auto& c : modules) {
    SCOPED_TRACE(c.texts.back());
    sim::Behaviour& b = h.behaviour();
    b.loaderBadChecksum = c.module;
    b.loaderDefaultAddressOnly = b.loaderSilentFirstPiece = b.loaderMute = false;
    if (c.knob != nullptr) b.*c.knob = true;
    r.run(big, v);
    EXPECT_EQ(r.texts(), c.texts);
    EXPECT_EQ(h.local().loader.active, c.texts.size() > 1 || c.module != 0);
    const auto checks = r.sent(kLoaderChecksum);
    EXPECT_TRUE(checks.empty() || readBe32(checks[0], 24) == 100u * 1024);
    if (c.module != 0) continue;
    const auto pieces = r.sent(kLoaderModulePiece);
    EXPECT_EQ(readMac(pieces.at(0), 0), kTurboMac);
    EXPECT_EQ(readBe32(pieces.at(1), 24), 0u);
    for (std::size_t i = r.from + 2; i < h.sent().size(); ++i)  // after the reset and first piece
      EXPECT_EQ(readMac(h.sent()[i], 0), kLoaderDefaultMac);
    EXPECT_EQ(api::currentState().localMac, kLoaderDefaultMac);
  }
}

// Every send failed, and every received frame lost, damaged or late, in turn.
TEST(Hp1Upgrade, EveryStepFailsOnce) {
  const std::string img = file("s.img", image(2500)), cfg = file("s.cfg", Bytes(960, 0x5A));
  for (const Fault fault : kEveryFault) {
    SCOPED_TRACE(faultName(fault));
    SimHost h(turbo());
    Runner r(h);
    Hp1UpgradeOutcome outcome{};
    std::set<std::string> seen;
    const auto run = [&](FailureInjector& injector) {
      reopenThrough(injector);
      outcome = r.run(img, cfg);
    };
    const auto check = [&](std::uint32_t n, const FailureInjector&) {
      SCOPED_TRACE(n);
      ASSERT_FALSE(r.notice.shown.empty());
      const std::string last = r.notice.shown.back().text;
      seen.insert(last.substr(0, last.find('\n')));
      if (outcome == Hp1UpgradeOutcome::Succeeded) {
        EXPECT_EQ(h.local().firmware, kNew);
        return;
      }
      EXPECT_EQ(h.local().firmware, sim::kDefaultHp1Firmware);
      // Once the adapter was sent into its loader it stays there, and the message says so.
      const bool inLoader = h.local().loader.active;
      EXPECT_EQ(last != "Reset Device to Secondary Loader Failed", inLoader);
      EXPECT_EQ(last.ends_with(kAdvice), inLoader);
      for (const auto& s : r.notice.shown) EXPECT_EQ(s.caption, "Error");
    };
    EXPECT_GE(sweep(h.backend, fault, &h.clock, run, check), 11u);
    EXPECT_EQ(outcome, Hp1UpgradeOutcome::Succeeded);  // the untouched run
    const std::set<std::string> all{"Reset Device to Secondary Loader Failed",
                                    "MAC Image Sending Failed",
                                    "Commit Module Failed",
                                    "Verify Module Failed",
                                    "Mac Image Verification Failed",
                                    "Identy Section Verification Failed",
                                    "Param Module Verification Failed",
                                    "Option section Verification Failed",
                                    "Hardware Reset Failed",
                                    "Firmware Update Successful"};
    EXPECT_TRUE(fault != Fault::FailSend || seen == all);
    // A late reply is still taken: only a lost one fails.
    EXPECT_TRUE(fault != Fault::DelayAnswer ||
                seen == std::set<std::string>{"Firmware Update Successful"});
  }
}

}  // namespace
}  // namespace quorrel::brantleapi
