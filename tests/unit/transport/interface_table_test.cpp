// The interface table over a scripted backend: limits and faults.
#include <gtest/gtest.h>

#include <atomic>
#include <tuple>

#include "platform/notice.h"
#include "support/av_frames.h"
#include "support/fake_backend.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

namespace quorrel::transport {
namespace {

class InterfaceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i)
      fake.interfaces.push_back(
          {"eth" + std::to_string(i), MacAddress{2, 0, 0, 0, 0, std::uint8_t(i)}});
    setBackend(&fake);
    platform::setNotice(&notice);
    ASSERT_EQ(EnumerateInterfaces(), 1);
  }
  void TearDown() override {
    resetInterfaceTable();
    setBackend(nullptr);
    platform::setNotice(nullptr);
  }
  testing::FakeBackend fake;
  platform::RecordingNotice notice;
};

// Failures and faults of the backend are failures; enumeration keeps eight interfaces.
TEST_F(InterfaceTableTest, BackendFailuresAndFaultsAreFailuresAndEnumerationKeepsEight) {
  ASSERT_EQ(OpenInterface(0), 1);
  EXPECT_EQ(ReceiveFrame(0), nullptr);
  fake.ports[0].incoming.push_back({1, 2, 3});
  const ReceivedFrame* f = ReceiveFrame(0);
  ASSERT_TRUE(f != nullptr && f->length == 3u && f->data[2] == 3);
  fake.ports[0].throwOnReceive = true;
  EXPECT_EQ(ReceiveFrame(0), nullptr);
  EXPECT_EQ(ReceiveFrame(2), nullptr);  // enumerated but never opened

  fake.ports[0].failSend = true;
  EXPECT_EQ(SendFrame(0, std::vector<std::uint8_t>(60)), 0);
  EXPECT_TRUE(notice.shown.empty());
  fake.ports[0].throwOnSend = true;
  EXPECT_EQ(SendFrame(0, std::vector<std::uint8_t>(60)), 0);
  ASSERT_EQ(notice.shown.size(), 1u);
  EXPECT_EQ((std::tuple{notice.shown[0].caption, notice.shown[0].text}),
            (std::tuple{std::string("Send Packet Error"),
                        std::string("Unknown error occurred while sending packets. Please try "
                                    "after some time.")}));

  for (int i = 3; i < 12; ++i) fake.interfaces.push_back({"eth" + std::to_string(i), kNoMac});
  ASSERT_EQ(EnumerateInterfaces(), 1);  // again, over the table of three
  const InterfaceTable& t = interfaceTable();
  EXPECT_EQ((std::tuple{t.interfaceCount, t.entries[2].macAddress, t.entries[7].macAddress}),
            (std::tuple{8, MacAddress{2, 0, 0, 0, 0, 2}, kNoMac}));
  fake.listFails = true;
  EXPECT_EQ((std::tuple{EnumerateInterfaces(), t.interfaceCount}), (std::tuple{0, 0}));
}

// Padding and the length limit: the transport's end-to-end test, on the wire.
TEST_F(InterfaceTableTest, OpenSendAndSourceAddressAreBoundedByCount) {
  EXPECT_EQ((std::tuple{OpenInterface(0), OpenInterface(0), fake.opens, OpenInterface(3),
                        OpenInterface(-1), SendFrame(3, std::vector<std::uint8_t>(60))}),
            (std::tuple{1, 1, 1, 0, 0, 0}));
  setCurrentInterface(2);
  EXPECT_EQ(SourceAddress(), (MacAddress{2, 0, 0, 0, 0, 2}));
  setCurrentInterface(5);
  EXPECT_EQ(SourceAddress(), kNoMac);
}

// The one wait looks at every open interface without waiting on any (a waiting receive costs
// about a millisecond each on a real capture); it passes frames to `other` in order, listens
// on one interface when asked, and ends at its deadline.
TEST_F(InterfaceTableTest, TheWaitLooksAtEveryInterfaceWithoutWaitingOnAny) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(OpenInterface(i), 1);
  fake.ports[0].incoming = {testing::avFrame(1, 60), testing::avFrame(2, 60)};
  fake.ports[2].incoming = {testing::avFrame(3, 60), testing::avFrame(9, 60)};
  ReceivePath path;
  std::vector<int> passed;
  const auto nine = [](const Frame& f) {
    return f.data[15] == 9 ? Verdict::Accept : Verdict::Pass;
  };
  const auto note = [&](const Frame& f) { passed.push_back(f.data[15] * 10 + f.arrival); };
  EXPECT_FALSE(waitFor(path, Deadline::after(5), nine, note, 0));
  EXPECT_TRUE(waitFor(path, Deadline::after(5), nine, note));
  EXPECT_FALSE(waitFor(path, Deadline::after(5), nine, note));
  EXPECT_EQ(passed, (std::vector<int>{10, 20, 32}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(fake.ports[i].waitingReceives, 0) << i;
  // A stop request made while the wait runs ends it at the next look, before the answer queued
  // behind, however far its deadline is; the answer stays for the next wait.
  std::atomic<bool> stop{false};
  fake.ports[1].incoming = {testing::avFrame(4, 60), testing::avFrame(9, 60)};
  Deadline stoppable = Deadline::after(30000);
  stoppable.cancel = &stop;
  EXPECT_FALSE(waitFor(
      path, stoppable, nine, [&](const Frame&) { stop = true; }, 1));
  stop = false;
  EXPECT_TRUE(waitFor(path, stoppable, nine, note, 1));
}

}  // namespace
}  // namespace quorrel::transport
