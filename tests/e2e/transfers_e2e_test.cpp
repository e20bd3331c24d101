// Module transfers over the real transport against adapter-sim on a veth pair: the network
// key read back from the parameter block, a firmware image file read as module 1, and a
// written block that the adapter comes back with after its restart.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "api/local_network_key.h"
#include "e2e/sim_pair_test.h"
#include "make-samples/sample_files.h"
#include "thpapi/transfer_loop.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::e2e {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr api::NetworkKey kKey{0x50, 0xD3, 0xE4, 0x93, 0x3F, 0x85, 0x5B, 0x70,
                               0x40, 0x78, 0x4D, 0xF8, 0x15, 0xAA, 0x8D, 0xB7};
constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr int kPatienceMs = 5000;

class TransfersE2eTest : public SimPairTest {
 protected:
  void start(const std::string& extra) {
    startSim(
        "[local]\nmac 00:B0:52:10:00:01\nchip 1\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n" +
        extra);
  }
};

TEST_F(TransfersE2eTest, NetworkKeyIsReadBackFromTheParameterBlock) {
  start("");
  api::NetworkKey key{};
  ASSERT_EQ(api::ReadLocalNetworkKey(path, kLocalDeviceMac, key), 1);
  EXPECT_EQ(key, kKey);
}

TEST_F(TransfersE2eTest, WrittenBlockComesBackAfterTheRestart) {
  const Bytes image = samples::buildFirmwareFile(samples::sampleFirmwareImages(3, 1500));
  std::ofstream(dir + "/fw.nvm", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  start("firmware_image fw.nvm\n[behaviour]\nrestart_ms 300\n");
  const MacAddress source = transport::SourceAddress();

  Bytes firmware(image.size());
  std::size_t received = 0;
  ASSERT_EQ(thpapi::thpapi_ReadModuleBlock(path, source, kLocalDeviceMac, 1, firmware, received), 0);
  EXPECT_EQ(firmware, image);

  samples::NetworkMembershipKey newKey = kKey;
  newKey[15] ^= 0x5A;
  const Bytes block = samples::buildParameterBlock(kLocal, newKey);
  ASSERT_EQ(thpapi::thpapi_WriteModules(path, source, kLocalDeviceMac, image, block, 0x13), 0);

  api::NetworkKey key{};
  EXPECT_EQ(api::ReadLocalNetworkKey(path, kLocalDeviceMac, key), -1);  // restarting
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
  int result = -1;
  while (result != 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    result = api::ReadLocalNetworkKey(path, kLocalDeviceMac, key);
  }
  ASSERT_EQ(result, 1);
  EXPECT_EQ(key, newKey);
}

}  // namespace
}  // namespace quorrel::e2e
