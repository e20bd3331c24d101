// A Turbo local adapter read over the real libpcap path: adapter-sim on the far end of a veth
// pair answers the identity, firmware text and network key requests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "api/device_table.h"
#include "brantleapi/brantleapi.h"
#include "e2e/netns.h"
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

class BrantleE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto why = netnsUnavailableReason(); !why.empty()) GTEST_SKIP() << why;
    std::string error;
    ASSERT_TRUE(pair.create(error)) << error;
    char dirTemplate[] = "/tmp/quorrel-brantle-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    dir = dirTemplate;
    const std::string path = dir + "/scenario.conf";
    std::ofstream(path) << kScenario;
    ASSERT_TRUE(sim.start(pair, path, dir + "/frames.log", error)) << error;
    ASSERT_TRUE(pair.enterHost(error)) << error;
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    transport::setCurrentInterface(0);
    api::ResetDeviceTable();
    brantleapi::ResetTurboState();
  }
  void TearDown() override {
    transport::ResetInterfaceTable();
    sim.stop();
    pair.teardown();
    if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    api::ResetDeviceTable();
    brantleapi::ResetTurboState();
  }

  NetnsPair pair;
  SimProcess sim;
  std::string dir;
};

TEST_F(BrantleE2eTest, TurboLocalIdentityAndKeyFromTheSimulator) {
  using namespace brantleapi;
  // A first try may go out before the capture on the far end sees it; the scan retries too.
  bool found = false;
  for (int attempt = 0; attempt < 5 && !found; ++attempt) found = detectTurboDevice();
  ASSERT_TRUE(found);
  EXPECT_EQ(api::LocalDeviceAddress(), kTurboLocal);
  EXPECT_EQ(turboState().localTurboVersion, "Version 2.4");
  EXPECT_EQ(turboState().localTurboVendorText1, "Quorrel");
  EXPECT_EQ(turboState().localTurboVendorText2, "Turbo Local");

  ASSERT_EQ(requestTurboPrivate(kPrivateFirmwareText), 1);
  collectTurboReplies(nullptr);
  EXPECT_EQ(turboState().localTurboFirmware, "QTB2000 fw rev1.8.2 E2E");
  EXPECT_FALSE(turboState().turboFirmwareOld);

  ASSERT_EQ(requestTurboPrivate(kPrivateNetworkKey), 1);
  collectTurboReplies(nullptr);
  EXPECT_EQ(api::deviceTable().localHp1NetworkKey,
            (Hp1Key{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
}

}  // namespace
}  // namespace quorrel::e2e
