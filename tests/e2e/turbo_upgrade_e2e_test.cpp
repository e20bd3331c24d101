// quorrel-cli upgrades the Turbo adapter adapter-sim plays on the far end of a veth pair: a
// 100 KiB image (past what 16 bits count) is verified whole and the adapter restarts with it.

#include "e2e/sim_pair_test.h"

namespace quorrel::e2e {
namespace {

const char* kNewFirmware = "QTB2000 fw rev2.1.0 E2E";

class TurboUpgradeE2eTest : public SimPairTest {};

TEST_F(TurboUpgradeE2eTest, LargeImageVerifiedAndAdapterRestartsWithIt) {
  std::string image(100 * 1024, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + (i >> 9));
  image.replace(64, 12 + std::string(kNewFirmware).size() + 1,
                std::string("QTB-VERSION:") + kNewFirmware + '\0');
  std::ofstream(dir + "/new.img", std::ios::binary) << image;
  std::ofstream(dir + "/new.cfg", std::ios::binary) << std::string(960, 'C');
  startOnLinks(
      "[local]\nmac 00:04:87:10:00:01\nfamily turbo\n"
      "[behaviour]\nrestart_ms 1000\nloader_address default\n");
  int status = -1;
  const std::string out = run(
      inHost(QUORREL_CLI_PATH " upgrade --yes --img " + dir + "/new.img --cfg " + dir + "/new.cfg"),
      status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("sent 103 of 103 pieces"), std::string::npos) << out;
  EXPECT_NE(out.find(std::string("restarted with firmware ") + kNewFirmware), std::string::npos)
      << out;
}

}  // namespace
}  // namespace quorrel::e2e
