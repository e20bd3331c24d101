// Scenario files: the shipped samples, values, timelines, the daily pattern and bad input; the
// simulated network on hostile requests, and the in-process transport's opens and noise.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "adapter-sim/core/in_process_backend.h"
#include "adapter-sim/core/network.h"
#include "adapter-sim/core/scenario_set.h"
#include "support/av_frames.h"
#include "support/scratch_dir.h"
#include "transport/interface_table.h"

namespace quorrel::sim {
namespace {

const std::string kLocal = "[local]\nmac 00:B0:52:10:00:01\nchip 1\n";
const std::string kRemote = "[remote]\nmac 00:B0:52:20:00:02\nchip 1\n";

// Every shipped scenario loads (the demos and the package test run them); the values a file
// may leave out are filled in; a module image named in a file is read from the file's folder.
TEST(ScenarioTest, ShippedFilesLoad) {
  std::string error;
  for (const auto& entry : std::filesystem::directory_iterator(QUORREL_SIM_SCENARIOS)) {
    ScenarioSet set;
    EXPECT_TRUE(loadScenarioSetFile(entry.path().string(), set, error)) << error;
  }
  Scenario s;
  ASSERT_TRUE(loadScenarioFile(QUORREL_SIM_SCENARIOS "/sample.conf", s, error)) << error;
  ASSERT_EQ(s.remotes.size(), 3u);
  EXPECT_EQ(s.remotes[1].rxRate, 75);                        // one rate stands for both
  EXPECT_EQ(s.remotes[1].firmware.rfind("LQA-100", 0), 0u);  // default by chip
  EXPECT_EQ(s.remotes[2].networkKey, s.local.networkKey);    // default: the local network

  const testing::ScratchDir dir;
  dir.write("fw.nvm", std::string("firmware bytes"));
  const std::string conf = dir.write(
      "s.conf", std::string("[local]\nmac 00:B0:52:10:00:01\nchip 1\nfirmware_image fw.nvm\n"));
  EXPECT_TRUE(loadScenarioFile(conf, s, error)) << error;
  EXPECT_EQ(std::string(s.local.modules.firmware.begin(), s.local.modules.firmware.end()),
            "firmware bytes");
}

const char* kTwo =
    "# two interfaces\n"
    "[network first]\n"
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\n"
    "firmware   xy LQA-100 with  blanks  \r\n"
    "network_key 000102030405060708090a0b0c0d0e0F\n"
    "[remote]\nmac 00-b0-52-20-00-02\nchip 0x2\nrate 40\n"
    "join_at_ms 100\nleave_at_ms 300\nrate_after_ms 200 60 55\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 2\npresent no\n"
    "network_key FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n"
    "[network]\n"
    "[local]\nmac 00:B0:52:40:00:01\nchip 4\n"
    "; comment\n"
    "[behaviour]\ndrop_every 3\ndelay_ms 150\ncorrupt_first oui\nstatus 0x11 0xA051\n"
    "noise on\nnoise_interval_us 500\nhost_action_after 7 0x05\ncorrupt_piece 3\n"
    "reject_piece 4 2\nreject_status 0x20\nstop_after_piece 9\nrestart_ms 250\n";

constexpr char kDaily[] =
    "[local]\nmac 00:B0:52:10:00:01\nchip 4\n[remote]\nmac 00:B0:52:20:00:02\nchip 4\n"
    "rate 200 180\n[behaviour]\n";

TEST(ScenarioTest, ValuesTimelinesDailyPatternAndNetworks) {
  ScenarioSet set;
  std::string error;
  ASSERT_TRUE(parseScenarioSet(kTwo, set, error)) << error;
  ASSERT_EQ(set.networks.size(), 2u);
  EXPECT_EQ(set.networks[0].name, "first");
  const Scenario& s = set.networks[0].scenario;
  ASSERT_EQ(s.remotes.size(), 2u);
  EXPECT_EQ((std::tuple{s.local.firmware, s.local.networkKey[15], s.remotes[0].mac,
                        s.remotes[0].chipId, s.remotes[1].present, s.remotes[1].networkKey[0]}),
            (std::tuple{"xy LQA-100 with  blanks", 0x0F,
                        MacAddress{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02}, 2, false, 0xFF}));
  EXPECT_EQ(s.behaviour.delayMs, 0u);                    // each network its own behaviour
  EXPECT_TRUE(set.networks[0].timelines.at(1).empty());  // the second station has none

  // The first station's timeline: whether it answers at `ms`, and the rate it is listed with.
  Network net(s);
  net.setTimelines(set.networks[0].timelines);
  net.startTimeline(1'000'000);
  Adapter& station = net.scenario().remotes[0];
  auto at = [&](std::uint64_t ms) {
    net.takeDue(1'000'000 + ms * 1000);
    return station.present;
  };
  EXPECT_EQ((std::vector{at(0), at(99), at(100)}), (std::vector{false, false, true}));
  EXPECT_EQ(station.txRate, 40);
  EXPECT_TRUE(at(250));
  EXPECT_EQ((std::tuple{station.txRate, station.rxRate}), (std::tuple{60, 55}));
  EXPECT_FALSE(at(300));
  EXPECT_EQ(net.adapterAt(station.mac), nullptr);

  // The daily pattern over a ten-minute day starting at 06:00 (25 virtual seconds an hour): the
  // rates the stations list dip between the hours and come back after, frame after frame.
  Scenario daily;
  ASSERT_TRUE(parseScenario(std::string(kDaily) + "daily_dip 50 22 2\nday_seconds 600\n"
                                                  "day_start_hour 6\n",
                            daily, error))
      << error;
  Network dayNet(daily);
  dayNet.setTimelines(std::vector<StationTimeline>(1));  // as adapter-sim sets them: none
  const struct {
    std::uint64_t seconds;
    std::uint16_t tx;
  } cases[] = {{0, 200},       {16 * 25 - 1, 200}, {16 * 25, 100},           {17 * 25, 100},
               {19 * 25, 100}, {20 * 25, 200},     {600 + 16 * 25 + 1, 100}, {600 + 20 * 25, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    dayNet.receive(std::vector<std::uint8_t>(60, 0), c.seconds * 1000000);
    EXPECT_EQ(dayNet.scenario().remotes[0].txRate, c.tx);
    EXPECT_EQ(dayNet.scenario().remotes[0].rxRate, c.tx * 180 / 200);
  }

  const Behaviour& b = set.networks[1].scenario.behaviour;
  EXPECT_EQ(set.networks[1].scenario.local.chipId, 4);
  EXPECT_EQ((std::vector<std::uint32_t>{
                b.dropEvery, b.delayMs, b.noiseIntervalUs, b.hostActionAfter, b.corruptPiece,
                b.corruptCount, b.rejectPiece, b.rejectCount, b.stopAfterPiece, b.restartMs}),
            (std::vector<std::uint32_t>{3, 150, 500, 7, 3, 1, 4, 2, 9, 250}));
  EXPECT_EQ((std::vector<int>{int(b.corruptFirst), b.status, b.statusType, b.noise,
                              b.hostActionCode, b.rejectStatus}),
            (std::vector<int>{int(Corruption::Oui), 0x11, 0xA051, 1, 5, 0x20}));

  // A plain file is one network.
  ASSERT_TRUE(parseScenarioSet(kLocal, set, error)) << error;
  ASSERT_EQ(set.networks.size(), 1u);
  EXPECT_TRUE(set.networks[0].timelines.empty());
}

TEST(ScenarioTest, BadInputNamesItsLineAndUnreadableFiles) {
  const std::string behaviour = kLocal + "[behaviour]\n";
  const std::string remote = kLocal + kRemote;
  std::string manyRemotes = kLocal, manyNetworks;
  for (unsigned i = 0; i <= kMaxRemotes; ++i) {
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:00:00:00:01:%02X", i);
    manyRemotes += "[remote]\nmac " + std::string(mac) + "\nchip 1\n";
  }
  for (int i = 0; i < 9; ++i) manyNetworks += "[network]\n" + kLocal;
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "no [local] section"},
      {"mac 00:B0:52:10:00:01\n", "line 1: \"mac\" before any section"},
      {"[local\n", "line 1: section header without closing ']'"},
      {"[colour]\n", "line 1: unknown section [colour]"},
      {kLocal + "[local]\n", "line 4: second [local] section"},
      {kLocal + "chip 2\n", "line 4: \"chip\" given twice in one section"},
      {kLocal + "firmware\n", "line 4: \"firmware\" needs a value"},
      {kLocal + std::string("firmware a\0b\n", 12),
       "line 4: firmware text must be printable and at most 64 characters"},
      {kLocal + "network_key 000102030405060708090a0b0c0d0eZZ\n",
       "line 4: network key must be 32 hex digits"},
      {"[local]\nmac 00:B0:52:10:00\n", "line 2: bad MAC address \"00:B0:52:10:00\""},
      {"[local]\nmac FF:FF:FF:FF:FF:FF\n",
       "line 2: MAC address must be a non-zero unicast address"},
      {"[local]\nchip 99999999999999999999999\n", "line 2: chip id must be 1 to 5"},
      {"[local]\nchip 1\n", "line 1: [local] section has no mac"},
      {kLocal + "[remote]\nmac 00:B0:52:20:00:02\n", "line 4: [remote] section has no chip"},
      {kLocal + "[remote]\nmac 00:B0:52:10:00:01\nchip 1\n",
       "line 5: MAC address 00:B0:52:10:00:01 used twice"},
      {kLocal + "[remote]\nmac 00:B0:52:00:00:01\nchip 1\n",
       "line 5: a remote station cannot use the local-device address"},
      {remote + "rate 256\n",
       "line 7: rate above 255 does not fit the station list of a first-generation adapter"},
      {remote + "rate 10 20 30\n",
       "line 7: rate must be one or two numbers from 0 to 65535 (transmit, receive)"},
      {behaviour + "drop_every -1\n", "line 5: drop_every must be a number from 0 to 1000000"},
      {behaviour + "noise_interval_us 10\n", "line 5: noise_interval_us must be at least 100"},
      {behaviour + "reject_status 0\n", "line 5: reject_status must be 1 to 255"},
      {behaviour + "daily_dip 40 18 18\n",
       "line 5: daily_dip must be a percentage and two different hours from 0 to 23"},
      {behaviour + "daily_dip 101 1 2\n",
       "line 5: daily_dip must be a percentage and two different hours from 0 to 23"},
      {behaviour + "day_seconds 0\n", "line 5: day_seconds must be at least 1"},
      // Timelines and networks; the second network's bad chip is on line 8 of the file.
      {"[network]\n" + kLocal + "[network]\n[local]\nmac 00:B0:52:10:00:09\nchip 9\n",
       "line 8: chip id must be 1 to 5"},
      {kLocal + "join_at_ms 5\n", "line 4: join_at_ms belongs in a [remote] section"},
      {remote + "join_at_ms 50\nleave_at_ms 50\n",
       "line 8: leave_at_ms must come after join_at_ms"},
      {remote + "rate_after_ms 10\n",
       "line 7: rate_after_ms takes a time in ms and one or two rates (0 to 65535)"},
      {kLocal + "[network]\n" + kLocal, "line 4: sections before the first [network]"},
      {manyRemotes,
       "line " + std::to_string(4 + 3 * kMaxRemotes) + ": more than 60 remote stations"},
      {manyNetworks, "line 33: more than 8 networks"},
  };
  for (const auto& c : cases) {
    ScenarioSet set;
    std::string error;
    EXPECT_FALSE(parseScenarioSet(c.text, set, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  // A refused scenario leaves the output alone.
  Scenario s;
  s.local.chipId = 3;
  std::string error;
  EXPECT_FALSE(parseScenario(remote + "rate 256\n", s, error));
  EXPECT_EQ(s.local.chipId, 3);
  ScenarioSet set;
  EXPECT_FALSE(loadScenarioSetFile("/nonexistent/x.conf", set, error));
  EXPECT_EQ(error, "/nonexistent/x.conf: cannot be read");
}

using Frame = std::vector<std::uint8_t>;

constexpr MacAddress kHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr MacAddress kLocalMac{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr NetworkKey kKey{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

Scenario scenario() {
  Scenario s;
  s.local = Adapter{kLocalMac, 1, "LQA-100-FW-2-4-0517", kKey, "", 0, 0, true};
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

// What the scan's tests rely on without seeing it: opens that fail on request, and noise that
// reaches the capture, management frames only.
TEST(InProcessBackendTest, FailsOpensOnRequestAndDeliversManagementNoise) {
  platform::VirtualClock clock;
  Network network{Scenario{}};
  InProcessBackend backend{clock};
  backend.addInterface("sim0", kDefaultHostMac, &network);
  backend.addInterface("sim1", kHost, nullptr);
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
