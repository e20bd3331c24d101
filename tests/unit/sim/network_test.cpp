// The simulated network's answers byte by byte, its handling of hostile requests, and its
// misbehaviour knobs.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "adapter-sim/core/network.h"
#include "crypto/keys.h"

namespace quorrel::sim {
namespace {

using Frame = std::vector<std::uint8_t>;

constexpr MacAddress kHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr MacAddress kRemoteA{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02};
constexpr MacAddress kRemoteOff{0x00, 0xB0, 0x52, 0x20, 0x00, 0x03};
constexpr MacAddress kRemoteElsewhere{0x00, 0xB0, 0x52, 0x20, 0x00, 0x04};
constexpr MacAddress kRemoteD{0x00, 0xB0, 0x52, 0x20, 0x00, 0x05};
constexpr NetworkKey kKey{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

Scenario scenario(std::uint8_t localChip) {
  Scenario s;
  s.local = Adapter{kLocal, localChip, "LQA-100-FW-2-4-0517", kKey, "", 0, 0, true};
  s.remotes.push_back(Adapter{kRemoteA, 2, "LQA-100-REMOTE-A", kKey, "", 120, 110, true});
  s.remotes.push_back(Adapter{kRemoteOff, 3, "LQA-100-OFF", kKey, "", 50, 50, false});
  NetworkKey other = kKey;
  other[0] ^= 0xFF;
  s.remotes.push_back(Adapter{kRemoteElsewhere, 1, "LQA-100-ELSEWHERE", other, "", 60, 60, true});
  s.remotes.push_back(Adapter{kRemoteD, 5, "LQA-100-D", kKey, "", 30, 28, true});
  return s;
}

// Requests are written out by hand here, byte by byte, not with the simulation's encoder.
Frame request(const MacAddress& to, std::uint16_t type, std::uint8_t mmv = 0) {
  Frame f(64, 0);
  std::copy(to.begin(), to.end(), f.begin());
  std::copy(kHost.begin(), kHost.end(), f.begin() + 6);
  f[12] = 0x88;
  f[13] = 0xE1;
  f[14] = mmv;
  f[15] = static_cast<std::uint8_t>(type);
  f[16] = static_cast<std::uint8_t>(type >> 8);
  const std::size_t oui = mmv == 1 ? 19 : 17;
  f[oui] = 0x00;
  f[oui + 1] = 0xB0;
  f[oui + 2] = 0x52;
  return f;
}

Frame setKey(const NetworkKey& key, std::uint8_t selector) {
  Frame f = request(kLocalDeviceMac, 0xA050);
  f[20] = 1;
  std::copy(key.begin(), key.end(), f.begin() + 21);
  f[37] = selector;
  return f;
}

MacAddress macAt(const Frame& f, std::size_t at) {
  MacAddress m{};
  std::copy_n(f.begin() + at, 6, m.begin());
  return m;
}

// Sends one request at t = 0 and collects everything due within a second.
std::vector<Frame> answersTo(Network& net, const Frame& req, std::uint64_t at = 0) {
  net.receive(req, at);
  return net.takeDue(at + 1000000);
}

void expectAvHeader(const Frame& f, const MacAddress& from, std::uint16_t type, std::uint8_t mmv) {
  ASSERT_GE(f.size(), 60u);
  EXPECT_EQ(macAt(f, 0), kHost);
  EXPECT_EQ(macAt(f, 6), from);
  EXPECT_EQ(f[12], 0x88);
  EXPECT_EQ(f[13], 0xE1);
  EXPECT_EQ(f[14], mmv);
  EXPECT_EQ(f[15], type & 0xFF);
  EXPECT_EQ(f[16], type >> 8);
  const std::size_t oui = mmv == 1 ? 19 : 17;
  EXPECT_EQ(f[oui], 0x00);
  EXPECT_EQ(f[oui + 1], 0xB0);
  EXPECT_EQ(f[oui + 2], 0x52);
}

TEST(NetworkTest, LocalAdapterAnswersVersionAtItsAddresses) {
  Network net(scenario(1));
  net.receive(request(kLocalDeviceMac, 0xA000), 1000);
  EXPECT_TRUE(net.takeDue(1299).empty()) << "answered before its latency";
  ASSERT_EQ(net.nextDueUs(), 1300u);
  auto due = net.takeDue(1300);
  ASSERT_EQ(due.size(), 1u);
  const Frame& f = due[0];
  ASSERT_EQ(f.size(), 88u);
  expectAvHeader(f, kLocal, 0xA001, 0);
  EXPECT_EQ(f[20], 0);   // status
  EXPECT_EQ(f[21], 1);   // chip id
  EXPECT_EQ(f[22], 19);  // text length
  EXPECT_EQ(std::string(f.begin() + 23, f.begin() + 42), "LQA-100-FW-2-4-0517");
  for (std::size_t i = 42; i < 88; ++i) EXPECT_EQ(f[i], 0) << i;

  EXPECT_EQ(answersTo(net, request(kLocal, 0xA000)).size(), 1u);
  EXPECT_EQ(answersTo(net, request(kBroadcastMac, 0xA000)).size(), 1u);
}

TEST(NetworkTest, StationsAnswerVersionThroughTheLocalAdapter) {
  Network net(scenario(1));
  net.receive(request(kRemoteA, 0xA000), 0);
  EXPECT_TRUE(net.takeDue(2299).empty());
  auto due = net.takeDue(2300);
  ASSERT_EQ(due.size(), 1u);
  expectAvHeader(due[0], kRemoteA, 0xA001, 0);
  EXPECT_EQ(due[0][21], 2);
  EXPECT_EQ(due[0][22], 16);
  EXPECT_EQ(std::string(due[0].begin() + 23, due[0].begin() + 39), "LQA-100-REMOTE-A");

  EXPECT_TRUE(answersTo(net, request(kRemoteOff, 0xA000)).empty()) << "switched off";
  EXPECT_TRUE(answersTo(net, request(kRemoteElsewhere, 0xA000)).empty()) << "other network";
  EXPECT_TRUE(answersTo(net, request(MacAddress{2, 9, 9, 9, 9, 9}, 0xA000)).empty());
}

TEST(NetworkTest, FullLengthFirmwareTextFillsTheField) {
  Scenario s = scenario(1);
  s.local.firmware = std::string(64, 'F');
  Network net(std::move(s));
  auto due = answersTo(net, request(kLocalDeviceMac, 0xA000));
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0][22], 64);
  EXPECT_EQ(due[0][23 + 63], 'F');
  EXPECT_EQ(due[0][87], 0);
}

TEST(NetworkTest, FirstGenerationListsStationsInVersion0Layout) {
  Network net(scenario(3));
  auto due = answersTo(net, request(kLocal, 0xA038));
  ASSERT_EQ(due.size(), 1u);
  const Frame& f = due[0];
  expectAvHeader(f, kLocal, 0xA039, 0);
  ASSERT_EQ(f.size(), 39u + 2 * 15);
  EXPECT_EQ(f[20], 1);  // one network
  EXPECT_EQ(f[38], 2);  // present stations of the local network only
  EXPECT_EQ(macAt(f, 39), kRemoteA);
  EXPECT_EQ(f[39 + 13], 120);
  EXPECT_EQ(f[39 + 14], 110);
  EXPECT_EQ(macAt(f, 54), kRemoteD);
  EXPECT_EQ(f[54 + 13], 30);
  EXPECT_EQ(f[54 + 14], 28);

  // Stations are not asked for network information here; a rate set beyond 8 bits is capped.
  EXPECT_TRUE(answersTo(net, request(kRemoteA, 0xA038)).empty());
  net.scenario().remotes[0].txRate = 0x1234;
  due = answersTo(net, request(kLocalDeviceMac, 0xA038));
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0][39 + 13], 0xFF);
}

TEST(NetworkTest, SecondGenerationListsStationsInVersion1Layout) {
  Network net(scenario(4));
  net.scenario().remotes[0].txRate = 0x1234;
  for (std::uint8_t mmv : {1, 0}) {  // the adapter's layout, whatever the request's version
    auto due = answersTo(net, request(kLocalDeviceMac, 0xA038, mmv));
    ASSERT_EQ(due.size(), 1u);
    const Frame& f = due[0];
    expectAvHeader(f, kLocal, 0xA039, 1);
    ASSERT_EQ(f.size(), 60u + 2 * 24);
    EXPECT_EQ(f[17], 0);
    EXPECT_EQ(f[18], 0);
    for (std::size_t i = 22; i < 26; ++i) EXPECT_EQ(f[i], 0) << i;
    EXPECT_EQ(f[27], 1);
    EXPECT_EQ(f[54], 2);
    EXPECT_EQ(macAt(f, 60), kRemoteA);
    EXPECT_EQ(f[60 + 16], 0x34);
    EXPECT_EQ(f[60 + 17], 0x12);
    EXPECT_EQ(macAt(f, 84), kRemoteD);
    EXPECT_EQ(f[84 + 16], 30);
    EXPECT_EQ(f[84 + 17], 0);
  }
}

TEST(NetworkTest, EmptyStationListIsPaddedToTheMinimum) {
  Scenario s = scenario(1);
  s.remotes.clear();
  Network net(std::move(s));
  auto due = answersTo(net, request(kLocalDeviceMac, 0xA038));
  ASSERT_EQ(due.size(), 1u);
  ASSERT_EQ(due[0].size(), 60u);
  EXPECT_EQ(due[0][38], 0);
}

TEST(NetworkTest, LocalAdapterTakesANewKey) {
  Network net(scenario(1));
  NetworkKey fresh{};
  fresh.fill(0x5A);
  auto due = answersTo(net, setKey(fresh, 0x0F));
  ASSERT_EQ(due.size(), 1u);
  expectAvHeader(due[0], kLocal, 0xA051, 0);
  EXPECT_EQ(due[0].size(), 60u);
  EXPECT_EQ(due[0][20], 0);
  EXPECT_EQ(net.scenario().local.networkKey, fresh);
  // The stations keep the old key, so the local adapter is now alone in its network.
  due = answersTo(net, request(kLocalDeviceMac, 0xA038));
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0][38], 0);
  EXPECT_TRUE(answersTo(net, request(kRemoteA, 0xA000)).empty());

  // Another selector is not the local key setting; a cut-off request is not acted on.
  EXPECT_TRUE(answersTo(net, setKey(kKey, 0x00)).empty());
  Frame cut = setKey(kKey, 0x0F);
  cut.resize(40);
  EXPECT_TRUE(answersTo(net, cut).empty());
  EXPECT_EQ(net.scenario().local.networkKey, fresh);
}

// The key reaches a station only sealed with the access key its own password derives.
TEST(NetworkTest, RemoteJoinsOnlyWithItsOwnAccessKey) {
  Scenario s = scenario(1);
  s.remotes[0].devicePassword = "ABCD-EFGH-IJKL-MNOP";
  s.remotes[3].devicePassword = "QRST-UVWX-YZ23-4567";
  Network net(s);
  NetworkKey fresh{};
  fresh.fill(0x77);
  auto remoteSetKey = [&](const MacAddress& target, const std::string& password) {
    Frame f = setKey(fresh, 0x00);
    std::copy(target.begin(), target.end(), f.begin() + 38);
    const auto dak = crypto::deriveDAK(password);
    std::copy(dak.begin(), dak.end(), f.begin() + 44);
    return f;
  };
  EXPECT_TRUE(answersTo(net, remoteSetKey(kRemoteA, "WRONG-PASSWORD")).empty());
  EXPECT_EQ(net.scenario().remotes[0].networkKey, kKey);

  net.receive(remoteSetKey(kRemoteA, "ABCD-EFGH-IJKL-MNOP"), 0);
  EXPECT_TRUE(net.takeDue(100000).empty());  // still joining
  auto due = net.takeDue(2000000);
  ASSERT_EQ(due.size(), 1u);
  expectAvHeader(due[0], kRemoteA, 0xA051, 0);
  EXPECT_EQ(due[0][20], 0);
  EXPECT_EQ(net.scenario().remotes[0].networkKey, fresh);
  EXPECT_EQ(net.scenario().remotes[3].networkKey, kKey);

  // Searching: the broadcast target finds whichever station opens the key.
  due = answersTo(net, remoteSetKey(kBroadcastMac, "QRST-UVWX-YZ23-4567"), 3000000);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(macAt(due[0], 6), kRemoteD);
  EXPECT_EQ(net.scenario().remotes[3].networkKey, fresh);
}

TEST(NetworkTest, HostileRequestsAreIgnored) {
  Network net(scenario(1));
  Frame badOui = request(kLocalDeviceMac, 0xA000);
  badOui[19] = 0x53;
  Frame v1OuiAtV0 = request(kLocalDeviceMac, 0xA000, 1);
  v1OuiAtV0[14] = 0;
  Frame badEtherType = request(kLocalDeviceMac, 0xA000);
  badEtherType[13] = 0xE2;
  Frame version2 = request(kLocalDeviceMac, 0xA000);
  version2[14] = 2;
  Frame header = request(kLocalDeviceMac, 0xA000);
  header.resize(19);
  Frame confirmation = request(kLocalDeviceMac, 0xA001);
  for (const Frame& f :
       {badOui, v1OuiAtV0, badEtherType, version2, header, confirmation, Frame{}, Frame(13, 0xFF)})
    EXPECT_TRUE(answersTo(net, f).empty());
  EXPECT_EQ(net.stats().ignored, 8u);

  // Random bytes: never a crash, never an answer to something that is not a request.
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    Frame f(rng() % 120);
    for (auto& b : f) b = static_cast<std::uint8_t>(rng());
    if (f.size() > 20 && i % 2 == 0) {  // half of them with a plausible header
      f[12] = 0x88, f[13] = 0xE1, f[14] = 0, f[17] = 0, f[18] = 0xB0, f[19] = 0x52;
      f[16] = 0xA0;
    }
    net.receive(f, 0);
  }
  for (const Frame& f : net.takeDue(1000000)) EXPECT_EQ(f[15] & 3, 1) << "only confirmations";
}

TEST(NetworkTest, DropEveryNthAnswer) {
  Scenario s = scenario(1);
  s.behaviour.dropEvery = 2;
  Network net(std::move(s));
  std::vector<std::size_t> got;
  for (int i = 0; i < 5; ++i)
    got.push_back(answersTo(net, request(kLocalDeviceMac, 0xA000)).size());
  EXPECT_EQ(got, (std::vector<std::size_t>{1, 0, 1, 0, 1}));
  EXPECT_EQ(net.stats().dropped, 2u);
  // A dropped set-key confirmation still leaves the key taken.
  NetworkKey fresh{};
  EXPECT_TRUE(answersTo(net, setKey(fresh, 0x0F)).empty());
  EXPECT_EQ(net.scenario().local.networkKey, fresh);
}

TEST(NetworkTest, DelayedAnswersFallDueLate) {
  Scenario s = scenario(1);
  s.behaviour.delayMs = 150;
  Network net(std::move(s));
  net.receive(request(kLocalDeviceMac, 0xA000), 0);
  EXPECT_TRUE(net.takeDue(150299).empty());
  EXPECT_EQ(net.takeDue(150300).size(), 1u);
}

TEST(NetworkTest, WrongOuiCopyComesFirst) {
  Scenario s = scenario(4);
  s.behaviour.corruptFirst = Corruption::Oui;
  Network net(std::move(s));
  auto due = answersTo(net, request(kLocalDeviceMac, 0xA000));
  ASSERT_EQ(due.size(), 2u);
  EXPECT_EQ(due[0][17], 0xFF);
  due[0][17] = 0x00;
  EXPECT_EQ(due[0], due[1]) << "the decoy differs only in the OUI";
  // The version 1 layout has its OUI two bytes later.
  due = answersTo(net, request(kLocalDeviceMac, 0xA038, 1));
  ASSERT_EQ(due.size(), 2u);
  EXPECT_EQ(due[0][19], 0xFF);
  EXPECT_EQ(due[1][19], 0x00);
}

TEST(NetworkTest, BadChecksumCopyComesFirstForAnswersWithAChecksum) {
  Scenario s = scenario(1);
  s.behaviour.corruptFirst = Corruption::Checksum;
  Network net(std::move(s));
  // Stands in for a family whose answers carry a checksum32 word at 32.
  static constexpr std::uint8_t kData[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  net.addHandler(0x88E1, 0xA024, [](Network& n, const wire::Request& r, std::vector<Answer>& out) {
    auto f = wire::avFrame(r.source, n.scenario().local.mac, 0, 0xA025, 24);
    writeLe32(f, 32, wire::checksum32(ByteSpan(kData)));
    writeBytes(f, 36, ByteSpan(kData));
    out.push_back(Answer{std::move(f), 0, wire::kOuiOffsetV0, 32});
  });
  auto due = answersTo(net, request(kLocalDeviceMac, 0xA024));
  ASSERT_EQ(due.size(), 2u);
  // A receiver checks by seeding the sum with the received word: 0 when intact.
  EXPECT_NE(wire::checksum32(ByteSpan(due[0]).subspan(36, 8), readLe32(due[0], 32)), 0u);
  EXPECT_EQ(wire::checksum32(ByteSpan(due[1]).subspan(36, 8), readLe32(due[1], 32)), 0u);
  // Answers without a checksum come alone.
  EXPECT_EQ(answersTo(net, request(kLocalDeviceMac, 0xA000)).size(), 1u);
  EXPECT_EQ(net.stats().decoys, 1u);
}

TEST(NetworkTest, NonZeroStatusRefusesTheKey) {
  Scenario s = scenario(1);
  s.behaviour.status = 0x11;
  s.behaviour.statusType = 0xA051;
  Network net(std::move(s));
  auto due = answersTo(net, setKey(NetworkKey{}, 0x0F));
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0][20], 0x11);
  EXPECT_EQ(net.scenario().local.networkKey, kKey);
  due = answersTo(net, request(kLocalDeviceMac, 0xA000));
  EXPECT_EQ(due.at(0)[20], 0) << "the status applies to set-key confirmations only";
  net.behaviour().statusType = 0;
  due = answersTo(net, request(kLocalDeviceMac, 0xA000));
  EXPECT_EQ(due.at(0)[20], 0x11);
}

TEST(NetworkTest, NoiseIsAFloodOfUnrelatedFrames) {
  Scenario s = scenario(1);
  s.behaviour.noise = true;
  s.behaviour.noiseIntervalUs = 1000;
  Network net(std::move(s));
  auto burst = net.takeDue(0);
  ASSERT_EQ(burst.size(), 5u);
  std::multiset<std::uint16_t> types;
  for (const auto& f : burst) {
    EXPECT_EQ(macAt(f, 0), kBroadcastMac);
    EXPECT_GE(f.size(), 60u);
    types.insert(static_cast<std::uint16_t>(f[12] << 8 | f[13]));
    if (f[12] == 0x88 && f[13] == 0xE1) {
      EXPECT_EQ(f[15] & 3, 2) << "not a confirmation";
    }
  }
  EXPECT_EQ(types, (std::multiset<std::uint16_t>{0x0800, 0x0806, 0x86DD, 0x887B, 0x88E1}));
  EXPECT_TRUE(net.takeDue(999).empty());
  EXPECT_EQ(net.nextDueUs(), 1000u);

  // Once the host is known it gets the noise addressed to it too; a long sleep gives one
  // burst, not thousands.
  net.receive(request(kLocalDeviceMac, 0xA000), 999);
  auto later = net.takeDue(50000000);
  EXPECT_EQ(later.size(), 11u);
  std::size_t toHost = 0;
  for (const auto& f : later) toHost += macAt(f, 0) == kHost && macAt(f, 6) != kLocal;
  EXPECT_EQ(toHost, 5u);
}

TEST(NetworkTest, FramesComeOutInDueOrder) {
  Network net(scenario(1));
  net.receive(request(kRemoteA, 0xA000), 0);           // due at 2300
  net.receive(request(kLocalDeviceMac, 0xA000), 100);  // due at 400
  net.receive(request(kLocalDeviceMac, 0xA038), 100);  // due at 400, after the version
  auto due = net.takeDue(10000);
  ASSERT_EQ(due.size(), 3u);
  EXPECT_EQ(due[0][15], 0x01);
  EXPECT_EQ(due[1][15], 0x39);
  EXPECT_EQ(macAt(due[2], 6), kRemoteA);
  EXPECT_FALSE(net.nextDueUs().has_value());
}

}  // namespace
}  // namespace quorrel::sim
