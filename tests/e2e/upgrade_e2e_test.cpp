// `quorrel-cli upgrade` over a veth pair against adapter-sim: a 1 MiB image and a 15560-byte
// block that the adapter comes back with after its restart, under its own MAC address.

#include <chrono>
#include <thread>

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

class UpgradeE2eTest : public SimPairTest {
 protected:
  // Reads a module back once the adapter answers again.
  Bytes readBack(int module, std::size_t size) {
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

TEST_F(UpgradeE2eTest, AdapterRestartsWithTheNewImageAndBlockUnderItsOwnMac) {
  startSim("[local]\nmac 00:B0:52:10:00:01\nchip 1\n[behaviour]\nrestart_ms 300\ncommit_ms 500\n");
  testing::writeFile(dir + "/fw.nvm", image);
  testing::writeFile(dir + "/pb.pib", block);
  int status = 0;
  const std::string out = run(
      QUORREL_CLI_PATH " upgrade --yes --nvm " + dir + "/fw.nvm --pib " + dir + "/pb.pib", status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("1042 of 1042 pieces sent"), std::string::npos) << out;
  EXPECT_NE(out.find("Device Upgraded"), std::string::npos);
  EXPECT_EQ(readBack(1, image.size()), image);
  const Bytes now = readBack(2, block.size());
  ASSERT_EQ(now.size(), block.size());
  EXPECT_EQ(readMac(now, 12), (MacAddress{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01}));
  EXPECT_EQ(checksum32(now), 0u);
  EXPECT_TRUE(std::equal(now.begin() + 18, now.end(), block.begin() + 18));
}

}  // namespace
}  // namespace quorrel::e2e
