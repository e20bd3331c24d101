// The simulated network's handling of hostile requests and of module requests it must refuse,
// and the in-process transport's failing opens and noise.
// Its ordinary answers, the keys it takes and the stations it lets join are shown by the scan,
// membership and end-to-end tests that decode them with the program's own code; each knob a
// test relies on is seen working by that test (the probe counter's drops, the noise counted by
// the scan and end-to-end tests).
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "adapter-sim/core/in_process_backend.h"
#include "adapter-sim/core/network.h"
#include "support/av_frames.h"
#include "transport/interface_table.h"

namespace quorrel::sim {
namespace {

using Frame = std::vector<std::uint8_t>;

constexpr MacAddress kHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr NetworkKey kKey{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// A local adapter alone.
Scenario scenario() {
  Scenario s;
  s.local = Adapter{kLocal, 1, "LQA-100-FW-2-4-0517", kKey, "", 0, 0, true};
  return s;
}

// A request with `payload` after its header (22 bytes for MMV 1: two fragment bytes before
// the OUI), padded to 64 bytes.
Frame request(const MacAddress& to, std::uint16_t type, std::uint8_t mmv = 0,
              const Frame& payload = {}) {
  Frame f =
      mmv == 1 ? testing::avFrameV1(type, 22, kHost, to) : testing::avFrame(type, 20, kHost, to);
  f.insert(f.end(), payload.begin(), payload.end());
  if (f.size() < 64) f.resize(64);
  return f;
}

Frame operator+(Frame a, const Frame& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Frame le32(std::uint32_t v) {
  return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

Frame readPiece(std::uint8_t module, std::uint16_t length, std::uint32_t offset) {
  return Frame{module, 0, std::uint8_t(length), std::uint8_t(length >> 8)} + le32(offset);
}

// The one answer to a module request, or an empty frame when there was none within 10 s.
Frame answer(Network& net, std::uint16_t type, const Frame& payload, std::uint64_t& now) {
  net.receive(request(kLocalDeviceMac, type, 0, payload), now);
  now += 10'000'000;
  auto due = net.takeDue(now);
  return due.size() == 1 ? due[0] : Frame{};
}

TEST(NetworkTest, HostileRequestsAreIgnoredAndHostileModuleRequestsRefused) {
  Network net(scenario());
  std::vector<Frame> bad(6, request(kLocalDeviceMac, 0xA000));
  bad[0][19] = 0x53;                             // OUI
  bad[1] = request(kLocalDeviceMac, 0xA000, 1);  // the MMV 1 OUI place ...
  bad[1][14] = 0;                                // ... in an MMV 0 frame
  bad[2][13] = 0xE2;                             // ethertype
  bad[3][14] = 2;                                // version
  bad[4].resize(19);                             // header cut
  bad[5] = request(kLocalDeviceMac, 0xA001);     // a confirmation
  bad.insert(bad.end(), {Frame{}, Frame(13, 0xFF)});
  for (const Frame& f : bad) {
    net.receive(f, 0);
    EXPECT_TRUE(net.takeDue(1000000).empty());
  }
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

  // Module requests it must refuse are answered with a status.
  Network modules(scenario());  // untouched by the random bytes
  std::uint64_t now = 0;
  const Frame refused[] = {readPiece(3, 16, 0), readPiece(2, 0, 0), readPiece(2, 1025, 0),
                           readPiece(2, 16, 15560), readPiece(1, 16, 0xFFFFFFF0)};
  const std::uint8_t statuses[] = {0x10, 0x10, 0x10, 0x11, 0x11};
  for (std::size_t i = 0; i < std::size(refused); ++i) {
    const Frame f = answer(modules, 0xA024, refused[i], now);
    ASSERT_GE(f.size(), 60u) << i;
    EXPECT_EQ(f[20], statuses[i]) << i;
    EXPECT_EQ(f[26] | f[27] << 8, 0) << i;
  }
  // Write pieces in turn: a wrong checksum, the right one, a gap, a length past the frame.
  const Frame good = readPiece(2, 8, 0) + le32(~0u);  // the checksum of eight zero bytes
  Frame gap = good, longer = good;
  gap[4] = 16;       // offset 16 while 8 bytes are written
  longer[2] = 0xF0;  // 240 bytes claimed in a 64-byte frame
  const std::pair<Frame, int> writes[] = {
      {readPiece(2, 8, 0) + le32(0), 0x12}, {good, 0}, {gap, 0x11}, {longer, 0x10}};
  for (const auto& [w, status] : writes) EXPECT_EQ(answer(modules, 0xA020, w, now)[20], status);
  // A commit of an 8-byte block that is not sealed, and of nothing, is refused.
  EXPECT_EQ(answer(modules, 0xA028, {0x02}, now)[20], 0x13);
  EXPECT_EQ(answer(modules, 0xA028, {0x00}, now)[20], 0x13);
  EXPECT_EQ(modules.scenario().local.modules.counters.restarts, 0u);
  // A start whose words name no image written.
  const Frame start = Frame{1, 0, 0, 0} + le32(0x01000000) + le32(100) + le32(0) + le32(0x01000000);
  EXPECT_EQ(answer(modules, 0xA00C, start, now)[20], 0x13);
}

// What the scan's tests over the in-process transport rely on without seeing it: opens that fail
// on request (the ageing test would pass without them) and noise that reaches the capture,
// management frames only (the noise test would pass without it). How long a receive lets the
// virtual clock run shows in the scan's timed tests.
constexpr MacAddress kSpareMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x11};

TEST(InProcessBackendTest, FailsOpensOnRequestAndDeliversManagementNoise) {
  platform::VirtualClock clock;
  Network network{Scenario{}};
  InProcessBackend backend{clock};
  backend.addInterface("sim0", kDefaultHostMac, &network);
  backend.addInterface("sim1", kSpareMac, nullptr);
  transport::setBackend(&backend);
  ASSERT_EQ(transport::EnumerateInterfaces(), 1);
  EXPECT_EQ(transport::OpenInterface(1), 1);
  backend.setOpenFails(1, true);
  transport::CloseAllInterfaces();
  EXPECT_EQ(transport::OpenInterface(1), 0);
  EXPECT_EQ(transport::OpenInterface(0), 1);

  network.behaviour().noise = true;
  network.behaviour().noiseIntervalUs = 1000;
  std::set<std::uint16_t> types;
  for (int i = 0; i < 50; ++i)
    if (const auto* f = transport::ReceiveFrame(0)) types.insert(readBe16(f->bytes(), 12));
  EXPECT_EQ(types, (std::set<std::uint16_t>{0x887B, 0x88E1}));
  transport::resetInterfaceTable();
  transport::setBackend(nullptr);
}

}  // namespace
}  // namespace quorrel::sim
