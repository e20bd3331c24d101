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
    deviceTable().localAvNetworkKey = kOldKey;
    deviceTable().localAvNetworkName = NetworkName("Old Network");
  }
  void TearDown() override {
    thpapi::thpapi_AbandonTransfer();
    ResetDeviceTable();
  }
  // Reads into the device table's key, as the local search does.
  int read() { return ReadLocalNetworkKey(path, kLocalDeviceMac, deviceTable().localAvNetworkKey); }
  void expectKept() {
    EXPECT_EQ(deviceTable().localAvNetworkKey, kOldKey);
    EXPECT_EQ(deviceTable().localAvNetworkName.view(), "Old Network");
  }
};

// The ordinary read, and lost, damaged or late pieces: the scan's sweep over this read.
TEST_F(LocalNetworkKeyTest, ABlockOfAnotherLayoutVersionIsUsedAsItStands) {
  SimHost h(simScenario());
  sim::prepareModules(h.local());
  Bytes older = h.local().modules.parameterBlock;
  older[0] = 1;
  older[1] = 4;
  h.local().modules.parameterBlock = older;
  sim::NetworkKey key{};
  EXPECT_EQ(ReadLocalNetworkKey(path, kSimLocalMac, key), 1);
  EXPECT_EQ(key, kSimLocalKey);
}

TEST_F(LocalNetworkKeyTest, NoKeyTakenIsAFailureThatKeepsTheOldKey) {
  const struct {
    const char* what;
    std::function<void(SimHost&, Bytes&)> fault;
  } cases[] = {
      {"region fails validation", [](SimHost&, Bytes& b) { b[244] = 0xFF; }},
      {"length field wrong", [](SimHost&, Bytes& b) { writeLe16(b, 4, 15559), b.resize(15559); }},
      {"version below the field version", [](SimHost&, Bytes& b) { b[0] = 1, b[1] = 3; }},
      {"too short to hold the key",
       [](SimHost&, Bytes& b) { b[0] = 1, writeLe16(b, 4, 64), b.resize(64); }},
      {"longer than the buffer", [](SimHost&, Bytes& b) { b = patternBlock(20000, 20000); }},
      {"no source address",
       [](SimHost&, Bytes&) { transport::interfaceTable().entries[0].macAddress = kNoMac; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SimHost h(simScenario());
    Bytes block = samples::buildParameterBlock(kSimLocalMac, kSimLocalKey);
    c.fault(h, block);
    h.local().modules.parameterBlock = block;
    EXPECT_EQ(read(), -1);
    expectKept();
  }
}

}  // namespace
}  // namespace quorrel::api
