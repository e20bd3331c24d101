// `quorrel-cli upgrade` over a veth pair against adapter-sim: a 1 MiB image and a 15560-byte
// block that the adapter comes back with after its restart, under its own MAC address; and
// a Turbo adapter through its secondary loader.

#include <chrono>
#include <thread>

#include "brantleapi/hp1_upgrade.h"
#include "e2e/sim_pair_test.h"
#include "make-samples/sample_files.h"
#include "platform/checksum32.h"
#include "support/scratch_dir.h"
#include "thpapi/transfer_loop.h"
#include "transport/interface_table.h"

namespace quorrel::e2e {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPatienceMs = 5000;
const char* kNewFirmware = "QTB2000 fw rev2.1.0 E2E";

class UpgradeE2eTest : public SimPairTest {
 protected:
  // Reads a module back once the adapter answers again.
  Bytes readBack(int module, std::size_t size) {
    // The upgrade's own frames, captured here while quorrel-cli sent them, are not answers to
    // this read: drop them first rather than pass each over with the wait's pause.
    for (transport::Frame frame; path.next(frame);) {
    }
    Bytes out(size + 1024);
    std::size_t received = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (thpapi::thpapi_ReadModuleBlock(path, transport::SourceAddress(), kLocalDeviceMac, module,
                                         out, received) == 0) {
        out.resize(received);
        return out;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
  }

  const Bytes image = samples::buildFirmwareFile(samples::sampleFirmwareImages(1, 1u << 20));
  const Bytes block = samples::buildParameterBlock({0x02, 0, 0, 0, 0, 0x42}, {4, 2});
  transport::ReceivePath path;
};

TEST_F(UpgradeE2eTest, AdaptersOfBothFamiliesRestartWithTheirNewFirmware) {
  startSim("[local]\nmac 00:B0:52:10:00:01\nchip 1\n[behaviour]\nrestart_ms 300\ncommit_ms 500\n");
  testing::writeFile(dir + "/fw.nvm", image);
  testing::writeFile(dir + "/pb.pib", block);
  const std::string out = cli("upgrade --yes --nvm " + dir + "/fw.nvm --pib " + dir + "/pb.pib");
  // In a pipe no progress is shown, only the result.
  EXPECT_EQ(out.find("pieces sent"), std::string::npos) << out;
  EXPECT_NE(out.find("Device Upgraded"), std::string::npos);
  EXPECT_EQ(readBack(1, image.size()), image);
  const Bytes now = readBack(2, block.size());
  ASSERT_EQ(now.size(), block.size());
  EXPECT_EQ(readMac(now, 12), (MacAddress{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01}));
  EXPECT_EQ(checksum32(now), 0u);
  EXPECT_TRUE(std::equal(now.begin() + 18, now.end(), block.begin() + 18));

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
  EXPECT_EQ(turbo.find("pieces sent"), std::string::npos) << turbo;
  EXPECT_NE(turbo.find(std::string("restarted with firmware ") + kNewFirmware), std::string::npos)
      << turbo;
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
  const std::string out = dir + "/out.txt";
  int status = 0;
  const std::string shown = runShell(
      // A background job may start with SIGINT ignored; a terminal's Ctrl-C finds it default.
      "ip netns exec " + pair.hostNamespace() + " env --default-signal=INT XDG_DATA_HOME=" + dir +
          " HOME=" + dir + " " QUORREL_CLI_PATH " upgrade --yes --img " + dir +
          "/big.img --interface " + pair.hostInterface(1) + " >" + out +
          // Pieces are most of what the adapter receives: Ctrl-C once 40 frames have reached it.
          " 2>&1 & pid=$!; for i in $(seq 600); do [ $(grep -cE '(^|: )rx ' " + logPath +
          ") -ge 40 ] && break; sleep 0.1; done; kill -INT $pid; wait $pid; s=$?; cat " + out +
          "; echo status $s; echo received $(grep -cE '(^|: )rx ' " + logPath + ")",
      status);
  EXPECT_NE(shown.find(pair.hostInterface(1) + ": Turbo adapter 00:04:87:10:00:02"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("MAC Image Sending Failed\n" + std::string(brantleapi::kHp1InLoaderAdvice)),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("quorrel-cli upgrade: upgrade interrupted\nstatus 130"), std::string::npos)
      << shown;
  // Stopped long before the 4096 pieces were through.
  const std::size_t at = shown.find("received ");
  ASSERT_NE(at, std::string::npos) << shown;
  EXPECT_LT(std::stoi(shown.substr(at + 9)), 4000) << shown;
}

}  // namespace
}  // namespace quorrel::e2e
