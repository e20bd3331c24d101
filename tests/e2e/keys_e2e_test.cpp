// Network names and adds over the real libpcap path: quorrel-cli in the host namespace,
// adapter-sim on the far end of the veth pair.
#include <sstream>
#include <string>

#include "e2e/sim_pair_test.h"

namespace quorrel::e2e {
namespace {

class KeysE2eTest : public SimPairTest {
 protected:
  // One cycle: a station the data file remembers is listed only when this scan's lists name it.
  std::string scan() { return cli("scan --json --cycles 1 --interval 3"); }
};

// A device from another network is added under the name given with it; then Set All Devices
// keeps only the devices whose passwords were entered.
TEST_F(KeysE2eTest, AddBringsInADeviceAndSetNetworkKeepsOnlyThoseWithPasswords) {
  startOnLinks(
      "[local]\nmac 00:B0:52:10:00:01\nchip 2\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n"
      "[remote]\nmac 00:B0:52:20:00:02\nchip 2\ndevice_password Alpha-Pass-1\n"
      "[remote]\nmac 00:B0:52:20:00:03\nchip 2\ndevice_password Beta-Pass-22\n"
      "[remote]\nmac 00:B0:52:20:00:04\nchip 2\ndevice_password Gamma-Pass-3\n"
      "[remote]\nmac 00:B0:52:20:00:09\nchip 2\ndevice_password Delta-Pass-4\n"
      "network_key 00112233445566778899AABBCCDDEEFF\n");
  const std::string before = scan();
  ASSERT_NE(before.find("00:B0:52:20:00:04"), std::string::npos) << before;
  EXPECT_EQ(before.find("00:B0:52:20:00:09"), std::string::npos) << before;
  cli("add Delta-Pass-4 --name 'Den 100%'");
  cli("add Gamma-Pass-3 --name 'Den 100%'", 2);  // the name of another device
  cli("add nobody-has-it", 1);
  cli("password 00:B0:52:20:00:02 Alpha-Pass-1");
  cli("password 00:b0:52:20:00:03 wrong-one", 1);
  const std::string out = cli("password 00:B0:52:20:00:03 Beta-Pass-22 --json");
  EXPECT_NE(out.find("\"result\":\"verified\""), std::string::npos) << out;
  // The password of 04 was never entered: it is not tried, and what was tried all joined.
  const std::string set = cli("set-network 'Blue House' --all --json");
  EXPECT_NE(set.find("\"devices\":4,"), std::string::npos) << set;  // 02, 03, 09, the local one
  EXPECT_NE(set.find("\"set\":4"), std::string::npos) << set;
  EXPECT_NE(set.find("{\"joined\":true,\"local\":false,\"mac\":\"00:B0:52:20:00:03\""),
            std::string::npos)
      << set;
  EXPECT_EQ(set.find("00:B0:52:20:00:04"), std::string::npos) << set;
  // As the Privacy page leaves it: the stored list holds no station as present (rate "?").
  std::istringstream report(cli("report"));
  int rows = 0;
  for (std::string line; std::getline(report, line);) {
    if (line.find("\t00:B0:52:20:00:0") == std::string::npos) continue;
    ++rows;
    std::istringstream cells(line);
    std::string cell;
    for (int i = 0; i < 4; ++i) std::getline(cells, cell, '\t');
    EXPECT_EQ(cell, "?") << line;
  }
  EXPECT_EQ(rows, 4);
  const std::string listed = scan();
  EXPECT_NE(listed.find("00:B0:52:20:00:02"), std::string::npos) << listed;
  EXPECT_NE(listed.find("00:B0:52:20:00:03"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("00:B0:52:20:00:04"), std::string::npos) << listed;
  EXPECT_NE(listed.find("\"network\": \"Blue House\""), std::string::npos) << listed;
  // The added device came along, listed under the name given with it.
  const std::size_t at = listed.find("\"mac\": \"00:B0:52:20:00:09\"");
  ASSERT_NE(at, std::string::npos) << listed;
  EXPECT_EQ(listed.find("\"name\": \"Den 100%\"", at), listed.find("\"name\"", at)) << listed;
}

}  // namespace
}  // namespace quorrel::e2e
