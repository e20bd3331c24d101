// The Turbo poll, key setting and read-back over a scripted backend and a virtual clock. Cut and
// hostile replies: the decoders' tests and the fuzz target, below the poll.
#include "brantleapi/brantleapi.h"

#include <gtest/gtest.h>

#include "api/device_table.h"
#include "brantleapi/hp1_bookkeeping.h"
#include "brantleapi/hp1_loader.h"
#include "brantleapi/hp1_requests.h"
#include "platform/clock.h"
#include "support/fake_backend.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"
#include "unit/brantleapi/reply_frames.h"

namespace quorrel::brantleapi {
namespace {

using namespace testing;

std::vector<LocalParameters> logged;
std::vector<bool> autoscanCalls;
std::vector<std::vector<std::uint8_t>> handedOn;
transport::ReceivePath path;

bool handOn(const transport::Frame& f) {
  handedOn.emplace_back(f.bytes().begin(), f.bytes().end());
  return true;
}
bool autoscanSwitch(bool on) {
  autoscanCalls.push_back(on);
  return true;
}
Hp1KeyEntryContext context(transport::ReceivePath& from = path) {
  return {from, &autoscanSwitch, &logged};
}

class TurboOps : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.interfaces.push_back({"veth0", kTestHost});
    transport::setBackend(&fake);
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    platform::setClock(&clock);
    api::resetDeviceTable();
    resetTurboState();
    api::interfaceState(0).localMac = kTestLocal;
    logged.clear();
    autoscanCalls.clear();
    handedOn.clear();
  }
  void TearDown() override {
    transport::resetInterfaceTable();
    transport::setBackend(nullptr);
    platform::setClock(nullptr);
    api::resetDeviceTable();
    resetTurboState();
  }
  void queue(std::vector<std::uint8_t> f) { fake.ports[0].incoming.push_back(std::move(f)); }
  std::vector<std::vector<std::uint8_t>>& sent() { return fake.ports[0].sent; }

  quorrel::testing::FakeBackend fake;
  platform::VirtualClock clock;
};

TEST_F(TurboOps, DetectPollAndNetworkStatisticsFillTheTurboStateAndTable) {
  queue(identityReply(kTestLocal, false, 2, 1, 8, "Vendor", "Turbo Adapter"));
  ASSERT_TRUE(detectTurboDevice(path, &handOn));
  const TurboState& s = turboState();
  EXPECT_EQ(s.localTurboVersion, "Version 1.8");
  EXPECT_EQ(s.localTurboVendorText2, "Turbo Adapter");
  EXPECT_EQ(api::LocalDeviceAddress(), kTestLocal);

  api::RemoteDevice* r = api::UpsertRemote(kTestRemote);
  r->inUse = false;
  const MacAddress stranger{0, 4, 0x87, 9, 9, 9};
  queue(identityReply(kTestRemote, true, 1, 0, 0x15, "", "Remote"));
  queue(identityReply(stranger, true, 1, 0, 0x15, "x", "y"));
  queue(statisticsReply(kTestLocal, 31, {{kTestRemote, 2812}, {stranger, 252}}));
  queue(firmwareReply(kTestLocal, "QTB2000 fw rev1.6.0", 19));
  queue(networkKeyReply(kTestLocal, {8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_TRUE(pollTurboReplies(path, nullptr, &handOn));
  EXPECT_TRUE(fake.ports[0].incoming.empty());
  EXPECT_TRUE(r->inUse && r->classChanged);
  EXPECT_EQ(r->deviceClass, api::DeviceClass::Turbo);
  EXPECT_EQ(r->firmware, "Version 1.2");
  EXPECT_EQ(r->rateStats.currentRate, 85);
  EXPECT_EQ(api::FindRemote(stranger), nullptr);  // not in the table: not added by a reply
  EXPECT_EQ(s.localTurboFirmware, "QTB2000 fw rev1.6.0");
  EXPECT_TRUE(s.turboFirmwareOld);
  EXPECT_EQ(api::deviceTable().localHp1NetworkKey, (Hp1Key{8, 7, 6, 5, 4, 3, 2, 1}));

  // Network statistics: a Turbo remote's rate from the Turbo scale, any other's from the
  // HomePlug 1.0 one.
  const MacAddress plain{0, 4, 0x87, 0, 0, 3};
  api::UpsertRemote(plain);
  r->rateStats = {};
  NetworkStatistics n;
  n.stations[0] = {plain, 420, 0, 0};
  n.stations[1] = {kTestRemote, 2812, 0, 0};  // limited to 519, then 519 * 85 / 14
  n.count = 2;
  n.fails = 5;
  applyHp1NetworkStatistics(n);
  EXPECT_EQ(api::FindRemote(plain)->rateStats.currentRate, 11);
  EXPECT_EQ(api::FindRemote(kTestRemote)->rateStats.currentRate, 85);
  EXPECT_EQ(api::currentDevices().rateStats.fails, 5u);
  // The average of 11 and 85 Mbps goes back through the raw HomePlug 1.0 scale: 48 * 42 raw.
  EXPECT_EQ(api::currentDevices().rateStats.currentRate, 54);
}

TEST_F(TurboOps, PollIsBoundedStopsAtAvFramesAndHandsOtherTypesOn) {
  for (int i = 0; i < 3 * kMaxPollFrames; ++i) queue(replyFrame(kTestRemote, kTestHost, 0x08, 0));
  EXPECT_TRUE(pollTurboReplies(path, nullptr, &handOn));
  EXPECT_EQ(handedOn.size(), std::size_t(kMaxPollFrames));
  EXPECT_EQ(fake.ports[0].incoming.size(), std::size_t(2 * kMaxPollFrames));
  fake.ports[0].incoming.clear();

  auto av = replyFrame(kTestLocal, kTestHost, 0, 0);
  av[13] = 0xE1;
  queue(av);
  queue(replyFrame(kTestRemote, kTestHost, 0x08, 0));
  EXPECT_FALSE(pollTurboReplies(path, nullptr, &handOn));
  EXPECT_EQ(fake.ports[0].incoming.size(), 1u);  // left for the HomePlug AV intake
  fake.ports[0].incoming.clear();

  std::string text;
  auto unknown = identityReply(kTestLocal, false, 1, 0, 0, "a", "b");
  unknown[17] = 9;
  for (const auto& [code, want] : {std::pair{0x31, "Unknown private response recieved (9)."},
                                   {0x23, "Extended Stats response recieved (9)."}}) {
    unknown[20] = static_cast<std::uint8_t>(0x80 | code);
    queue(unknown);
    EXPECT_FALSE(pollTurboReplies(path, &text, &handOn));
    EXPECT_EQ(text, want);
  }
  EXPECT_FALSE(pollTurboReplies(path, nullptr, &handOn));  // nothing waiting
}

TEST_F(TurboOps, KeyAnswerWaitsForTheRightDeviceAndTimesOutAndNoHostSendsNothing) {
  api::deviceTable().turboLocal = true;
  queue(replyFrame(kTestRemote, kTestHost, 0x06, 0));  // not the target
  queue(replyFrame(kTestLocal, kTestHost, 0x06, 0));
  const Hp1Key key{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(setTurboLocalKey(path, key), kKeyHp1Answered);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(readMac(sent()[0], 0), kTestLocal);

  const std::uint32_t before = platform::tickCount();
  EXPECT_EQ(setTurboLocalKey(path, key), kKeyNoAnswer);
  EXPECT_GE(platform::tickCount() - before, kKeyAnswerWaitMs);

  MacAddress anyone = kBroadcastMac;
  queue(replyFrame(kTestLocal, kTestHost, 0x06, 0));  // the local device does not count
  queue(replyFrame(kTestRemote, kTestHost, 0x06, 0));
  EXPECT_EQ(waitHp1KeyAnswer(path, anyone), kKeyHp1Answered);
  EXPECT_EQ(anyone, kTestRemote);

  sent().clear();
  transport::interfaceTable().entries[0].macAddress = kNoMac;
  EXPECT_TRUE(sendVendorRequest(kBroadcastMac, 0x10, {}));
  EXPECT_EQ(requestTurboPrivate(0x20), 1);
  EXPECT_EQ(sendLocalCommand(0x12, 0x67), 0);
  EXPECT_EQ(sendHardwareReset(), 0);
  EXPECT_EQ(setTurboLocalKey(path, Hp1Key{}), kKeyNoAnswer);
  EXPECT_TRUE(sent().empty());
}

std::vector<std::uint8_t> loaderReply(std::uint8_t code, std::uint8_t status,
                                      std::uint32_t checksum = 0, const MacAddress& to = kTestHost,
                                      std::uint8_t type = kEntryLoader, std::size_t size = 60) {
  auto f = replyFrame(kLoaderDefaultMac, to, type, 1, size);
  f[17] = code;
  f[20] = status;
  writeBe32(f, 29, checksum);
  return f;
}

// The wait for the loader's reply: only the reply to the command just sent, addressed to the
// host, counts; its status and checksum decide.
TEST_F(TurboOps, LoaderReplyIsOnlyTheReplyToTheCommandSent) {
  // A partial last word counts with zero bytes.
  EXPECT_EQ(loaderChecksum(std::vector<std::uint8_t>{1, 2, 3, 4, 5}), ~(0x04030201u ^ 0x00000005u));
  const MacAddress other{0x02, 0, 0, 0, 0, 9};
  const struct {
    const char* name;
    std::uint8_t sent;
    std::vector<std::vector<std::uint8_t>> frames;
    bool ok;
    std::uint32_t checksum;
  } cases[] = {
      // clang-format off
      {"piece acknowledged", 0x81, {loaderReply(0x81, 0)}, true, 0},
      {"piece refused", 0x81, {loaderReply(0x81, 1)}, false, 0},
      {"late piece reply is not the commit's", 0x82, {loaderReply(0x81, 0)}, false, 0},
      {"commit after a late piece reply", 0x82, {loaderReply(0x81, 0), loaderReply(0x82, 0)}, true, 0},
      {"checksum report", 0x83, {loaderReply(0x84, 0, 7), loaderReply(0x04, 0, 0xA1B2C3D4)}, true, 0xA1B2C3D4},
      {"checksum reply cut short", 0x83, {loaderReply(0x83, 0, 5, kTestHost, kEntryLoader, 31)}, false, 0},
      {"another station's reply", 0x84, {loaderReply(0x84, 0, 0, other)}, false, 0},
      {"another entry type", 0x84, {loaderReply(0x84, 0, 0, kTestHost, kEntryPrivateReply)}, false, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& f : c.frames) queue(f);
    std::uint32_t checksum = 0;
    EXPECT_EQ(awaitLoaderReply(path, c.sent, kLoaderPieceWaitMs, &checksum), c.ok);
    EXPECT_EQ(checksum, c.checksum);
    fake.ports[0].incoming.clear();
  }
}

class Hp1KeyEntry : public TurboOps {
 protected:
  void SetUp() override {
    TurboOps::SetUp();
    auto& st = api::interfaceState(0);
    st.localAnswered = true;
    for (std::size_t i = 0; i < st.localParameters.size(); ++i)
      st.localParameters[i] = static_cast<std::uint8_t>(0x30 + i);
    // What the device holds after taking the key: selector, key and the mode bytes changed.
    expected = st.localParameters;
    expected[14] = 1;
    std::copy(key.begin(), key.end(), expected.begin() + 15);
    expected[23] |= 0x40;
    expected[25] = 1;
  }
  int send() {
    return sendHp1KeyEntry(context(), 0, kTestHost, kBroadcastMac, 1, key, 1, true, false);
  }
  const Hp1Key key{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  std::array<std::uint8_t, 50> expected{};
};

TEST_F(Hp1KeyEntry, ReadBackAcceptsTheMatchingKeyOnlyWhateverTheBookkeepingStores) {
  queue(localParametersReply(kTestLocal, 1, expected));
  EXPECT_EQ(send(), 1);
  ASSERT_EQ(sent().size(), 2u);            // the key entry and one read-back request
  EXPECT_EQ(sent()[0][28], expected[23]);  // the mode bytes sent are those expected back
  EXPECT_EQ(api::interfaceState(0).localParameters, expected);
  EXPECT_TRUE(logged.empty());

  auto other = expected;
  other[15] ^= 0xFF;
  queue(localParametersReply(kTestLocal, 1, other));
  queue(localParametersReply(kTestLocal, 2, expected));  // the working copy does not count
  EXPECT_EQ(send(), 0);
  EXPECT_EQ(sent().size(), 2u + 4u);  // the key entry and three rounds of requests
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0], other);
  EXPECT_EQ(autoscanCalls, (std::vector<bool>{false, true, false, true}));

  // The scan's bookkeeping keeps every parameters reply as the interface's copy before the key
  // setting sees it; the read-back must still catch a device that did not take the key.
  Hp1Bookkeeping books;
  transport::ReceivePath kept(&books);
  other = expected;
  other[20] ^= 0x01;
  queue(localParametersReply(kTestLocal, 1, other));
  queue(localParametersReply(kTestLocal, 1, other));
  logged.clear();
  EXPECT_EQ(sendHp1KeyEntry(context(kept), 0, kTestHost, kBroadcastMac, 1, key, 1, true, false), 0);
  EXPECT_EQ(logged.size(), 2u);
}

TEST_F(Hp1KeyEntry, KeepModeAddressedAndHostlessEntriesSkipTheReadBack) {
  const auto before = api::interfaceState(0).localParameters;
  EXPECT_EQ(sendHp1KeyEntry(context(), 0, kTestHost, kTestRemote, 0, key, 0, false, true), 0);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(sent()[0][14], 1);  // no mode entry
  EXPECT_EQ(api::interfaceState(0).localParameters, before);
  // No host address, or a Turbo local device: nothing sent, the switch still restored.
  EXPECT_EQ(sendHp1KeyEntry(context(), 0, kNoMac, kBroadcastMac, 1, key, 1, true, false), 0);
  api::deviceTable().turboLocal = true;
  EXPECT_EQ(send(), 0);
  EXPECT_EQ(sent().size(), 1u);
  EXPECT_EQ(autoscanCalls, (std::vector<bool>{false, true, false, true}));
}

}  // namespace
}  // namespace quorrel::brantleapi
