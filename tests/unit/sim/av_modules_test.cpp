// The simulated adapter's module transfers on the wire: answer bytes at their offsets, what it
// refuses and with which status, and the scenario keys.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "adapter-sim/core/network.h"

namespace quorrel::sim {
namespace {

using Frame = std::vector<std::uint8_t>;

constexpr MacAddress kHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr NetworkKey kKey{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

Scenario scenario() {
  Scenario s;
  s.local.mac = kLocal;
  s.local.firmware = "LQA-100-X";
  s.local.networkKey = kKey;
  return s;
}

// Written out by hand: header, then `payload` from byte 20, padded to 64 bytes.
Frame request(std::uint16_t type, const Frame& payload) {
  Frame f = {0x00,
             0xB0,
             0x52,
             0x00,
             0x00,
             0x01,
             0x02,
             0x00,
             0x00,
             0x00,
             0x00,
             0x10,
             0x88,
             0xE1,
             0x00,
             static_cast<std::uint8_t>(type),
             static_cast<std::uint8_t>(type >> 8),
             0x00,
             0xB0,
             0x52};
  f.insert(f.end(), payload.begin(), payload.end());
  if (f.size() < 64) f.resize(64, 0);
  return f;
}

Frame le32(std::uint32_t v) {
  return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

Frame readRequest(std::uint8_t module, std::uint16_t length, std::uint32_t offset) {
  Frame p = {module, 0, std::uint8_t(length), std::uint8_t(length >> 8)};
  const Frame o = le32(offset);
  p.insert(p.end(), o.begin(), o.end());
  return request(0xA024, p);
}

std::uint32_t xorWords(const std::uint8_t* p, std::size_t bytes) {
  std::uint32_t x = 0;
  for (std::size_t i = 0; i + 4 <= bytes; i += 4)
    x ^= std::uint32_t(p[i]) | std::uint32_t(p[i + 1]) << 8 | std::uint32_t(p[i + 2]) << 16 |
         std::uint32_t(p[i + 3]) << 24;
  return x;
}

// The one answer to `req`, or an empty frame when there was none within 10 s.
Frame answer(Network& net, const Frame& req, std::uint64_t& now) {
  net.receive(req, now);
  now += 10'000'000;
  auto due = net.takeDue(now);
  return due.size() == 1 ? due[0] : Frame{};
}

TEST(AvModulesTest, ReadAnswerCarriesThePieceAndItsChecksum) {
  Network net(scenario());
  std::uint64_t now = 0;
  const Frame f = answer(net, readRequest(2, 1024, 0), now);
  ASSERT_EQ(f.size(), 36u + 1024);
  EXPECT_EQ(f[15], 0x25);
  EXPECT_EQ(f[16], 0xA0);
  EXPECT_EQ(f[20], 0);  // status
  EXPECT_EQ(f[24], 2);  // module
  EXPECT_EQ(f[26] | f[27] << 8, 1024);
  EXPECT_EQ(xorWords(&f[28], 4), 0u);  // offset
  EXPECT_EQ(~xorWords(&f[36], 1024), xorWords(&f[32], 4));
  // The block is valid, and its MAC and key are the adapter's.
  EXPECT_EQ(f[36], 4);
  EXPECT_EQ(f[37], 4);
  EXPECT_EQ(f[40] | f[41] << 8, 15560);
  EXPECT_TRUE(std::equal(kLocal.begin(), kLocal.end(), f.begin() + 36 + 12));
  EXPECT_TRUE(std::equal(kKey.begin(), kKey.end(), f.begin() + 36 + 100));
  EXPECT_EQ(xorWords(net.scenario().local.modules.parameterBlock.data(), 15560), 0xFFFFFFFFu);

  const Frame last = answer(net, readRequest(2, 1024, 15360), now);
  ASSERT_EQ(last.size(), 36u + 200);
  EXPECT_EQ(last[26] | last[27] << 8, 200);

  // A new key reaches the block, which stays sealed.
  net.scenario().local.networkKey[0] = 0x99;
  const Frame again = answer(net, readRequest(2, 1024, 0), now);
  EXPECT_EQ(again[36 + 100], 0x99);
  EXPECT_EQ(xorWords(net.scenario().local.modules.parameterBlock.data(), 15560), 0xFFFFFFFFu);
}

TEST(AvModulesTest, HostileRequestsAreRefusedWithAStatus) {
  Network net(scenario());
  std::uint64_t now = 0;
  const Frame bad[] = {readRequest(3, 16, 0), readRequest(2, 0, 0), readRequest(2, 1025, 0),
                       readRequest(2, 16, 15560), readRequest(1, 16, 0xFFFFFFF0)};
  const std::uint8_t status[] = {0x10, 0x10, 0x10, 0x11, 0x11};
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    const Frame f = answer(net, bad[i], now);
    ASSERT_GE(f.size(), 60u) << i;
    EXPECT_EQ(f[20], status[i]) << i;
    EXPECT_EQ(f[26] | f[27] << 8, 0) << i;
  }
  // Write pieces: a wrong checksum, a gap, a length past the frame.
  Frame piece = {2, 0, 8, 0, 0, 0, 0, 0};
  const Frame sum = le32(~0u);  // the checksum of eight zero bytes
  Frame wrong = piece;
  wrong.insert(wrong.end(), {0, 0, 0, 0});
  EXPECT_EQ(answer(net, request(0xA020, wrong), now)[20], 0x12);
  Frame good = piece;
  good.insert(good.end(), sum.begin(), sum.end());
  EXPECT_EQ(answer(net, request(0xA020, good), now)[20], 0);
  Frame gap = good;
  gap[4] = 16;  // offset 16 while 8 bytes are written
  EXPECT_EQ(answer(net, request(0xA020, gap), now)[20], 0x11);
  Frame longer = good;
  longer[2] = 0xF0;  // 240 bytes claimed in a 64-byte frame
  EXPECT_EQ(answer(net, request(0xA020, longer), now)[20], 0x10);
  // A commit of an 8-byte block that is not sealed, and of nothing, is refused.
  EXPECT_EQ(answer(net, request(0xA028, {0x02}), now)[20], 0x13);
  EXPECT_EQ(answer(net, request(0xA028, {0x00}), now)[20], 0x13);
  EXPECT_EQ(net.scenario().local.modules.counters.restarts, 0u);
  // A start whose words name no image written.
  Frame start = {1, 0, 0, 0};
  for (std::uint32_t w : {0x01000000u, 100u, 0u, 0x01000000u}) {
    const Frame b = le32(w);
    start.insert(start.end(), b.begin(), b.end());
  }
  EXPECT_EQ(answer(net, request(0xA00C, start), now)[20], 0x13);
}

TEST(AvModulesTest, ScenarioKeys) {
  char dir[] = "/tmp/quorrel-sim-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string image = std::string(dir) + "/fw.nvm";
  std::ofstream(image, std::ios::binary) << "firmware bytes";
  const std::string conf = std::string(dir) + "/s.conf";
  std::ofstream(conf) << "[local]\nmac 00:B0:52:10:00:01\nchip 1\nfirmware_image fw.nvm\n"
                         "[behaviour]\nhost_action_after 7 0x05\ncorrupt_piece 3\n"
                         "reject_piece 4 2\nreject_status 0x20\nstop_after_piece 9\n"
                         "restart_ms 250\n";
  Scenario s;
  std::string error;
  EXPECT_TRUE(loadScenarioFile(conf, s, error)) << error;
  EXPECT_EQ(std::string(s.local.modules.firmware.begin(), s.local.modules.firmware.end()),
            "firmware bytes");
  const Behaviour& b = s.behaviour;
  EXPECT_EQ(b.hostActionAfter, 7u);
  EXPECT_EQ(b.hostActionCode, 5);
  EXPECT_EQ(b.corruptPiece, 3u);
  EXPECT_EQ(b.corruptCount, 1u);
  EXPECT_EQ(b.rejectPiece, 4u);
  EXPECT_EQ(b.rejectCount, 2u);
  EXPECT_EQ(b.rejectStatus, 0x20);
  EXPECT_EQ(b.stopAfterPiece, 9u);
  EXPECT_EQ(b.restartMs, 250u);

  const std::string base = "[local]\nmac 00:B0:52:10:00:01\nchip 1\n";
  EXPECT_FALSE(parseScenario(base + "firmware_image missing.nvm\n", s, error, dir));
  EXPECT_EQ(error.rfind("line 4: firmware image ", 0), 0u) << error;
  for (const char* bad : {"reject_status 0\n", "corrupt_piece 3 0\n", "restart_ms -1\n",
                          "host_action_after 1 256\n"}) {
    EXPECT_FALSE(parseScenario(base + "[behaviour]\n" + bad, s, error, dir)) << bad;
    EXPECT_EQ(error.rfind("line 5: ", 0), 0u) << error;
  }
  std::remove(image.c_str());
  std::remove(conf.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace quorrel::sim
