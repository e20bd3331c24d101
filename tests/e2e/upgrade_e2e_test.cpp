// `quorrel-cli upgrade` over a veth pair against adapter-sim: a 1 MiB image and a 15560-byte
// block, the adapter restarting with them (what it then holds: the upgrade's unit tests); and a
// Turbo adapter through its secondary loader.
#include "brantleapi/hp1_upgrade.h"
#include "e2e/sim_pair_test.h"
#include "make-samples/sample_files.h"
#include "support/scratch_dir.h"

namespace quorrel::e2e {
namespace {

const char* kNewFirmware = "QTB2000 fw rev2.1.0 E2E";

using UpgradeE2eTest = SimPairTest;

TEST_F(UpgradeE2eTest, AdaptersOfBothFamiliesRestartWithTheirNewFirmware) {
  startOnLinks(
      "[local]\nmac 00:B0:52:10:00:01\nchip 1\n[behaviour]\nrestart_ms 300\ncommit_ms 500\n");
  testing::writeFile(dir + "/fw.nvm",
                     samples::buildFirmwareFile(samples::sampleFirmwareImages(1, 1u << 20)));
  testing::writeFile(dir + "/pb.pib",
                     samples::buildParameterBlock({0x02, 0, 0, 0, 0, 0x42}, {4, 2}));
  const std::string out = cli("upgrade --yes --nvm " + dir + "/fw.nvm --pib " + dir + "/pb.pib");
  // In a pipe no progress is shown, only the result.
  EXPECT_FALSE(has(out, "pieces sent"));
  EXPECT_TRUE(has(out, "Device Upgraded"));

  // Then a Turbo adapter: a 100 KiB image (past what 16 bits count) is verified whole and the
  // adapter restarts with it.
  std::string img(100 * 1024, '\0');
  for (std::size_t i = 0; i < img.size(); ++i) img[i] = static_cast<char>(i * 7 + (i >> 9));
  img.replace(64, 12 + std::string(kNewFirmware).size() + 1,
              std::string("QTB-VERSION:") + kNewFirmware + '\0');
  std::ofstream(dir + "/new.img", std::ios::binary) << img;
  std::ofstream(dir + "/new.cfg", std::ios::binary) << std::string(960, 'C');
  startOnLinks(
      "[local]\nmac 00:04:87:10:00:01\nfamily turbo\n"
      "[behaviour]\nrestart_ms 1000\nloader_address default\n");
  const std::string turbo =
      cli("upgrade --yes --img " + dir + "/new.img --cfg " + dir + "/new.cfg");
  EXPECT_FALSE(has(turbo, "pieces sent"));
  EXPECT_TRUE(has(turbo, std::string("restarted with firmware ") + kNewFirmware));
}

// Two Turbo adapters: the one on the interface named is upgraded, and Ctrl-C stops it before
// its next piece, saying that it waits in its loader.
TEST_F(UpgradeE2eTest, TurboUpgradeTakesTheNamedInterfaceAndStopsAtCtrlC) {
  std::string error;
  ASSERT_EQ(pair.addLink(error), 1) << error;
  startOnLinks(
      "[network]\n[local]\nmac 00:04:87:10:00:01\nfamily turbo\n"
      "[network]\n[local]\nmac 00:04:87:10:00:02\nfamily turbo\n",
      2);
  std::ofstream(dir + "/big.img", std::ios::binary) << std::string(4u << 20, 'I');  // 4096 pieces
  // Pieces are most of what the adapter receives: Ctrl-C once 40 frames have reached it.
  const std::string shown = interrupted(
      "upgrade --yes --img " + dir + "/big.img --interface " + pair.hostInterface(1), 40);
  EXPECT_TRUE(has(shown, pair.hostInterface(1) + ": Turbo adapter 00:04:87:10:00:02"));
  EXPECT_TRUE(
      has(shown, "MAC Image Sending Failed\n" + std::string(brantleapi::kHp1InLoaderAdvice)));
  EXPECT_TRUE(has(shown, "quorrel-cli upgrade: upgrade interrupted\nstatus 130"));
  // Stopped long before the 4096 pieces were through.
  const std::size_t at = shown.find("received ");
  ASSERT_NE(at, std::string::npos) << shown;
  EXPECT_LT(std::stoi(shown.substr(at + 9)), 4000) << shown;
}

}  // namespace
}  // namespace quorrel::e2e
