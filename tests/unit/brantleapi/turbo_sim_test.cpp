// The Turbo and HomePlug 1.0 operations against the simulated network on a virtual clock:
// identity, firmware text and key reads, the key envelope, and the key setting's read-back.
#include <gtest/gtest.h>

#include "adapter-sim/core/in_process_backend.h"
#include "adapter-sim/core/scenario.h"
#include "api/device_table.h"
#include "brantleapi/brantleapi.h"
#include "brantleapi/hp1_frame.h"
#include "crypto/keys.h"
#include "transport/interface_table.h"

namespace quorrel::brantleapi {
namespace {

const char* kTurboScenario =
    "[local]\n"
    "family turbo\n"
    "mac 00:04:87:10:00:01\n"
    "firmware QTB2000 fw rev1.5.3 SIM\n"
    "network_key 0123456789ABCDEF\n"
    "vendor_text1 Quorrel\n"
    "vendor_text2 Turbo Local\n"
    "identity_version 3.1\n"
    "[remote]\n"
    "family turbo\n"
    "mac 00:04:87:20:00:02\n"
    "rate 2812\n"
    "device_password AAAA-BBBB-CCCC-DDDD\n"
    "[remote]\n"
    "family turbo\n"
    "mac 00:04:87:20:00:03\n"
    "network_key 1111111111111111\n"
    "device_password WXYZ-WXYZ-WXYZ-WXYZ\n";

const char* kHp1Scenario =
    "[local]\n"
    "family hp1\n"
    "mac 00:04:87:30:00:01\n"
    "network_key 0123456789ABCDEF\n";

constexpr MacAddress kTurboLocal{0x00, 0x04, 0x87, 0x10, 0x00, 0x01};
constexpr MacAddress kTurboRemote{0x00, 0x04, 0x87, 0x20, 0x00, 0x02};
constexpr MacAddress kOutsider{0x00, 0x04, 0x87, 0x20, 0x00, 0x03};

sim::Scenario load(const char* text) {
  sim::Scenario s;
  std::string error;
  EXPECT_TRUE(sim::parseScenario(text, s, error)) << error;
  return s;
}

Hp1Key first8(const crypto::Key& k) {
  Hp1Key out{};
  std::copy_n(k.begin(), out.size(), out.begin());
  return out;
}

class SimulatedHp1 : public ::testing::Test {
 protected:
  void start(const char* scenario) {
    network = std::make_unique<sim::Network>(load(scenario));
    backend = std::make_unique<sim::InProcessBackend>(clock);
    backend->addInterface("sim0", sim::kDefaultHostMac, network.get());
    platform::setClock(&clock);
    transport::setBackend(backend.get());
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    transport::setCurrentInterface(0);
    api::ResetDeviceTable();
    ResetTurboState();
  }
  void TearDown() override {
    transport::ResetInterfaceTable();
    transport::setBackend(nullptr);
    platform::setClock(nullptr);
    api::ResetDeviceTable();
    ResetTurboState();
  }
  platform::VirtualClock clock;
  std::unique_ptr<sim::Network> network;
  std::unique_ptr<sim::InProcessBackend> backend;
};

TEST_F(SimulatedHp1, TurboLocalIdentityFirmwareAndKey) {
  start(kTurboScenario);
  ASSERT_TRUE(detectTurboDevice());
  EXPECT_EQ(api::LocalDeviceAddress(), kTurboLocal);
  EXPECT_EQ(turboState().localTurboVersion, "Version 3.1");
  EXPECT_EQ(turboState().localTurboVendorText1, "Quorrel");
  EXPECT_EQ(turboState().localTurboVendorText2, "Turbo Local");

  EXPECT_EQ(requestTurboPrivate(kPrivateFirmwareText), 1);
  collectTurboReplies(nullptr);
  EXPECT_EQ(turboState().localTurboFirmware, "QTB2000 fw rev1.5.3 SIM");
  EXPECT_TRUE(turboState().turboFirmwareOld);
  EXPECT_EQ(requestTurboPrivate(kPrivateNetworkKey), 1);
  collectTurboReplies(nullptr);
  EXPECT_EQ(api::deviceTable().localHp1NetworkKey,
            (Hp1Key{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));

  // The remote in the local network answers the broadcast identity request and the local
  // device's statistics list it with its rate; the one in another network stays silent.
  api::UpsertRemote(kTurboRemote);
  api::UpsertRemote(kOutsider);
  requestTurboIdentity();
  collectTurboReplies(nullptr);
  requestTurboStatistics(kTurboLocal);
  collectTurboReplies(nullptr);
  const api::RemoteDevice* r = api::FindRemote(kTurboRemote);
  EXPECT_EQ(r->deviceClass, api::DeviceClass::Turbo);
  EXPECT_EQ(r->vendorText2, "Turbo Adapter");
  EXPECT_EQ(r->rateStats.currentRate, 85);
  EXPECT_NE(api::FindRemote(kOutsider)->deviceClass, api::DeviceClass::Turbo);
}

TEST_F(SimulatedHp1, KeyEnvelopeReachesOnlyTheRemoteWithThatDeviceKey) {
  start(kTurboScenario);
  ASSERT_TRUE(detectTurboDevice());
  api::deviceTable().turboLocal = true;
  const Hp1Key newKey{9, 8, 7, 6, 5, 4, 3, 2};
  EXPECT_EQ(setTurboLocalKey(newKey), kKeyHp1Answered);
  EXPECT_EQ(first8(network->scenario().local.networkKey), newKey);

  Hp1FrameBuffer buffer{};
  const Hp1Key wrong = first8(crypto::deriveNEK("NOT-THE-PASSWORD"));
  std::size_t n = buildTurboKeyFrame(buffer, sim::kDefaultHostMac, kBroadcastMac, newKey, &wrong);
  ASSERT_EQ(transport::SendFrame(0, ByteSpan(buffer).first(n)), 1);
  MacAddress target = kBroadcastMac;
  EXPECT_EQ(waitHp1KeyAnswer(target), kKeyNoAnswer);

  const Hp1Key device = first8(crypto::deriveNEK("WXYZ-WXYZ-WXYZ-WXYZ"));
  n = buildTurboKeyFrame(buffer, sim::kDefaultHostMac, kBroadcastMac, newKey, &device);
  ASSERT_EQ(transport::SendFrame(0, ByteSpan(buffer).first(n)), 1);
  target = kBroadcastMac;
  EXPECT_EQ(waitHp1KeyAnswer(target), kKeyHp1Answered);
  EXPECT_EQ(target, kOutsider);
  EXPECT_EQ(first8(network->scenario().remotes[1].networkKey), newKey);
}

TEST_F(SimulatedHp1, Hp1KeyEntryReadBackAgainstTheLocalDevice) {
  start(kHp1Scenario);
  // The local parameters as the scan would have kept them.
  Hp1FrameBuffer buffer{};
  const std::size_t n =
      buildLocalParametersRequest(buffer, kBroadcastMac, sim::kDefaultHostMac, 0x00);
  ASSERT_EQ(transport::SendFrame(0, ByteSpan(buffer).first(n)), 1);
  for (int i = 0; i < 20; ++i) {
    const auto* f = transport::ReceiveFrame(0);
    if (f == nullptr) continue;
    auto v = parseHp1Reply(f->bytes());
    ASSERT_TRUE(v);
    auto p = decodeLocalParametersReply(*v);
    ASSERT_TRUE(p);
    api::interfaceState(0).localParameters = p->parameters;
    api::interfaceState(0).localAnswered = true;
    break;
  }
  ASSERT_TRUE(api::interfaceState(0).localAnswered);

  const Hp1Key key{0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
  EXPECT_EQ(sendHp1KeyEntry(0, sim::kDefaultHostMac, kBroadcastMac, 1, key, 1, true, false), 1);
  EXPECT_EQ(first8(network->scenario().local.networkKey), key);
  EXPECT_EQ(network->scenario().local.modeBytes[2], 1);

  // The adapter that does not take the key reads back its old one.
  network->addHandler(0x887B, kEntrySetKey,
                      [](sim::Network&, const sim::wire::Request&, std::vector<sim::Answer>&) {});
  const Hp1Key other{1, 1, 2, 3, 5, 8, 13, 21};
  EXPECT_EQ(sendHp1KeyEntry(0, sim::kDefaultHostMac, kBroadcastMac, 1, other, 1, true, false), 0);
  EXPECT_EQ(first8(network->scenario().local.networkKey), key);
}

}  // namespace
}  // namespace quorrel::brantleapi
