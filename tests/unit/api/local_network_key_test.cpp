// Reading the local device's network key from its parameter block, against the simulated
// adapter: blocks it must refuse leave the old key and name in place.
#include <gtest/gtest.h>

#include <functional>

#include "api/local_network_key.h"
#include "make-samples/sample_files.h"
#include "support/sim_host.h"
#include "thpapi/module_transfer.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::api {
namespace {

using namespace quorrel::testing;
using Bytes = std::vector<std::uint8_t>;

constexpr NetworkKey kOldKey{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                             0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};

class LocalNetworkKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDeviceTable();
    deviceTable().localAvNetworkName = NetworkName("Old Network");
  }
  void TearDown() override {
    thpapi::thpapi_AbandonTransfer();
    ResetDeviceTable();
  }
  // Reads into the device table's key, as the local search does.
  int read() { return ReadLocalNetworkKey(path, kLocalDeviceMac, deviceTable().localAvNetworkKey); }
};

// The ordinary read, and lost, damaged or late pieces: the scan's sweep over this read.
TEST_F(LocalNetworkKeyTest, OnlyABlockItCanReadGivesTheKeyElseTheOldKeyStays) {
  const struct {
    const char* what;
    std::function<void(Bytes&)> fault;
    int result;
  } cases[] = {
      {"another layout version, used as it stands", [](Bytes& b) { b[0] = 1, b[1] = 4; }, 1},
      {"region fails validation", [](Bytes& b) { b[244] = 0xFF; }, -1},
      {"length field wrong", [](Bytes& b) { writeLe16(b, 4, 15559), b.resize(15559); }, -1},
      {"version below the field version", [](Bytes& b) { b[0] = 1, b[1] = 3; }, -1},
      {"too short to hold the key", [](Bytes& b) { b[0] = 1, writeLe16(b, 4, 64), b.resize(64); },
       -1},
      {"longer than the buffer", [](Bytes& b) { b = patternBlock(20000, 20000); }, -1},
      {"no source address",
       [](Bytes&) { transport::interfaceTable().entries[0].macAddress = kNoMac; }, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SimHost h(simScenario());
    deviceTable().localAvNetworkKey = kOldKey;
    Bytes block = samples::buildParameterBlock(kSimLocalMac, kSimLocalKey);
    c.fault(block);
    h.local().modules.parameterBlock = block;
    EXPECT_EQ(read(), c.result);
    EXPECT_EQ(deviceTable().localAvNetworkKey, c.result == 1 ? NetworkKey(kSimLocalKey) : kOldKey);
    EXPECT_EQ(deviceTable().localAvNetworkName.view(), "Old Network");
  }
}

}  // namespace
}  // namespace quorrel::api
