// Reading the local device's network key from its parameter block, against the simulated
// adapter: the key on success, and on every failure the old key and name left in place.
#include <gtest/gtest.h>

#include "api/local_network_key.h"
#include "make-samples/sample_files.h"
#include "support/sim_host.h"
#include "thpapi/module_transfer.h"

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
  int read() { return ReadLocalNetworkKey(kLocalDeviceMac, deviceTable().localAvNetworkKey); }
  void expectKept() {
    EXPECT_EQ(deviceTable().localAvNetworkKey, kOldKey);
    EXPECT_EQ(deviceTable().localAvNetworkName.view(), "Old Network");
  }
};

TEST_F(LocalNetworkKeyTest, TakesTheKeyOfTheAdaptersBlock) {
  SimHost h(simScenario());
  EXPECT_EQ(read(), 1);
  EXPECT_EQ(deviceTable().localAvNetworkKey, kSimLocalKey);
  EXPECT_EQ(sentRequests(h, 0xA024).size(), 16u);
  // A block of another layout version is used as it stands.
  Bytes older = h.local().modules.parameterBlock;
  older[0] = 1;
  older[1] = 4;
  h.local().modules.parameterBlock = older;
  sim::NetworkKey key{};
  EXPECT_EQ(ReadLocalNetworkKey(kSimLocalMac, key), 1);
  EXPECT_EQ(key, kSimLocalKey);
}

TEST_F(LocalNetworkKeyTest, BlockLongerThanTheBufferIsRefused) {
  SimHost h(simScenario({}, patternBlock(20000, 20000)));
  EXPECT_EQ(read(), -1);
  expectKept();
  EXPECT_EQ(sentRequests(h, 0xA024).size(), 1u);
}

TEST_F(LocalNetworkKeyTest, NoKeyTakenIsAFailure) {
  struct Case {
    const char* what;
    std::uint8_t first, second;  // version
    std::size_t corruptAt;       // a byte that breaks a region check; 0 none
    std::uint32_t stated;
  };
  const Case cases[] = {
      {"region fails validation", 4, 4, 244, 15560},
      {"length field wrong", 4, 4, 0, 15559},
      {"version below the field version", 1, 3, 0, 15560},
      {"too short to hold the key", 1, 4, 0, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes block = samples::buildParameterBlock(kSimLocalMac, kSimLocalKey);
    block[0] = c.first;
    block[1] = c.second;
    writeLe16(block, 4, static_cast<std::uint16_t>(c.stated));
    if (c.corruptAt != 0) block[c.corruptAt] = 0xFF;
    if (c.stated < block.size() - 1) block.resize(c.stated);  // the adapter holds no more
    SimHost h(simScenario({}, block));
    EXPECT_EQ(read(), -1);
    expectKept();
  }
}

TEST_F(LocalNetworkKeyTest, FailedTransfersKeepTheOldKey) {
  {
    SimHost h(simScenario());
    h.behaviour().rejectPiece = 1;  // the first piece has no retries
    EXPECT_EQ(read(), -1);
    expectKept();
  }
  {
    SimHost h(simScenario());
    h.behaviour().stopAfterPiece = 9;
    EXPECT_EQ(read(), -1);
    expectKept();
  }
  {
    SimHost h(simScenario());
    transport::interfaceTable().entries[0].macAddress = kNoMac;  // no source address
    EXPECT_EQ(read(), -1);
    expectKept();
    EXPECT_TRUE(h.sent().empty());
  }
  // Refused and damaged pieces that are resent in time do not disturb the block.
  SimHost h(simScenario());
  h.behaviour().rejectPiece = 2;
  h.behaviour().corruptPiece = 6;
  h.behaviour().corruptCount = 2;
  EXPECT_EQ(read(), 1);
  EXPECT_EQ(deviceTable().localAvNetworkKey, kSimLocalKey);
}

}  // namespace
}  // namespace quorrel::api
