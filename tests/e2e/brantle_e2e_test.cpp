// A Turbo local adapter read over the real libpcap path: adapter-sim on the far end of a veth
// pair answers the identity, firmware text and network key requests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "api/device_table.h"
#include "brantleapi/brantleapi.h"
#include "e2e/sim_pair_test.h"
#include "transport/interface_table.h"

namespace quorrel::e2e {
namespace {

constexpr MacAddress kTurboLocal{0x00, 0x04, 0x87, 0x10, 0x00, 0x01};

const char* kScenario =
    "[local]\n"
    "family turbo\n"
    "mac 00:04:87:10:00:01\n"
    "firmware QTB2000 fw rev1.8.2 E2E\n"
    "network_key 0123456789ABCDEF\n"
    "vendor_text1 Quorrel\n"
    "vendor_text2 Turbo Local\n"
    "identity_version 2.4\n";

class BrantleE2eTest : public SimPairTest {
 protected:
  void SetUp() override {
    SimPairTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    startSim(kScenario);
    api::ResetDeviceTable();
    brantleapi::ResetTurboState();
  }
  void TearDown() override {
    SimPairTest::TearDown();
    api::ResetDeviceTable();
    brantleapi::ResetTurboState();
  }
};

TEST_F(BrantleE2eTest, TurboLocalIdentityAndKeyFromTheSimulator) {
  using namespace brantleapi;
  transport::ReceivePath path;
  // A first try may go out before the capture on the far end sees it; the scan retries too.
  bool found = false;
  for (int attempt = 0; attempt < 5 && !found; ++attempt) found = detectTurboDevice(path);
  ASSERT_TRUE(found);
  EXPECT_EQ(api::LocalDeviceAddress(), kTurboLocal);
  EXPECT_EQ(turboState().localTurboVersion, "Version 2.4");
  EXPECT_EQ(turboState().localTurboVendorText1, "Quorrel");
  EXPECT_EQ(turboState().localTurboVendorText2, "Turbo Local");

  ASSERT_EQ(requestTurboPrivate(kPrivateFirmwareText), 1);
  collectTurboReplies(path, nullptr);
  EXPECT_EQ(turboState().localTurboFirmware, "QTB2000 fw rev1.8.2 E2E");
  EXPECT_FALSE(turboState().turboFirmwareOld);

  ASSERT_EQ(requestTurboPrivate(kPrivateNetworkKey), 1);
  collectTurboReplies(path, nullptr);
  EXPECT_EQ(api::deviceTable().localHp1NetworkKey,
            (Hp1Key{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
}

}  // namespace
}  // namespace quorrel::e2e
