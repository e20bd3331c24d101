// HomePlug AV exchanges through the message layer and real libpcap against adapter-sim: the
// version confirmation decoded, and station lists in both layouts.
#include <gtest/gtest.h>

#include "e2e/sim_pair_test.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::e2e {
namespace {

constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr MacAddress kRemote{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02};

std::string scenario(int localChip) {
  return "[local]\nmac 00:B0:52:10:00:01\nchip " + std::to_string(localChip) +
         "\n[remote]\nmac 00:B0:52:20:00:02\nchip 4\nfirmware LQB-200-REMOTE\nrate 210 190\n";
}

class AvExchangeE2eTest : public SimPairTest {
 protected:
  void SetUp() override {
    SimPairTest::SetUp();
    thpapi::ResetExchangeState();
  }
  void TearDown() override {
    thpapi::ResetExchangeState();
    SimPairTest::TearDown();
  }
  void start(const std::string& text) {
    startSim(text);
    ASSERT_EQ(transport::SourceAddress(), kHostEndMac);
  }
};

TEST_F(AvExchangeE2eTest, VersionConfirmationComesBackDecoded) {
  start(scenario(2));
  thpapi::SendAvRequest(kLocalDeviceMac, 0xA000);
  thpapi::ThapiResult r;
  int arrival = -1;
  ASSERT_TRUE(thpapi::WaitConfirmation(path, 0xA000, r, &arrival));
  EXPECT_EQ(r.mmtype, 0xA001);
  EXPECT_EQ(r.source, kLocal);
  EXPECT_EQ(r.destination, kHostEndMac);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.version.deviceId, 2);
  EXPECT_EQ(r.version.text.rfind("LQA-100", 0), 0u);
  EXPECT_TRUE(thpapi::avAnswered());
  EXPECT_EQ(arrival, 0);

  // A station answers at its own address through the local adapter.
  thpapi::SendAvRequest(kRemote, 0xA000);
  ASSERT_TRUE(thpapi::WaitConfirmation(path, 0xA000, r));
  EXPECT_EQ(r.source, kRemote);
  EXPECT_EQ(r.version.deviceId, 4);
}

// The local adapter lists the one station in the layout of `messageVersion` (0 or 4).
void expectOneStationListed(int messageVersion, int expectedFormat) {
  thpapi::setAvMessageVersion(messageVersion);
  thpapi::SendAvRequest(kLocal, 0xA038);
  thpapi::ThapiResult r;
  ASSERT_TRUE(thpapi::WaitConfirmation(path, 0xA038, r));
  EXPECT_EQ(thpapi::networkInfoFormat(), expectedFormat);
  ASSERT_EQ(r.stations.size(), 1u);
  EXPECT_EQ(r.stations[0].mac, kRemote);
  EXPECT_EQ(r.stations[0].rate, 210);
}

TEST_F(AvExchangeE2eTest, FirstGenerationAnswersInVersion0Layout) {
  start(scenario(1));
  expectOneStationListed(0, 1);
}

TEST_F(AvExchangeE2eTest, SecondGenerationAnswersInVersion1Layout) {
  start(scenario(4));
  expectOneStationListed(4, 4);
}

TEST_F(AvExchangeE2eTest, NoAdapterMeansTheWaitEndsOnItsDeadline) {
  start(scenario(1));
  thpapi::ThapiResult r;
  // Nobody answers a version request for an address that is not on the wiring.
  thpapi::SendAvRequest(MacAddress{0x00, 0xB0, 0x52, 0x99, 0x99, 0x99}, 0xA000);
  EXPECT_FALSE(thpapi::WaitConfirmation(path, 0xA000, r));
}

}  // namespace
}  // namespace quorrel::e2e
