// Scenario files: the shipped samples load, values and timelines are read, bad input is
// refused at the right line of the whole file (the daily pattern's refused knobs too), the
// timeline moves stations, and the daily pattern dips their rates.
#include <gtest/gtest.h>

#include <filesystem>

#include "adapter-sim/core/network.h"
#include "adapter-sim/core/scenario_set.h"
#include "support/scratch_dir.h"

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
  EXPECT_EQ(s.local.firmware, "xy LQA-100 with  blanks");
  EXPECT_EQ(s.local.networkKey[15], 0x0F);
  ASSERT_EQ(s.remotes.size(), 2u);
  EXPECT_EQ(s.remotes[0].mac, (MacAddress{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02}));
  EXPECT_EQ(s.remotes[0].chipId, 2);
  EXPECT_FALSE(s.remotes[1].present);
  EXPECT_EQ(s.remotes[1].networkKey[0], 0xFF);
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
  EXPECT_FALSE(at(0));
  EXPECT_FALSE(at(99));
  EXPECT_TRUE(at(100));
  EXPECT_EQ(station.txRate, 40);
  EXPECT_TRUE(at(250));
  EXPECT_EQ(station.txRate, 60);
  EXPECT_EQ(station.rxRate, 55);
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
  } cases[] = {{0, 200},       {16 * 25 - 1, 200}, {16 * 25, 100},          {17 * 25, 100},
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

}  // namespace
}  // namespace quorrel::sim
