// Scenario files: the shipped samples load, and bad input is refused at the right line.
#include <gtest/gtest.h>

#include "adapter-sim/core/scenario.h"

namespace quorrel::sim {
namespace {

constexpr const char* kMinimal =
    "[local]\n"
    "mac 00:B0:52:10:00:01\n"
    "chip 1\n";

TEST(ScenarioTest, SamplesLoad) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(loadScenarioFile(QUORREL_SIM_SCENARIOS "/sample.conf", s, error)) << error;
  EXPECT_EQ(s.local.chipId, 1);
  EXPECT_FALSE(isSecondGeneration(s.local.chipId));
  ASSERT_EQ(s.remotes.size(), 3u);
  EXPECT_EQ(s.remotes[0].txRate, 120);
  EXPECT_EQ(s.remotes[0].rxRate, 110);
  EXPECT_EQ(s.remotes[1].rxRate, 75);                        // one rate stands for both
  EXPECT_EQ(s.remotes[1].firmware.rfind("LQA-100", 0), 0u);  // default by chip
  EXPECT_EQ(s.remotes[2].networkKey, s.local.networkKey);    // default: the local network
  EXPECT_EQ(s.remotes[0].devicePassword, "PL3D-9QVE-M2XA-T6NC");

  ASSERT_TRUE(loadScenarioFile(QUORREL_SIM_SCENARIOS "/second-gen.conf", s, error)) << error;
  EXPECT_TRUE(isSecondGeneration(s.local.chipId));
  EXPECT_EQ(s.remotes[0].txRate, 410);
}

TEST(ScenarioTest, ValuesAndBehaviour) {
  const std::string text = std::string(kMinimal) +
                           "firmware   xy LQA-100 with  blanks  \r\n"
                           "network_key 000102030405060708090a0b0c0d0e0F\n"
                           "; comment\n"
                           "[remote]\n"
                           "mac 00-b0-52-20-00-02\n"
                           "chip 0x2\n"
                           "present no\n"
                           "network_key FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n"
                           "[behaviour]\n"
                           "drop_every 3\n"
                           "delay_ms 150\n"
                           "corrupt_first oui\n"
                           "status 0x11 0xA051\n"
                           "noise on\n"
                           "noise_interval_us 500\n";
  Scenario s;
  std::string error;
  ASSERT_TRUE(parseScenario(text, s, error)) << error;
  EXPECT_EQ(s.local.firmware, "xy LQA-100 with  blanks");
  EXPECT_EQ(s.local.networkKey[15], 0x0F);
  ASSERT_EQ(s.remotes.size(), 1u);
  EXPECT_EQ(s.remotes[0].mac, (MacAddress{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02}));
  EXPECT_FALSE(s.remotes[0].present);
  EXPECT_EQ(s.remotes[0].networkKey[0], 0xFF);
  EXPECT_EQ(s.behaviour.dropEvery, 3u);
  EXPECT_EQ(s.behaviour.delayMs, 150u);
  EXPECT_EQ(s.behaviour.corruptFirst, Corruption::Oui);
  EXPECT_EQ(s.behaviour.status, 0x11);
  EXPECT_EQ(s.behaviour.statusType, 0xA051);
  EXPECT_TRUE(s.behaviour.noise);
  EXPECT_EQ(s.behaviour.noiseIntervalUs, 500u);
}

TEST(ScenarioTest, BadInputNamesItsLine) {
  const std::string remote = "[remote]\nmac 00:B0:52:20:00:02\nchip 1\n";
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "no [local] section"},
      {"mac 00:B0:52:10:00:01\n", "line 1: \"mac\" before any section"},
      {"[local\n", "line 1: section header without closing ']'"},
      {"[colour]\n", "line 1: unknown section [colour]"},
      {std::string(kMinimal) + "[local]\n", "line 4: second [local] section"},
      {std::string(kMinimal) + "chip 2\n", "line 4: \"chip\" given twice in one section"},
      {std::string(kMinimal) + "colour red\n", "line 4: unknown key \"colour\" in [local]"},
      {std::string(kMinimal) + "rate 5\n", "line 4: unknown key \"rate\" in [local]"},
      {std::string(kMinimal) + "firmware\n", "line 4: \"firmware\" needs a value"},
      {std::string(kMinimal) + "firmware " + std::string(65, 'x') + "\n",
       "line 4: firmware text must be printable and at most 64 characters"},
      {std::string(kMinimal) + "firmware a\tb\n",
       "line 4: firmware text must be printable and at most 64 characters"},
      {std::string(kMinimal) + "network_key 00\n", "line 4: network key must be 32 hex digits"},
      {std::string(kMinimal) + "network_key 000102030405060708090a0b0c0d0eZZ\n",
       "line 4: network key must be 32 hex digits"},
      {std::string(kMinimal) + "device_password " + std::string(25, 'A') + "\n",
       "line 4: device password must be printable and at most 24 characters"},
      {"[local]\nmac 00:B0:52:10:00\n", "line 2: bad MAC address \"00:B0:52:10:00\""},
      {"[local]\nmac FF:FF:FF:FF:FF:FF\n",
       "line 2: MAC address must be a non-zero unicast address"},
      {"[local]\nmac 00:00:00:00:00:00\n",
       "line 2: MAC address must be a non-zero unicast address"},
      {"[local]\nchip 6\n", "line 2: chip id must be 1 to 5"},
      {"[local]\nchip 0\n", "line 2: chip id must be 1 to 5"},
      {"[local]\nchip 1x\n", "line 2: chip id must be 1 to 5"},
      {"[local]\nchip 99999999999999999999999\n", "line 2: chip id must be 1 to 5"},
      {"[local]\nchip 1\n", "line 1: [local] section has no mac"},
      {std::string(kMinimal) + "[remote]\nmac 00:B0:52:20:00:02\n",
       "line 4: [remote] section has no chip"},
      {std::string(kMinimal) + "[remote]\nmac 00:B0:52:10:00:01\nchip 1\n",
       "line 5: MAC address 00:B0:52:10:00:01 used twice"},
      {std::string(kMinimal) + "[remote]\nmac 00:B0:52:00:00:01\nchip 1\n",
       "line 5: a remote station cannot use the local-device address"},
      {std::string(kMinimal) + remote + "rate 256\n",
       "line 7: rate above 255 does not fit the station list of a first-generation adapter"},
      {std::string(kMinimal) + remote + "rate 10 20 30\n",
       "line 7: rate must be one or two numbers from 0 to 65535 (transmit, receive)"},
      {std::string(kMinimal) + remote + "rate 65536\n",
       "line 7: rate must be one or two numbers from 0 to 65535 (transmit, receive)"},
      {std::string(kMinimal) + remote + "present maybe\n", "line 7: present must be yes or no"},
      {std::string(kMinimal) + "[behaviour]\ndrop_every -1\n",
       "line 5: drop_every must be a number from 0 to 1000000"},
      {std::string(kMinimal) + "[behaviour]\ncorrupt_first crc\n",
       "line 5: corrupt_first must be none, oui or checksum"},
      {std::string(kMinimal) + "[behaviour]\nstatus 256\n",
       "line 5: status must be a byte, optionally followed by a confirmation type"},
      {std::string(kMinimal) + "[behaviour]\nnoise_interval_us 10\n",
       "line 5: noise_interval_us must be at least 100"},
      {std::string(kMinimal) + "[behaviour]\nnoise on\nnoise off\n",
       "line 6: \"noise\" given twice in one section"},
      {std::string(kMinimal) + "[behaviour]\nspeed 3\n",
       "line 5: unknown key \"speed\" in [behaviour]"},
      {std::string(kMinimal) + std::string("firmware a\0b\n", 12),
       "line 4: firmware text must be printable and at most 64 characters"},
  };
  for (const auto& c : cases) {
    Scenario s;
    s.local.chipId = 3;
    std::string error;
    EXPECT_FALSE(parseScenario(c.text, s, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_EQ(s.local.chipId, 3) << "a refused scenario must leave the output alone";
  }
}

TEST(ScenarioTest, TooManyRemotesAndUnreadableFile) {
  std::string text = kMinimal;
  for (int i = 0; i <= static_cast<int>(kMaxRemotes); ++i) {
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:00:00:00:01:%02X", i);
    text += "[remote]\nmac " + std::string(mac) + "\nchip 1\n";
  }
  Scenario s;
  std::string error;
  EXPECT_FALSE(parseScenario(text, s, error));
  EXPECT_EQ(error,
            "line " + std::to_string(4 + 3 * kMaxRemotes) + ": more than 60 remote stations");

  EXPECT_FALSE(loadScenarioFile("/nonexistent/x.conf", s, error));
  EXPECT_EQ(error, "/nonexistent/x.conf: cannot be read");
}

}  // namespace
}  // namespace quorrel::sim
