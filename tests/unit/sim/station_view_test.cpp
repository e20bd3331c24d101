// A station's own network information: its list at the frame's offsets in both layouts, the
// `link` and `network_info` keys, and the scenario lines they refuse.
#include <gtest/gtest.h>

#include "adapter-sim/core/network.h"
#include "support/av_frames.h"

namespace quorrel::sim {
namespace {

using testing::Bytes;

constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr MacAddress kA{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02};
constexpr MacAddress kB{0x00, 0xB0, 0x52, 0x20, 0x00, 0x03};
constexpr MacAddress kC{0x00, 0xB0, 0x52, 0x20, 0x00, 0x04};

const std::string kStations =
    "[local]\nmac 00:B0:52:10:00:01\nchip 4\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 300 250\nlink 00:B0:52:20:00:03 150 140\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 3\nrate 120 110\nlink 00:B0:52:20:00:04 7\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 2\nrate 90 80\nnetwork_info no\n";

std::vector<Bytes> ask(Network& net, const MacAddress& station, std::uint8_t mmv) {
  Bytes request = mmv == 0 ? testing::avFrame(0xA038, 64, testing::kHostMac, station)
                           : testing::avFrameV1(0xA038, 64, testing::kHostMac, station);
  net.receive(request, 0);
  return net.takeDue(1'000'000);
}

TEST(StationView, ListsTheLocalAdapterThenTheOthersWithEachPairsRates) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(parseScenario(kStations, s, error)) << error;
  Network net(s);
  // Version 1 layout: count at 27, record at 28, stations from 60, 24 bytes each, 16-bit
  // rates at 16 (transmit) and 18 (receive).
  auto answers = ask(net, kB, 1);
  ASSERT_EQ(answers.size(), 1u);
  const Bytes& f = answers[0];
  EXPECT_EQ(readMac(f, 6), kB);
  EXPECT_EQ(f[14], 1);
  EXPECT_EQ(readLe16(f, 15), 0xA039);
  EXPECT_EQ(f[54], 3);  // station count
  const struct {
    MacAddress mac;
    std::uint16_t tx, rx;
  } rows[] = {{kLocal, 110, 120}, {kA, 140, 150}, {kC, 7, 90}};
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    const std::size_t at = 60 + 24 * i;
    EXPECT_EQ(readMac(f, at), rows[i].mac);
    EXPECT_EQ(readLe16(f, at + 16), rows[i].tx);
    EXPECT_EQ(readLe16(f, at + 18), rows[i].rx);
  }
  // Version 0 layout: count at 38, stations from 39, 15 bytes each, 8-bit rates at 13 and 14;
  // without links either way, the lower of the two transmit rates.
  answers = ask(net, kC, 0);
  EXPECT_TRUE(answers.empty());  // network_info no
  answers = ask(net, kA, 0);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0][38], 3);
  EXPECT_EQ(readMac(answers[0], 39 + 15 * 2), kC);
  EXPECT_EQ(answers[0][39 + 15 * 2 + 13], 90);
  EXPECT_EQ(answers[0][39 + 13], 250);
}

TEST(StationView, RefusesLinksThatNameNoOtherStation) {
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {"link 00:B0:52:20:00:02 5", "line 7: link names 00:B0:52:20:00:02, which is not another"},
      {"link 00:B0:52:10:00:01 5", "line 7: link names 00:B0:52:10:00:01, which is not another"},
      {"link 00:B0:52:99:00:01 5", "line 7: link names 00:B0:52:99:00:01, which is not another"},
      {"link 00:B0:52:20:00:03", "line 7: link must be a MAC address and one or two rates"},
      {"link 00:B0:52:20:00:03 5 6 7", "line 7: link must be a MAC address and one or two rates"},
      {"link 00:B0:52:20:00:03 256", "line 7: rate above 255 does not fit"},
      {"link 00:B0:52:20:00:03 5\nlink 00:B0:52:20:00:03 6",
       "line 8: link to 00:B0:52:20:00:03 "
       "given twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string text =
        "[local]\nmac 00:B0:52:10:00:01\nchip 1\n[remote]\nmac "
        "00:B0:52:20:00:02\nchip 2\n" +
        std::string(c.line) + "\n[remote]\nmac 00:B0:52:20:00:03\nchip 2\n";
    Scenario s;
    std::string error;
    EXPECT_FALSE(parseScenario(text, s, error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

// The demo's map: per-pair rates and one silent station.
TEST(StationView, DesktopDemoScenarioLoads) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(loadScenarioFile(QUORREL_SIM_SCENARIOS "/desktop.conf", s, error)) << error;
  EXPECT_EQ(s.remotes.front().links.size(), 2u);
  EXPECT_FALSE(s.remotes.back().answersNetworkInfo);
}

}  // namespace
}  // namespace quorrel::sim
